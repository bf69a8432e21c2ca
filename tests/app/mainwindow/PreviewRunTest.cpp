// The preview windows the windowed program installs, over real engine jobs on real media
// (offscreen): one window per running job, closing one keeps the conversions going, the
// switch takes the windows away and brings them back, and a job's end removes its window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "EditionFixture.h"
#include "StepOneSupport.h"
#include "TestSupport.h"
#include "app/mainwindow/PreviewWindows.h"
#include "convert/ConversionPages.h"
#include "core/MainThread.h"
#include "decoder/preview/Previewer.h"
#include "engine/FFEncoder.h"
#include "enginebase/LibraryBinding.h"

using namespace std::chrono_literals;
using preview::TPreviewWindow;

namespace {

// The preview windows open now.
std::vector<TPreviewWindow*> PreviewWindows() {
  std::vector<TPreviewWindow*> windows;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* p = qobject_cast<TPreviewWindow*>(w)) windows.push_back(p);
  }
  return windows;
}

int VideoFrames(const std::string& file) {
  const auto probe = testsupport::RunProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames",
                                              "-select_streams", "v:0", "-show_entries",
                                              "stream=nb_read_frames", "-of", "csv=p=0", file});
  return probe.exitCode == 0 ? std::atoi(probe.out.c_str()) : -1;
}

class PreviewRun : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    ASSERT_TRUE(encoder.LoadEngineLibraries("lib")) << encoder.LastErrorMessage();
    // Two seconds of 25 frames a second, played at their own pace (rate emulation).
    clip = dir.str() + "/clip.mp4";
    ASSERT_EQ(
        testsupport::RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                 "testsrc=size=160x120:rate=25:duration=2", "-c:v", "mpeg4", clip})
            .exitCode,
        0);
    app::InstallPreviewWindows();
    encoder.OnTerminate = [this](engine::TCustomEncoder&, const engine::TTerminateInfo& info) {
      std::lock_guard<std::mutex> lock(mutex);
      notices.push_back(info);
    };
  }
  void TearDown() override {
    encoder.WaitForNotifiers();
    app::RemovePreviewWindows();
  }

  int AddJob(const std::string& output) {
    const int index = encoder.AddTask(clip);
    EXPECT_GE(index, 0) << encoder.LastErrorMessage();
    EXPECT_TRUE(encoder.SetOutputFile(index, output)) << encoder.LastErrorMessage();
    encoder.Task(index)->RateEmulation = true;
    return index;
  }
  bool FinalSeen() {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& n : notices)
      if (n.TaskIndex == -1) return true;
    return false;
  }
  engine::TTerminateInfo NoticeOf(int task) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& n : notices)
      if (n.TaskIndex == task) return n;
    ADD_FAILURE() << "no notice for task " << task;
    return {};
  }
  // Serves the main thread (the jobs' frames are drawn there) while waiting.
  bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    return core::MainThread::WaitWhileServing(done, limit);
  }

  testsupport::TempDir dir;
  std::string clip;
  engine::TFFEncoder encoder;
  std::mutex mutex;
  std::vector<engine::TTerminateInfo> notices;
};

TEST_F(PreviewRun, EachJobHasItsWindowAndClosingOneKeepsEveryConversionGoing) {
  encoder.SetPreview(true);
  AddJob(dir.str() + "/a.avi");
  AddJob(dir.str() + "/b.avi");
  const auto start = std::chrono::steady_clock::now();
  encoder.StartTask(2);  // both at once
  ASSERT_TRUE(ServeUntil([] { return PreviewWindows().size() == 2; }, 10s))
      << "a window for each running job";
  const auto windows = PreviewWindows();
  for (TPreviewWindow* w : windows) {
    EXPECT_EQ(w->size(), QSize(160, 120)) << "the size of the frames";
    EXPECT_TRUE(w->isVisible());
  }
  QPointer<TPreviewWindow> closed = windows[0], open = windows[1];

  // The user closes one: its job goes on, the other window goes on showing frames.
  closed->close();
  const int closedFrames = closed->FramesShown();
  const int openFrames = open->FramesShown();
  ASSERT_TRUE(ServeUntil([&] { return open && open->FramesShown() >= openFrames + 3; }));
  EXPECT_EQ(closed ? closed->FramesShown() : closedFrames, closedFrames);
  // Frames are converted and shown at most once per preview interval (100 ms).
  int lastCount = 0;
  QString lastCaption;
  ASSERT_TRUE(ServeUntil([&] {
    if (open) {
      lastCount = open->FramesShown();
      lastCaption = open->windowTitle();
    }
    return FinalSeen();
  }));
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  EXPECT_LE(lastCount, elapsed.count() / 100 + 1) << "in " << elapsed.count() << " ms";
  EXPECT_GE(lastCount, 8);
  EXPECT_TRUE(lastCaption.startsWith("00:00:01.")) << lastCaption.toStdString();

  for (int task : {0, 1}) {
    EXPECT_TRUE(NoticeOf(task).Finished) << task;
    EXPECT_FALSE(NoticeOf(task).Failed) << NoticeOf(task).ErrorMessage;
  }
  EXPECT_EQ(VideoFrames(dir.str() + "/a.avi"), 50);
  EXPECT_EQ(VideoFrames(dir.str() + "/b.avi"), 50);
  // A job that has ended takes its window away.
  EXPECT_TRUE(PreviewWindows().empty());
  EXPECT_TRUE(closed.isNull() && open.isNull());
}

TEST_F(PreviewRun, TheSwitchTakesTheWindowAwayAndBringsANewOne) {
  encoder.SetPreview(true);
  AddJob(dir.str() + "/out.avi");
  encoder.StartTask(1);
  ASSERT_TRUE(ServeUntil([] { return PreviewWindows().size() == 1; }, 10s));
  QPointer<TPreviewWindow> first = PreviewWindows()[0];
  encoder.SetPreview(false);
  EXPECT_TRUE(first.isNull()) << "switched off: the window goes at once";
  EXPECT_TRUE(PreviewWindows().empty());
  ServeUntil([] { return false; }, 300ms);
  EXPECT_TRUE(PreviewWindows().empty()) << "no frames while the switch is off";

  // After the user closed a window, switching on again shows the frames again.
  encoder.SetPreview(true);
  ASSERT_TRUE(ServeUntil([] { return PreviewWindows().size() == 1; }, 10s));
  PreviewWindows()[0]->close();
  ServeUntil([] { return PreviewWindows().empty(); }, 1s);
  EXPECT_TRUE(PreviewWindows().empty()) << "closed: the job drops its window";
  encoder.SetPreview(false);
  encoder.SetPreview(true);
  ASSERT_TRUE(ServeUntil([] { return PreviewWindows().size() == 1; }, 10s));

  ASSERT_TRUE(ServeUntil([&] { return FinalSeen(); }));
  EXPECT_TRUE(NoticeOf(0).Finished);
  EXPECT_FALSE(NoticeOf(0).Failed);
  EXPECT_EQ(VideoFrames(dir.str() + "/out.avi"), 50);
  EXPECT_TRUE(PreviewWindows().empty());
}

// Step 3 of the main window: its preview box switches the windows at once while the run
// goes on, and the run ends as it would without them.
TEST(PreviewOverStepThree, ThePreviewBoxShowsAndTakesAwayTheWindowDuringTheRun) {
  testsupport::ScriptedMessages messages;
  // Calls handed to the main thread are served by the event loop, as in the program.
  core::MainThread::SetCurrentAsMain();
  core::MainThread::SetWaker([] {
    QMetaObject::invokeMethod(
        qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
  });
  ASSERT_TRUE(engine::LoadEngineLibraries("lib")) << engine::LastLoadError();
  app::InstallPreviewWindows();
  struct Restore {
    ~Restore() {
      app::RemovePreviewWindows();
      core::MainThread::SetWaker(nullptr);
    }
  } restore;

  mwtest::Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  const std::string clip = (edition.root() / "clip.mkv").string();
  ASSERT_EQ(testsupport::RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                     "testsrc=size=640x480:rate=25:duration=12", "-c:v", "libx264",
                                     "-preset", "ultrafast", clip})
                .exitCode,
            0);
  auto w = edition.Open();
  w->show();
  mwtest::AddAndWait(*w, {clip});
  ASSERT_EQ(w->TaskCount(), 1);
  QTest::mouseClick(w->findChild<QWidget*>("ButtonNext"), Qt::LeftButton);
  ASSERT_EQ(w->CurrentPage(), app::WizardPage::Step2);
  w->findChild<QLineEdit*>("EditOutputDir")
      ->setText(QString::fromStdString((edition.root() / "out").string()));
  QTest::mouseClick(w->findChild<QWidget*>("ButtonNext"), Qt::LeftButton);
  ASSERT_EQ(w->CurrentPage(), app::WizardPage::Step3);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->ConversionPages()->IsRunning(); }, 20000));

  auto* box = w->findChild<QCheckBox*>("CheckBoxPreview");
  ASSERT_FALSE(box->isChecked());
  EXPECT_TRUE(PreviewWindows().empty());
  const auto click = [box] { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, 10)); };
  click();
  ASSERT_TRUE(QTest::qWaitFor([] { return PreviewWindows().size() == 1; }, 10000))
      << "no window while the run went on";
  TPreviewWindow* shown = PreviewWindows()[0];
  EXPECT_TRUE(shown->isVisible());
  // The size of the encoded frames (the preset's, after scaling).
  EXPECT_EQ(shown->size(), shown->Frame().size());
  EXPECT_EQ(shown->width(), 640);
  click();
  EXPECT_FALSE(w->Encoder().Preview());
  EXPECT_TRUE(PreviewWindows().empty()) << "unticked: the window goes at once";
  EXPECT_TRUE(w->ConversionPages()->IsRunning()) << "the run goes on";
  click();
  ASSERT_TRUE(QTest::qWaitFor([] { return PreviewWindows().size() == 1; }, 10000));

  ASSERT_TRUE(QTest::qWaitFor([&] { return w->CurrentPage() == app::WizardPage::Step4; }, 120000));
  EXPECT_TRUE(PreviewWindows().empty()) << "the job's end takes its window away";
  EXPECT_EQ(w->findChild<QLabel*>("LabelFinishSuccessed")->text().toStdString(), "1");
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
