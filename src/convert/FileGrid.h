#pragma once
// Step 1's grid of files: a Qt model over the task list and a view that shows each row as
// a 90-pixel slide (thumbnail at the left, the shortened name in bold, three lines of
// details). Every column of the list is model data; the slide draws the first five.

#include <QAbstractTableModel>
#include <QImage>
#include <QListView>
#include <QStyledItemDelegate>

#include "convert/TaskList.h"

namespace convert {

// Roles beyond Qt's own: the row's full path and its facts for whoever needs them.
enum TaskRole { kRoleFullPath = Qt::UserRole + 1, kRoleHasVideo, kRoleHasThumbnail };

class FileGridModel : public QAbstractTableModel, public TaskListObserver {
  Q_OBJECT
 public:
  explicit FileGridModel(TaskList& tasks, QObject* parent = nullptr);
  ~FileGridModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  // Display: the column's text. Decoration of column 0: the thumbnail (a QImage), none for
  // a file without video or whose video could not be decoded. Tool tip: the full path.
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  TaskList& Tasks() { return tasks_; }

  void RowsAboutToBeInserted(int first, int last) override;
  void RowsInserted() override;
  void RowsAboutToBeRemoved(int first, int last) override;
  void RowsRemoved() override;
  void RowAboutToBeMoved(int from, int to) override;
  void RowMoved() override;

 private:
  TaskList& tasks_;
};

// Paints one slide: grid line and selection colours, the thumbnail fitted into the
// 128 x 88 area (the audio picture for files without video), the name and three lines.
class FileGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  static constexpr int kRowHeight = 90;
  static constexpr int kTextLeft = 136;
  static constexpr int kNameWidth = 280;
  static constexpr int kLineTops[3] = {33, 49, 65};
  // The name is shortened to this width in the grid's font.
  static constexpr int kNameFitWidth = 255;
};

// The view: full-row single selection, rows dragged with the mouse to a new place, a
// double click plays the row.
class FileGrid : public QListView {
  Q_OBJECT
 public:
  // Installs the name shortener of the list (the grid's font) and the model.
  explicit FileGrid(TaskList& tasks, QWidget* parent = nullptr);

  FileGridModel* Model() const { return model_; }
  // The selected row, -1 without one.
  int SelectedRow() const;
  void SelectRow(int row);

 signals:
  void PlayRequested(int row);
  // A row was dragged to another place.
  void RowDragged(int from, int to);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  FileGridModel* model_;
  int pressedRow_ = -1;
  QPoint pressPos_;
  bool draggingRow_ = false;
  int dropRow_ = -1;
};

// The image of a thumbnail bitmap (24 or 32 bits, rows bottom-up) as Qt draws it.
QImage BitmapImage(const engine::TBitmap& bitmap);

}  // namespace convert
