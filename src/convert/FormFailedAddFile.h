#pragma once
// The dialog that lists the files an add could not take, with the decoder's reason for
// each, and a button to the edition's page of supported formats.

#include <QDialog>
#include <string>
#include <vector>

class QTreeWidget;

namespace convert {

class TFormFailedAddFile : public QDialog {
  Q_OBJECT
 public:
  TFormFailedAddFile(const std::vector<std::string>& lines, std::string moreInfoLink,
                     QWidget* parent = nullptr);

  // Centres the dialog on the owner's frame (whole pixels, rounded down).
  void CentreOn(const QWidget* owner);

  static constexpr int kWidth = 425;
  static constexpr int kHeight = 290;

 private:
  std::string moreInfoLink_;
};

}  // namespace convert
