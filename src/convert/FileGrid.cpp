#include "convert/FileGrid.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cstring>

#include "appcore/Palette.h"

namespace convert {
namespace {

QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

const QColor kGridLine(204, 218, 241);          // also the selection without focus
const QColor kSelection(10, 36, 106);

QString q(const std::string& s) { return QString::fromStdString(s); }

// Two beamed notes on a light card: the picture of a file without video.
const QImage& AudioIcon() {
  static const QImage icon = [] {
    QImage image(kThumbnailWidth, kThumbnailHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(24, 4, 80, 80);
    p.setPen(QPen(Colour(palette::kBorder), 1));
    p.setBrush(QColor(232, 239, 251));
    p.drawRoundedRect(card, 10, 10);
    const QColor ink = Colour(palette::kAccent);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QRectF(42, 54, 16, 12));
    p.drawEllipse(QRectF(70, 48, 16, 12));
    p.setPen(QPen(ink, 3.5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(56.5, 60), QPointF(56.5, 24));
    p.drawLine(QPointF(84.5, 54), QPointF(84.5, 18));
    p.setPen(QPen(ink, 7, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(56.5, 27), QPointF(84.5, 21));
    return image;
  }();
  return icon;
}

}  // namespace

QImage BitmapImage(const engine::TBitmap& bitmap) {
  if (bitmap.Empty() || (bitmap.BitsPerPixel != 24 && bitmap.BitsPerPixel != 32)) return {};
  const bool wide = bitmap.BitsPerPixel == 32;
  QImage image(bitmap.Width, bitmap.Height, wide ? QImage::Format_RGB32 : QImage::Format_BGR888);
  const int bytes = bitmap.Width * (wide ? 4 : 3);
  for (int y = 0; y < bitmap.Height; ++y) std::memcpy(image.scanLine(y), bitmap.Row(y), bytes);
  return image;
}

// ---------------------------------------------------------------------------------------
// Model

FileGridModel::FileGridModel(TaskList& tasks, QObject* parent)
    : QAbstractTableModel(parent), tasks_(tasks) {
  tasks_.SetObserver(this);
}

FileGridModel::~FileGridModel() { tasks_.SetObserver(nullptr); }

int FileGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : tasks_.Count();
}

int FileGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kTaskColumnCount;
}

QVariant FileGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= tasks_.Count()) return {};
  const TaskRow& row = tasks_.Row(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return q(row.Texts[index.column()]);
    case Qt::DecorationRole:
      if (index.column() != kColumnMainImage) return {};
      if (!row.Facts.HasVideo) return AudioIcon();
      if (row.Facts.Thumbnail.Empty()) return {};
      return BitmapImage(row.Facts.Thumbnail);
    case Qt::ToolTipRole:
      return q(row.Facts.Path);
    case kRoleFullPath:
      return q(row.Facts.Path);
    case kRoleHasVideo:
      return row.Facts.HasVideo;
    case kRoleHasThumbnail:
      return !row.Facts.Thumbnail.Empty();
    default:
      return {};
  }
}

QVariant FileGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QString(TaskColumnName(section));
  return section + 1;
}

void FileGridModel::RowsAboutToBeInserted(int first, int last) {
  beginInsertRows({}, first, last);
}
void FileGridModel::RowsInserted() { endInsertRows(); }
void FileGridModel::RowsAboutToBeRemoved(int first, int last) {
  beginRemoveRows({}, first, last);
}
void FileGridModel::RowsRemoved() { endRemoveRows(); }
void FileGridModel::RowAboutToBeMoved(int from, int to) {
  // Qt names the place before which the row goes, counted before the move.
  beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
}
void FileGridModel::RowMoved() { endMoveRows(); }

// ---------------------------------------------------------------------------------------
// Delegate

QSize FileGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width() > 0 ? option.rect.width() : kTextLeft + kNameWidth,
               kRowHeight);
}

void FileGridDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  p->save();
  const QRect r = option.rect;
  const bool selected = option.state & QStyle::State_Selected;
  const bool active = option.state & QStyle::State_Active;
  QColor background = Colour(palette::kPanel);
  QColor text = Colour(palette::kText);
  if (selected && active) {
    background = kSelection;
    text = Qt::white;
  } else if (selected) {
    background = kGridLine;
  }
  p->fillRect(r, background);
  p->setPen(kGridLine);
  p->drawLine(r.left(), r.bottom(), r.right(), r.bottom());

  // The thumbnail fitted into its area, centred.
  const QImage image = index.data(Qt::DecorationRole).value<QImage>();
  if (!image.isNull()) {
    const QRect area(r.left(), r.top() + 1, kThumbnailWidth, kThumbnailHeight);
    const QSize size = image.size().scaled(area.size(), Qt::KeepAspectRatio);
    const QRect target(area.left() + (area.width() - size.width()) / 2,
                       area.top() + (area.height() - size.height()) / 2, size.width(),
                       size.height());
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    p->drawImage(target, image);
  }

  auto cell = [&](int column) { return index.siblingAtColumn(column).data().toString(); };
  QFont bold = option.font;
  bold.setBold(true);
  p->setFont(bold);
  p->setPen(text);
  const int textWidth = r.width() - kTextLeft - 4;
  p->drawText(QRect(r.left() + kTextLeft, r.top(), kNameWidth, 18),
              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, cell(kColumnFileMinName));
  p->setFont(option.font);
  const int lines[3] = {kColumnDuration, kColumnBitrate, kColumnDimension};
  for (int i = 0; i < 3; ++i) {
    p->drawText(QRect(r.left() + kTextLeft, r.top() + kLineTops[i], textWidth, 16),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, cell(lines[i]));
  }
  p->restore();
}

// ---------------------------------------------------------------------------------------
// View

FileGrid::FileGrid(TaskList& tasks, QWidget* parent) : QListView(parent) {
  setObjectName("FileGrid");
  tasks.ShortenName = [this](const std::string& path) {
    const QFontMetrics metrics(font());
    return MinimizeName(path, FileGridDelegate::kNameFitWidth, [&](const std::string& text) {
      return metrics.horizontalAdvance(q(text));
    });
  };
  model_ = new FileGridModel(tasks, this);
  setModel(model_);
  setModelColumn(kColumnMainImage);
  setItemDelegate(new FileGridDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  setMouseTracking(false);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setStyleSheet(QString("QListView#FileGrid { background: %1; border: 1px solid %2; }")
                    .arg(Colour(palette::kPanel).name(), kGridLine.name()));
}

int FileGrid::SelectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void FileGrid::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    selectionModel()->clearSelection();
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    return;
  }
  const QModelIndex index = model_->index(row, kColumnMainImage);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

void FileGrid::mousePressEvent(QMouseEvent* e) {
  QListView::mousePressEvent(e);
  draggingRow_ = false;
  dropRow_ = -1;
  pressedRow_ = -1;
  if (e->button() == Qt::LeftButton) {
    const QModelIndex index = indexAt(e->position().toPoint());
    pressedRow_ = index.isValid() ? index.row() : -1;
    pressPos_ = e->position().toPoint();
  }
}

void FileGrid::mouseMoveEvent(QMouseEvent* e) {
  if (pressedRow_ < 0 || !(e->buttons() & Qt::LeftButton)) {
    QListView::mouseMoveEvent(e);
    return;
  }
  const QPoint pos = e->position().toPoint();
  if (!draggingRow_ &&
      (pos - pressPos_).manhattanLength() < QApplication::startDragDistance())
    return;
  draggingRow_ = true;
  const QModelIndex index = indexAt(pos);
  dropRow_ = index.isValid() ? index.row() : (pos.y() < 0 ? 0 : model_->rowCount() - 1);
  viewport()->update();
}

void FileGrid::mouseReleaseEvent(QMouseEvent* e) {
  const bool dragged = draggingRow_ && e->button() == Qt::LeftButton;
  const int from = pressedRow_, to = dropRow_;
  draggingRow_ = false;
  pressedRow_ = -1;
  dropRow_ = -1;
  if (dragged) {
    viewport()->update();
    if (from >= 0 && to >= 0 && from != to && model_->Tasks().Move(from, to)) {
      SelectRow(to);
      emit RowDragged(from, to);
    }
    return;
  }
  QListView::mouseReleaseEvent(e);
}

void FileGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  const QModelIndex index = indexAt(e->position().toPoint());
  if (e->button() == Qt::LeftButton && index.isValid()) {
    SelectRow(index.row());
    emit PlayRequested(index.row());
    return;
  }
  QListView::mouseDoubleClickEvent(e);
}

void FileGrid::paintEvent(QPaintEvent* e) {
  QListView::paintEvent(e);
  if (!draggingRow_ || dropRow_ < 0) return;
  // Where the dragged row will go.
  const QRect target = visualRect(model_->index(dropRow_, kColumnMainImage));
  QPainter p(viewport());
  p.setPen(QPen(kSelection, 2));
  const int y = dropRow_ > pressedRow_ ? target.bottom() : target.top() + 1;
  p.drawLine(target.left(), y, target.right(), y);
}

}  // namespace convert
