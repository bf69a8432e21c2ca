// Converting files through the window as a person does: files added to step 1, a format
// clicked on step 2, the run on step 3 and its summary on step 4, with real media made by
// ffmpeg and the real encoder. Offscreen, every step clicked.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "EditionFixture.h"
#include "MediaFiles.h"
#include "appcore/IniFile.h"
#include "convert/ConversionPages.h"
#include "WidgetLookup.h"
#include "core/MainThread.h"
#include "enginebase/LibraryBinding.h"

namespace fs = std::filesystem;
using app::TFormMain;
using app::WizardPage;
using core::MessageAnswer;
using mwtest::Edition;
using mwtest::child;
using mwtest::click;
using mwtest::text;

namespace {

// Waits, serving the event loop, until `done` holds or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(10);
  }
  return true;
}

// A copy of a made media file under another name (names a person might give).
std::string Named(const testsupport::TempDir& dir, const std::string& made,
                  const std::string& name) {
  const fs::path path = dir.path() / "in" / name;
  fs::create_directories(path.parent_path());
  fs::copy_file(made, path, fs::copy_options::overwrite_existing);
  return path.string();
}

// Half a minute of picture and sound: converting it to a video format takes a while.
std::string LongClip() {
  return testsupport::MediaFile(
      "long-30s.avi", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=30", "-f",
                       "lavfi", "-i", "sine=frequency=500:duration=30", "-c:v", "mpeg4", "-q:v",
                       "5", "-c:a", "mp2", "-shortest"});
}

std::vector<std::string> Statuses(TFormMain* w) {
  QAbstractItemModel* model = child<QTreeView>(w, "ListViewConverting")->model();
  std::vector<std::string> out;
  for (int r = 0; r < model->rowCount(); ++r) {
    out.push_back(model->data(model->index(r, 2)).toString().toStdString());
  }
  return out;
}

std::vector<std::string> ErrorLines(TFormMain* w) {
  auto* memo = child<QPlainTextEdit>(w, "MemoErrorLog");
  std::vector<std::string> lines;
  for (const QString& l : memo->toPlainText().split('\n', Qt::SkipEmptyParts)) {
    lines.push_back(l.toStdString());
  }
  return lines;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What ffprobe says of a file: "codec_name,duration" of its first stream.
std::string Probe(const fs::path& file) {
  const auto r = testsupport::RunProcess({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                                          "stream=codec_type,codec_name", "-of", "csv=p=0",
                                          file.string()});
  return r.out;
}

double Duration(const fs::path& file) {
  const auto r = testsupport::RunProcess({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                                          "format=duration", "-of", "csv=p=0", file.string()});
  return r.exitCode == 0 ? std::atof(r.out.c_str()) : -1;
}

// Step 1 with the files added (probed in the background) and Next clicked.
void AddFilesAndGoOn(TFormMain* w, const std::vector<std::string>& files) {
  ASSERT_EQ(w->CurrentPage(), WizardPage::Step1);
  w->AddFiles(files);
  ASSERT_TRUE(WaitFor([&] { return !w->AddingFiles(); }, 30000));
  for (const auto& f : w->Tasks().FailedFiles()) ADD_FAILURE() << "not added: " << f;
  ASSERT_EQ(w->TaskCount(), static_cast<int>(files.size()));
  click(w, "ButtonNext");
  ASSERT_EQ(w->CurrentPage(), WizardPage::Step2);
}

// Step 2: the output folder typed, a class and a format clicked, Next.
void ChooseAndConvert(TFormMain* w, const fs::path& out, const char* classButton,
                      const char* formatButton) {
  child<QLineEdit>(w, "EditOutputDir")->setText(QString::fromStdString(out.string()));
  if (classButton) click(w, classButton);
  if (formatButton) click(w, formatButton);
  click(w, "ButtonNext");
  ASSERT_EQ(w->CurrentPage(), WizardPage::Step3);
}

// Calls handed to the main thread run from the event loop, as in the program.
struct EventLoopWaker {
  EventLoopWaker() {
    core::MainThread::SetWaker([] {
      QMetaObject::invokeMethod(
          qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
    });
  }
  ~EventLoopWaker() { core::MainThread::SetWaker(nullptr); }
};

// A window over the edition with the codec libraries loaded, as the program opens it.
std::unique_ptr<TFormMain> OpenWindow(
    const Edition& edition, std::function<void(const std::string&)> appendLog = nullptr) {
  app::MainWindowEnvironment env;
  env.appendLog = std::move(appendLog);
  env.engineLibrariesLoaded = [] { return engine::EngineLibrariesLoaded(); };
  env.loadEngineLibraries = [](const std::string& folder, std::string& error) {
    if (engine::LoadEngineLibraries(folder)) return true;
    error = engine::LastLoadError();
    return false;
  };
  return edition.Open(env);
}

void Activate(QWidget* w) {
  w->show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

}  // namespace

TEST(MainWindowConversion, ThreeFilesToMp3WithTheSecondVideoOnly) {
  EventLoopWaker waker;
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  auto w = OpenWindow(edition);
  Activate(w.get());
  // Names with Chinese, spaces and both kinds of quotes, in and out.
  const std::vector<std::string> files = {
      Named(dir, testsupport::Media("av.mp4"), "一 'first' 文件.mp4"),
      Named(dir, testsupport::Media("video.mkv"), "视频 \"only\".mkv"),
      Named(dir, testsupport::Media("audio.mp3"), "three  spaces.mp3")};
  const fs::path out = dir.path() / "输出 'out' \"q\"" / "mp3";
  AddFilesAndGoOn(w.get(), files);
  ChooseAndConvert(w.get(), out, "ButtonToFormatAudio", "ButtonFormatMP3");
  EXPECT_FALSE(child(w.get(), "ButtonNext")->isEnabled());
  EXPECT_FALSE(child(w.get(), "ButtonBack")->isEnabled());

  const bool ended = WaitFor([&] { return w->CurrentPage() == WizardPage::Step4; }, 60000);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Statuses(w.get()), (std::vector<std::string>{"完成。", "失败。", "完成。"}));
  EXPECT_EQ(text(w.get(), "LabelFinishTotalFiles"), "3");
  EXPECT_EQ(text(w.get(), "LabelFinishSuccessed"), "2");
  EXPECT_EQ(text(w.get(), "LabelFinishFailed"), "1");
  EXPECT_TRUE(child(w.get(), "MemoErrorLog")->isVisible());
  // The engine's own text: a picture-only file gives an audio output nothing to carry.
  EXPECT_EQ(ErrorLines(w.get()), std::vector<std::string>{"文件 (1): 输出文件#0不包含任何流"});
  EXPECT_EQ(child<QAbstractButton>(w.get(), "ButtonNext")->text().toStdString(), "完成");

  // Two MP3 files, under the inputs' names, and nothing else (no half-written file).
  EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"three  spaces.mp3", "一 'first' 文件.mp3"}));
  for (const char* name : {"一 'first' 文件.mp3", "three  spaces.mp3"}) {
    EXPECT_EQ(Probe(out / name), "mp3,audio\n") << name;
  }
  // The inputs are untouched.
  for (const auto& f : files) EXPECT_TRUE(fs::exists(f)) << f;

  // Alt+F4 on the summary runs its Exit: asks, and closes on Yes with the choice saved.
  messages.answer(MessageAnswer::Yes);
  QTest::keyClick(w.get(), Qt::Key_F4, Qt::AltModifier);
  ASSERT_FALSE(messages.shown.empty());
  EXPECT_EQ(messages.shown.back().text, "你确定要退出？");
  EXPECT_FALSE(w->isVisible());
  const app::IniFile saved = app::IniFile::Load(w->SettingsFilePath());
  EXPECT_EQ(saved.ReadString("System", "OutputFormatClass", ""), "2");
  EXPECT_EQ(saved.ReadString("System", "OutputFileDir", ""), out.string() + "/");
  EXPECT_FALSE(saved.Keys("Form").empty());
}

// Waits until the first row is being converted.
bool FirstRowConverting(TFormMain* w) {
  return WaitFor(
      [&] {
        const auto s = Statuses(w);
        return !s.empty() && s[0] == "正在转换...";
      },
      30000);
}

TEST(MainWindowConversion, AltF4DuringTheFirstOfThreeCancelsTheRun) {
  EventLoopWaker waker;
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  auto w = OpenWindow(edition);
  Activate(w.get());
  const fs::path out = dir.path() / "out";
  AddFilesAndGoOn(w.get(), {LongClip(), testsupport::Media("av.mp4"), testsupport::Media("wide.mp4")});
  // The video class's default format: MP4 in H.264, slow enough to be caught at work.
  ChooseAndConvert(w.get(), out, "ButtonToFormatVideo", "ButtonFormatMP4");
  ASSERT_TRUE(FirstRowConverting(w.get()));

  // No first: the run goes on.
  messages.answer(MessageAnswer::No);
  QTest::keyClick(w.get(), Qt::Key_F4, Qt::AltModifier);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "你真的要取消转换？");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step3);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(Statuses(w.get())[0], "正在转换...");

  // Yes: the running job stops, the waiting ones never run, and the summary follows.
  messages.answer(MessageAnswer::Yes);
  const auto asked = std::chrono::steady_clock::now();
  QTest::keyClick(w.get(), Qt::Key_F4, Qt::AltModifier);
  ASSERT_TRUE(WaitFor([&] { return w->CurrentPage() == WizardPage::Step4; }, 20000));
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(Statuses(w.get()), (std::vector<std::string>{"失败。", "失败。", "失败。"}));
  EXPECT_EQ(text(w.get(), "LabelFinishTotalFiles"), "3");
  EXPECT_EQ(text(w.get(), "LabelFinishSuccessed"), "0");
  EXPECT_EQ(text(w.get(), "LabelFinishFailed"), "3");
  for (const std::string& line : ErrorLines(w.get())) {
    EXPECT_EQ(line.rfind("文件 (0): ", 0), 0u) << "only the job that ran may tell why: " << line;
  }
  // The jobs that never ran leave no output behind.
  for (const std::string& f : FilesIn(out)) {
    EXPECT_TRUE(f != "av.mp4" && f != "wide.mp4") << f;
  }
}

TEST(MainWindowConversion, AJoiningEditionJoinsTheFilesIntoOne) {
  EventLoopWaker waker;
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  Edition edition;
  edition.Set("Merge", "True");
  edition.WriteBranding();
  auto w = OpenWindow(edition);
  Activate(w.get());
  ASSERT_EQ(w->CurrentPage(), WizardPage::Mode);
  QTest::mouseClick(child(w.get(), "ImageConvertVideo"), Qt::LeftButton);
  click(w.get(), "ButtonNext");
  const std::string first = testsupport::Media("av.mp4");
  AddFilesAndGoOn(w.get(), {first, Named(dir, first, "第二 段.mp4")});
  EXPECT_EQ(child<QAbstractButton>(w.get(), "ButtonNext")->text().toStdString(), "现在加入");
  const fs::path out = dir.path() / "joined";
  ChooseAndConvert(w.get(), out, "ButtonToFormatVideo", "ButtonFormatMP4");
  ASSERT_TRUE(WaitFor([&] { return w->CurrentPage() == WizardPage::Step4; }, 60000));
  EXPECT_EQ(Statuses(w.get()).size(), 2u) << "one row per joined file";
  EXPECT_EQ(text(w.get(), "LabelFinishTotalFiles"), "1");
  EXPECT_EQ(text(w.get(), "LabelFinishSuccessed"), "1");
  EXPECT_EQ(text(w.get(), "LabelFinishFailed"), "0");
  EXPECT_FALSE(child(w.get(), "MemoErrorLog")->isVisible());
  ASSERT_EQ(FilesIn(out), std::vector<std::string>{"Output_Merge.mp4"});
  // Two clips of 2 s each, one after the other.
  EXPECT_NEAR(Duration(out / "Output_Merge.mp4"), 4.0, 0.3);

  // Finish empties both lists and returns to the mode page.
  click(w.get(), "ButtonNext");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Mode);
  EXPECT_EQ(w->TaskCount(), 0);
  EXPECT_EQ(child<QTreeView>(w.get(), "ListViewConverting")->model()->rowCount(), 0);
  EXPECT_TRUE(messages.shown.empty());
}

// A file that can no longer be opened when the run is built is left out with a log line
// telling why; the other files are converted.
TEST(MainWindowConversion, AFileRemovedAfterAddingIsLeftOutAndTheRunGoesOn) {
  EventLoopWaker waker;
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  std::vector<std::string> log;
  auto w = OpenWindow(edition, [&](const std::string& line) { log.push_back(line); });
  Activate(w.get());
  const std::string gone = Named(dir, testsupport::Media("av.mp4"), "gone soon.mp4");
  const std::string stays = Named(dir, testsupport::Media("audio.mp3"), "stays.mp3");
  AddFilesAndGoOn(w.get(), {gone, stays});
  fs::remove(gone);
  const fs::path out = dir.path() / "out";
  ChooseAndConvert(w.get(), out, "ButtonToFormatAudio", "ButtonFormatWAV");
  ASSERT_TRUE(WaitFor([&] { return w->CurrentPage() == WizardPage::Step4; }, 60000));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Statuses(w.get()), (std::vector<std::string>{"完成。"}));
  EXPECT_EQ(text(w.get(), "LabelFinishTotalFiles"), "1");
  EXPECT_EQ(text(w.get(), "LabelFinishSuccessed"), "1");
  EXPECT_EQ(text(w.get(), "LabelFinishFailed"), "0");
  std::vector<std::string> loadErrors;
  for (const auto& line : log) {
    if (line.rfind("文件加载错误:", 0) == 0) loadErrors.push_back(line);
  }
  ASSERT_EQ(loadErrors.size(), 1u);
  EXPECT_NE(loadErrors[0].find("No such file or directory"), std::string::npos) << loadErrors[0];
  EXPECT_EQ(FilesIn(out), std::vector<std::string>{"stays.wav"});
  EXPECT_EQ(Probe(out / "stays.wav").rfind("pcm_", 0), 0u) << "a WAV file of PCM samples";
}

TEST(MainWindowConversion, ClosingDuringARunStopsItAndSavesWithoutASummary) {
  EventLoopWaker waker;
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  auto w = OpenWindow(edition);
  Activate(w.get());
  w->move(40, 30);
  const fs::path out = dir.path() / "out";
  AddFilesAndGoOn(w.get(), {LongClip(), testsupport::Media("av.mp4")});
  ChooseAndConvert(w.get(), out, "ButtonToFormatVideo", "ButtonFormatMP4");
  ASSERT_TRUE(FirstRowConverting(w.get()));
  bool summary = false;
  QObject::connect(w->ConversionPages(), &convert::ConversionPages::SummaryShown,
                   [&] { summary = true; });

  const auto closing = std::chrono::steady_clock::now();
  click(w.get(), "ButtonClose");
  EXPECT_FALSE(w->isVisible());
  EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(5));
  EXPECT_FALSE(w->ConversionPages()->IsRunning()) << "the jobs were stopped and waited for";
  QTest::qWait(200);
  EXPECT_FALSE(summary);
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step3);
  EXPECT_TRUE(messages.shown.empty()) << "the close button does not ask";

  // The settings and the placement were saved.
  const app::IniFile saved = app::IniFile::Load(w->SettingsFilePath());
  EXPECT_EQ(saved.ReadString("System", "OutputFileDir", ""), out.string() + "/");
  EXPECT_EQ(saved.ReadString("Form", "x", ""), "40");
  EXPECT_EQ(saved.ReadString("Form", "y", ""), "30");

  // Once the window has gone, the job that never ran has left no output.
  w.reset();
  for (const std::string& f : FilesIn(out)) EXPECT_NE(f, "av.mp4");
}
