#include "decoder/preview/Previewer.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cstring>
#include <mutex>

#include "core/MainThread.h"
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

QImage BitmapToImage(const engine::TBitmap& bitmap, QImage reuse) {
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
    case 32: {
      // Made as 0xffRRGGBB pixels, which the screen takes without another conversion.
      QImage image = std::move(reuse);
      if (image.size() != QSize(bitmap.Width, bitmap.Height) ||
          image.format() != QImage::Format_RGB32 || !image.isDetached()) {
        image = QImage(bitmap.Width, bitmap.Height, QImage::Format_RGB32);
        if (image.isNull()) return image;
      }
      const int step = depth / 8;  // blue, green, red (, alpha)
      for (int y = 0; y < bitmap.Height; ++y) {
        const uint8_t* in = bitmap.Row(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.Width; ++x, in += step) out[x] = qRgb(in[2], in[1], in[0]);
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

QImage TPreviewWindow::SetFrame(QImage frame) {
  std::swap(frame_, frame);
  ++framesShown_;
  update();
  return frame;
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

// What the job's thread and the main thread share; kept alive by the queued drawing.
struct TPreviewer::Shared {
  std::atomic<bool> closed{false};
  std::mutex mutex;  // guards the pending frame
  QImage pending;
  int64_t pendingTime = 0;
  bool drawQueued = false;
  QImage spare;  // a picture drawn before, for the next copy
  // Main thread only.
  bool removed = false;
  std::unique_ptr<TPreviewWindow> window;
};

TPreviewer::TPreviewer() : shared_(std::make_shared<Shared>()) {}

TPreviewer::~TPreviewer() {
  if (!handedOver_) return;
  engine::RunInMainThread([shared = shared_] {
    shared->removed = true;
    shared->window.reset();
  });
}

bool TPreviewer::Closed() const { return shared_->closed; }
TPreviewWindow* TPreviewer::Window() const { return shared_->window.get(); }

bool TPreviewer::ShowFrame(const engine::TBitmap& bitmap, int frameNumber, int64_t time) {
  if (shared_->closed) return false;
  // The copy: the bitmap may change as soon as this returns. Made in the picture the
  // window has drawn before, when there is one.
  QImage spare;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    spare = std::move(shared_->spare);
    shared_->spare = QImage();
  }
  QImage frame = BitmapToImage(bitmap, std::move(spare));
  if (frame.isNull()) return true;  // nothing to show
  frameNumber_ = frameNumber;
  bool queue = false;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->pending = std::move(frame);
    shared_->pendingTime = time;
    queue = !shared_->drawQueued;
    shared_->drawQueued = true;
  }
  handedOver_ = true;
  if (queue) core::MainThread::Post([shared = shared_] { Paint(*shared); });
  return !shared_->closed;
}

void TPreviewer::Paint(Shared& shared) {
  QImage frame;
  int64_t time = 0;
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    frame = std::move(shared.pending);
    shared.pending = QImage();
    time = shared.pendingTime;
    shared.drawQueued = false;
  }
  if (shared.removed || shared.closed || frame.isNull()) return;
  if (!shared.window) {
    // The first frame fixes the size for the rest of the job.
    Shared* owner = &shared;
    shared.window =
        std::make_unique<TPreviewWindow>(frame.size(), [owner] { owner->closed = true; });
    shared.window->show();
  }
  shared.window->setWindowTitle(QString::fromStdString(engine::TimeToText(time)));
  QImage previous = shared.window->SetFrame(std::move(frame));
  std::lock_guard<std::mutex> lock(shared.mutex);
  shared.spare = std::move(previous);
}

}  // namespace preview
