// The preview window fed from a job's thread, offscreen: size, place, caption, picture,
// dragging, closing and removal; and the bitmap depths of the engine's format converter.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/MainThread.h"
#include "decoder/preview/Previewer.h"
#include "enginebase/EngineText.h"
#include "enginebase/FormatConverter.h"

using namespace std::chrono_literals;
using preview::TPreviewer;

namespace {

// A bitmap made the way the engine makes its preview frames: an RGB picture through the
// format converter at the given depth. The top-left quarter is red, the top-right green,
// the bottom-left blue, the bottom-right white.
engine::TBitmap Quadrants(int width, int height, int depth = 24) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      const bool right = x >= width / 2, bottom = y >= height / 2;
      p[0] = (!bottom && !right) || (bottom && right) ? 255 : 0;
      p[1] = (!bottom && right) || (bottom && right) ? 255 : 0;
      p[2] = (bottom && !right) || (bottom && right) ? 255 : 0;
    }
  }
  engine::TFormatConverter converter;
  converter.SetBitsPixel(depth);
  const uint8_t* data[4] = {rgb.data(), nullptr, nullptr, nullptr};
  const int linesize[4] = {width * 3, 0, 0, 0};
  EXPECT_TRUE(converter.ToRGB(data, linesize, AV_PIX_FMT_RGB24, true, height, width))
      << converter.LastError();
  return converter.Bitmap();
}

// The colour of a pixel of Quadrants(width, height).
QColor QuadrantColour(int x, int y, int width, int height) {
  const bool right = x >= width / 2, bottom = y >= height / 2;
  if (bottom) return right ? Qt::white : Qt::blue;
  return right ? Qt::green : Qt::red;
}

// Runs ShowFrame on a thread of its own, as a job does, then lets this (main) thread draw.
bool ShowFromJob(TPreviewer& previewer, const engine::TBitmap& bitmap, int frame, int64_t time) {
  bool shown = false;
  std::thread job([&] { shown = previewer.ShowFrame(bitmap, frame, time); });
  job.join();  // the job does not wait for the main thread
  core::MainThread::ProcessPending();
  return shown;
}

// Destroys the previewer on a job's thread while this thread serves.
void DestroyFromJob(std::unique_ptr<TPreviewer>& previewer) {
  std::atomic<bool> done{false};
  std::thread job([&] {
    previewer.reset();
    done = true;
  });
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return done.load(); }, 10s));
  job.join();
}

QColor PixelOf(QWidget* w, QPoint at) { return w->grab().toImage().pixelColor(at); }

::testing::AssertionResult Near(const QColor& got, const QColor& want, int tolerance = 0) {
  if (std::abs(got.red() - want.red()) <= tolerance &&
      std::abs(got.green() - want.green()) <= tolerance &&
      std::abs(got.blue() - want.blue()) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "got " << got.name().toStdString() << ", want " << want.name().toStdString();
}

}  // namespace

TEST(PreviewBitmap, EveryDepthOfTheConverterKeepsItsColoursAndOrientation) {
  for (const int depth : {8, 15, 16, 24, 32}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    const QImage image = preview::BitmapToImage(Quadrants(16, 8, depth));
    ASSERT_EQ(image.size(), QSize(16, 8));
    EXPECT_TRUE(Near(image.pixelColor(1, 1), Qt::red, 8));
    EXPECT_TRUE(Near(image.pixelColor(14, 1), Qt::green, 8));
    EXPECT_TRUE(Near(image.pixelColor(1, 6), Qt::blue, 8));
    EXPECT_TRUE(Near(image.pixelColor(14, 6), Qt::white, 8));
    EXPECT_EQ(image.pixelColor(14, 6).alpha(), 255);
  }
}

TEST(PreviewBitmap, BrokenBitmapsGiveNoPicture) {
  engine::TBitmap empty;
  EXPECT_TRUE(preview::BitmapToImage(empty).isNull());
  engine::TBitmap shortPixels = Quadrants(16, 8);
  shortPixels.Pixels.resize(shortPixels.Pixels.size() - 1);
  EXPECT_TRUE(preview::BitmapToImage(shortPixels).isNull());
  engine::TBitmap oddDepth = Quadrants(16, 8);
  oddDepth.BitsPerPixel = 12;
  EXPECT_TRUE(preview::BitmapToImage(oddDepth).isNull());
  engine::TBitmap mismatch = Quadrants(16, 8, 24);
  mismatch.Depth = 15;  // 24 bits a pixel cannot hold the 15-bit layout
  EXPECT_TRUE(preview::BitmapToImage(mismatch).isNull());
}

TEST(Previewer, TheFirstFrameOpensACentredOnTopToolWindowOfItsSize) {
  TPreviewer previewer;
  EXPECT_EQ(previewer.Window(), nullptr) << "no window before the first frame";
  const engine::TBitmap first = Quadrants(64, 48);
  ASSERT_TRUE(ShowFromJob(previewer, first, 1, 3723004000));
  QWidget* w = previewer.Window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->thread(), qApp->thread()) << "the window lives on the main thread";
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->size(), QSize(64, 48));
  const Qt::WindowFlags flags = w->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(w->geometry().center(), screen.center()) << "the picture is centred";
  EXPECT_EQ(w->windowTitle().toStdString(), "01:02:03.004");
  EXPECT_EQ(previewer.FrameNumber(), 1);
  // The picture the right way up, at the origin.
  EXPECT_TRUE(Near(PixelOf(w, {0, 0}), Qt::red));
  EXPECT_TRUE(Near(PixelOf(w, {63, 47}), Qt::white));
}

TEST(Previewer, LaterFramesKeepTheSizeAndAreDrawnAtTheOriginWithTheirTime) {
  struct Case {
    int width, height;
    int64_t time;
    const char* caption;
  };
  const Case later[] = {
      {32, 24, 0, "00:00:00.000"},                        // smaller
      {100, 80, 59999999, "00:00:59.999"},                // larger: cut at the window's edge
      {64, 48, engine::kNoTimestamp, "N/A"},              // the libraries' no-value marker
      {64, 48, 100LL * 3600 * 1000000, "100:00:00.000"},  // hours do not wrap
  };
  TPreviewer previewer;
  ASSERT_TRUE(ShowFromJob(previewer, Quadrants(64, 48), 1, 0));
  QWidget* w = previewer.Window();
  const QPoint place = w->pos();
  int frame = 1;
  for (const Case& c : later) {
    SCOPED_TRACE(c.caption);
    ASSERT_TRUE(ShowFromJob(previewer, Quadrants(c.width, c.height), ++frame, c.time));
    EXPECT_EQ(previewer.Window(), w) << "one window for the whole job";
    EXPECT_EQ(w->size(), QSize(64, 48));
    EXPECT_EQ(w->pos(), place);
    EXPECT_EQ(w->windowTitle().toStdString(), c.caption);
    // The frame's own pixels from the origin on, cut at the window's edge; black beside
    // a smaller one, nothing of the frame before.
    const QImage shown = w->grab().toImage();
    for (const QPoint at :
         {QPoint(0, 0), QPoint(31, 23), QPoint(40, 5), QPoint(5, 40), QPoint(63, 47)}) {
      const QColor want = at.x() < c.width && at.y() < c.height
                              ? QuadrantColour(at.x(), at.y(), c.width, c.height)
                              : QColor(Qt::black);
      EXPECT_TRUE(Near(shown.pixelColor(at), want)) << at.x() << "," << at.y();
    }
  }
}

TEST(Previewer, EveryFrameIsDrawnWholeAlsoIntoAPictureUsedBefore) {
  TPreviewer previewer;
  engine::TBitmap grey = Quadrants(64, 48);
  std::fill(grey.Pixels.begin(), grey.Pixels.end(), 0x80);
  // Quadrants, grey, quadrants, grey: from the third frame on, the pictures drawn before
  // are written again.
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(i);
    const bool quadrants = i % 2 == 1;
    ASSERT_TRUE(ShowFromJob(previewer, quadrants ? Quadrants(64, 48) : grey, i, 0));
    const QImage shown = previewer.Window()->grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(63, 0), QPoint(0, 47), QPoint(63, 47)}) {
      EXPECT_TRUE(Near(shown.pixelColor(at), quadrants ? QuadrantColour(at.x(), at.y(), 64, 48)
                                                       : QColor(0x80, 0x80, 0x80)));
    }
  }
}

TEST(Previewer, AMainThreadThatIsLateDrawsTheLatestFrameOnly) {
  TPreviewer previewer;
  ASSERT_TRUE(ShowFromJob(previewer, Quadrants(64, 48), 1, 0));
  preview::TPreviewWindow* w = previewer.Window();
  // Three frames while the main thread is busy; the bitmap is reused, as the job's
  // converter does, so each is copied when handed over.
  engine::TBitmap reused = Quadrants(64, 48);
  std::thread job([&] {
    for (int i = 2; i <= 4; ++i) {
      EXPECT_TRUE(previewer.ShowFrame(reused, i, i * 40000));
      reused = Quadrants(64 - i * 8, 48);
    }
  });
  job.join();
  EXPECT_EQ(w->FramesShown(), 1) << "nothing drawn before the main thread comes";
  EXPECT_EQ(core::MainThread::ProcessPending(), 1) << "one drawing queued, not three";
  EXPECT_EQ(w->FramesShown(), 2);
  EXPECT_EQ(w->windowTitle().toStdString(), "00:00:00.160");
  EXPECT_EQ(previewer.FrameNumber(), 4);
  // The fourth frame was handed over as 40 pixels wide (64 - 3 * 8).
  EXPECT_EQ(w->Frame().size(), QSize(40, 48));
}

TEST(Previewer, DraggingAnywhereMovesTheWindow) {
  TPreviewer previewer;
  ASSERT_TRUE(ShowFromJob(previewer, Quadrants(64, 48), 1, 0));
  QWidget* w = previewer.Window();
  for (const QPoint grip : {QPoint(5, 5), QPoint(50, 40)}) {
    const QPoint start = w->pos();
    QTest::mousePress(w, Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(30, 20)),
                     w->mapToGlobal(QPointF(grip + QPoint(30, 20))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, {}, grip + QPoint(30, 20));
    EXPECT_EQ(w->pos(), start + QPoint(30, 20));
  }
  // Without the button held the window stays.
  const QPoint start = w->pos();
  QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), w->mapToGlobal(QPointF(40, 40)),
                    Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &hover);
  EXPECT_EQ(w->pos(), start);
}

TEST(Previewer, ClosingEndsThePreviewsAndTheJobRemovesTheWindow) {
  auto previewer = std::make_unique<TPreviewer>();
  const engine::TBitmap frame = Quadrants(64, 48);
  ASSERT_TRUE(ShowFromJob(*previewer, frame, 1, 40000));
  QPointer<preview::TPreviewWindow> w = previewer->Window();
  EXPECT_EQ(w->FramesShown(), 1);
  w->close();
  EXPECT_TRUE(previewer->Closed());
  EXPECT_FALSE(w->isVisible());
  // The job is told at its next frame, which is not shown.
  EXPECT_FALSE(ShowFromJob(*previewer, frame, 2, 80000));
  EXPECT_EQ(w->FramesShown(), 1);
  EXPECT_EQ(w->windowTitle().toStdString(), "00:00:00.040");
  // The job then destroys the previewer on its thread: the window goes on this one.
  DestroyFromJob(previewer);
  EXPECT_TRUE(w.isNull());
}

TEST(Previewer, SeveralJobsHaveAWindowEach) {
  auto a = std::make_unique<TPreviewer>();
  auto b = std::make_unique<TPreviewer>();
  ASSERT_TRUE(ShowFromJob(*a, Quadrants(64, 48), 1, 0));
  ASSERT_TRUE(ShowFromJob(*b, Quadrants(32, 24), 1, 0));
  ASSERT_NE(a->Window(), b->Window());
  EXPECT_EQ(b->Window()->size(), QSize(32, 24));
  b->Window()->close();
  EXPECT_FALSE(ShowFromJob(*b, Quadrants(32, 24), 2, 40000));
  EXPECT_TRUE(ShowFromJob(*a, Quadrants(64, 48), 2, 40000)) << "the other job goes on showing";
  EXPECT_EQ(a->Window()->windowTitle().toStdString(), "00:00:00.040");
  QPointer<QWidget> wa = a->Window();
  DestroyFromJob(a);
  EXPECT_TRUE(wa.isNull());
  // A previewer that never showed a frame needs no main thread to go.
  TPreviewer unused;
}
