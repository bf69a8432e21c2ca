#pragma once
// TFormYouTubeHQ: the dialog in which the order of the eight higher qualities is edited.
// Default and Best available write their preset into the stored preference at once;
// OK stores the list's order; Cancel undoes neither.

#include <QDialog>

#include "download/QualityPreference.h"

class QTreeWidget;

namespace download {

class TFormYouTubeHQ : public QDialog {
  Q_OBJECT
 public:
  // `stored` is the process-wide preference; it must outlive the dialog.
  explicit TFormYouTubeHQ(QualityPreference& stored, QWidget* parent = nullptr);

  // One row per slot holding a number of the table, in slot order.
  void Fill();
  void MoveUp();
  void MoveDown();
  void UseDefault();
  void UseBestAvailable();
  // The stored order takes the rows' qualities (a missing row or unknown name: 0).
  void StoreOrder();

  QTreeWidget* List() const { return list_; }

 private:
  void Move(int delta);
  QualityPreference& stored_;
  QTreeWidget* list_ = nullptr;
};

}  // namespace download
