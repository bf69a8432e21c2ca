#include "decoder/preview/Previewer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cstring>

#include "enginebase/EngineText.h"
#include "enginebase/RunInMainThread.h"

namespace preview {

namespace {

// Copies the bitmap's rows (stored bottom-up) top-down into a picture of that format.
QImage CopyRows(const engine::TBitmap& bitmap, QImage::Format format, int bytesPerPixel) {
  QImage image(bitmap.Width, bitmap.Height, format);
  if (image.isNull()) return image;
  const size_t rowBytes = static_cast<size_t>(bitmap.Width) * bytesPerPixel;
  for (int y = 0; y < bitmap.Height; ++y) std::memcpy(image.scanLine(y), bitmap.Row(y), rowBytes);
  return image;
}

// The palette of the 8-bit depth: (most significant first) 2 bits blue, 3 green, 3 red.
QList<QRgb> Palette332() {
  QList<QRgb> colours(256);
  for (int i = 0; i < 256; ++i) {
    colours[i] = qRgb((i & 7) * 255 / 7, ((i >> 3) & 7) * 255 / 7, ((i >> 6) & 3) * 255 / 3);
  }
  return colours;
}

}  // namespace

QImage BitmapToImage(const engine::TBitmap& bitmap) {
  if (bitmap.Empty() ||
      bitmap.Pixels.size() < static_cast<size_t>(bitmap.RowBytes()) * bitmap.Height) {
    return {};
  }
  const int depth = bitmap.Depth ? bitmap.Depth : bitmap.BitsPerPixel;
  if ((depth == 15 ? 16 : depth) != bitmap.BitsPerPixel) return {};
  switch (depth) {
    case 8: {
      QImage image = CopyRows(bitmap, QImage::Format_Indexed8, 1);
      static const QList<QRgb> palette = Palette332();
      image.setColorTable(palette);
      return image;
    }
    // The 15- and 16-bit depths keep blue in the high bits, Qt's red: swap them.
    case 15:
      return CopyRows(bitmap, QImage::Format_RGB555, 2).rgbSwapped();
    case 16:
      return CopyRows(bitmap, QImage::Format_RGB16, 2).rgbSwapped();
    case 24:
      return CopyRows(bitmap, QImage::Format_BGR888, 3);
    case 32: {
      // Blue, green, red, alpha: Qt's 0xAARRGGBB in memory order; shown opaque.
      QImage image = CopyRows(bitmap, QImage::Format_RGB32, 4);
      for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) row[x] |= 0xff000000u;
      }
      return image;
    }
    default:
      return {};
  }
}

// ---------------------------------------------------------------------------------------

TPreviewWindow::TPreviewWindow(QSize clientSize, std::function<void()> onClose)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      onClose_(std::move(onClose)) {
  setObjectName(QStringLiteral("PreviewWindow"));
  setAttribute(Qt::WA_ShowWithoutActivating);  // the main window keeps the keyboard
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(clientSize);
  // The picture centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    setGeometry(QRect(QPoint(area.x() + (area.width() - clientSize.width()) / 2,
                             area.y() + (area.height() - clientSize.height()) / 2),
                      clientSize));
  }
}

TPreviewWindow::~TPreviewWindow() = default;

void TPreviewWindow::SetFrame(QImage frame) {
  frame_ = std::move(frame);
  ++framesShown_;
  update();
}

void TPreviewWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // A later frame of another size is drawn at the origin; what it leaves uncovered is black.
  p.drawImage(0, 0, frame_);
  const QRect covered(QPoint(0, 0), frame_.size());
  const QRegion rest = QRegion(rect()).subtracted(covered);
  for (const QRect& r : rest) p.fillRect(r, Qt::black);
}

void TPreviewWindow::closeEvent(QCloseEvent* event) {
  if (onClose_) onClose_();
  event->accept();
}

// A press of the left button anywhere moves the window, as a drag of its caption would.
void TPreviewWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  event->accept();
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  // The platform cannot move it for us: follow the mouse.
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - pos();
}

void TPreviewWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
  move(event->globalPosition().toPoint() - dragOffset_);
  event->accept();
}

void TPreviewWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

// ---------------------------------------------------------------------------------------

TPreviewer::TPreviewer() = default;

TPreviewer::~TPreviewer() {
  if (hasWindow_) engine::RunInMainThread([this] { window_.reset(); });
}

bool TPreviewer::ShowFrame(const engine::TBitmap& bitmap, int frameNumber, int64_t time) {
  if (closed_) return false;
  // The bitmap stays as it is while the main thread draws it: this thread waits.
  bitmap_ = &bitmap;
  frameNumber_ = frameNumber;
  time_ = time;
  engine::RunInMainThread([this] { Paint(); });
  bitmap_ = nullptr;
  return !closed_;
}

void TPreviewer::Paint() {
  if (closed_) return;
  QImage frame = BitmapToImage(*bitmap_);
  if (!window_) {
    if (frame.isNull()) return;  // nothing to size the window by
    // The first frame fixes the size for the rest of the job.
    window_ = std::make_unique<TPreviewWindow>(frame.size(), [this] { closed_ = true; });
    hasWindow_ = true;
    window_->show();
  }
  window_->setWindowTitle(QString::fromStdString(engine::TimeToText(time_)));
  window_->SetFrame(std::move(frame));
}

}  // namespace preview
