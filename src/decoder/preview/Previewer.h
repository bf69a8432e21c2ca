#pragma once
// The window that shows the frames a job encodes: one TPreviewer per job, fed from the
// job's thread, its window living on the main thread. A small always-on-top tool window
// with only a close button, sized by the first frame and centred on the screen, the
// frame's time as its caption; dragging anywhere in it moves it. Closing it ends the
// previews of that job only.

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "enginebase/Bitmap.h"

namespace preview {

// A bitmap of depth 8, 15, 16, 24 or 32 (rows bottom-up, blue first, as the engine's
// format converter makes them) as a picture; a null picture for another depth or a bitmap
// whose pixels do not fill its size.
QImage BitmapToImage(const engine::TBitmap& bitmap);

class TPreviewWindow : public QWidget {
  Q_OBJECT
 public:
  // `onClose` runs when the user closes the window.
  TPreviewWindow(QSize clientSize, std::function<void()> onClose);
  ~TPreviewWindow() override;

  // Draws the picture at the origin from now on; the window keeps its size.
  void SetFrame(QImage frame);
  const QImage& Frame() const { return frame_; }
  // How many frames were handed to the window.
  int FramesShown() const { return framesShown_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::function<void()> onClose_;
  QImage frame_;
  int framesShown_ = 0;
  bool dragging_ = false;
  QPoint dragOffset_;
};

class TPreviewer {
 public:
  TPreviewer();
  // Any thread: the window is removed on the main thread.
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // The job's thread: shows the frame on the main thread and waits until it is drawn.
  // `time` in microseconds, the libraries' no-value marker shown as "N/A". False once the
  // user has closed the window (the frame is not shown then).
  bool ShowFrame(const engine::TBitmap& bitmap, int frameNumber, int64_t time);

  bool Closed() const { return closed_; }
  int FrameNumber() const { return frameNumber_; }
  // Main thread: the window, null until the first frame.
  TPreviewWindow* Window() const { return window_.get(); }

 private:
  void Paint();  // main thread

  std::atomic<bool> closed_{false};
  std::atomic<bool> hasWindow_{false};
  const engine::TBitmap* bitmap_ = nullptr;
  std::atomic<int> frameNumber_{0};
  int64_t time_ = 0;
  std::unique_ptr<TPreviewWindow> window_;
};

}  // namespace preview
