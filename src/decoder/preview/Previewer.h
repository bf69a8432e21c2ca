#pragma once
// The window that shows the frames a job encodes: one TPreviewer per job, fed from the
// job's thread, its window living on the main thread. A small always-on-top tool window
// with only a close button, sized by the first frame and centred on the screen, the
// frame's time as its caption; dragging anywhere in it moves it. Closing it ends the
// previews of that job only.
//
// The job's thread hands a copy of each frame over without waiting for the main thread,
// so that a busy main thread or machine does not hold the conversion up.

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
// whose pixels do not fill its size. The 24- and 32-bit depths are written into `reuse`
// when it has the size and format and is not shared.
QImage BitmapToImage(const engine::TBitmap& bitmap, QImage reuse = {});

class TPreviewWindow : public QWidget {
  Q_OBJECT
 public:
  // `onClose` runs when the user closes the window.
  TPreviewWindow(QSize clientSize, std::function<void()> onClose);
  ~TPreviewWindow() override;

  // Draws the picture at the origin from now on; the window keeps its size. Returns the
  // picture drawn before.
  QImage SetFrame(QImage frame);
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
  // Any thread: once a frame was handed over, the window is removed on the main thread
  // (this waits for it).
  ~TPreviewer();
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // The job's thread: copies the frame and has the main thread show it. `time` in
  // microseconds, the libraries' no-value marker shown as "N/A". The job does not wait
  // for the drawing: when the main thread is late, it shows the latest frame only. False
  // once the user has closed the window (the frame is not shown then).
  bool ShowFrame(const engine::TBitmap& bitmap, int frameNumber, int64_t time);

  bool Closed() const;
  int FrameNumber() const { return frameNumber_; }
  // Main thread: the window, null until the first frame was drawn.
  TPreviewWindow* Window() const;

 private:
  struct Shared;
  static void Paint(Shared& shared);  // main thread

  std::shared_ptr<Shared> shared_;
  std::atomic<int> frameNumber_{0};
  bool handedOver_ = false;  // the job's thread (and then the destructor) only
};

}  // namespace preview
