// Steps 3 and 4 as real widgets (offscreen) over a real run: the conversion list, the
// labels, the finishing boxes clicked, the countdown dialog, the preview box, the summary
// and "打开文件夹". The power action is recorded, never performed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <regex>

#include "TestSupport.h"
#include "appcore/PowerActions.h"
#include "convert/ConversionPages.h"
#include "convert/FormatCatalogue.h"
#include "convert/RunFinishing.h"
#include "core/MainThread.h"
#include "engine/FFEncoder.h"

namespace convert {
namespace {

namespace fs = std::filesystem;

class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  UrlRecorder() { QDesktopServices::setUrlHandler("file", this, "open"); }
  ~UrlRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

std::string MakeMedia(const testsupport::TempDir& dir, const std::string& name,
                      std::vector<std::string> arguments) {
  const std::string path = dir.str() + "/" + name;
  std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(path);
  const testsupport::ProcessResult result = testsupport::RunProcess(argv);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return path;
}

std::vector<std::string> Clip(double seconds, bool audio = true, const std::string& size = "160x120") {
  const std::string d = std::to_string(seconds);
  std::vector<std::string> a = {"-f", "lavfi", "-i",
                                "testsrc=size=" + size + ":rate=25:duration=" + d};
  if (audio) {
    for (const std::string w : {"-f", "lavfi", "-i"}) a.push_back(w);
    a.push_back("sine=frequency=440:sample_rate=44100:duration=" + d);
    for (const std::string w : {"-ac", "2", "-c:a", "aac", "-shortest"}) a.push_back(w);
  }
  for (const std::string w : {"-c:v", "libx264", "-preset", "ultrafast"}) a.push_back(w);
  return a;
}

class ConversionPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(encoder_.EngineLibrariesLoaded() || encoder_.LoadEngineLibraries("lib"));
    // As in the windowed program: main-thread calls are served by the event loop.
    core::MainThread::SetWaker([] {
      QMetaObject::invokeMethod(
          qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
    });
    app::SetPowerActionHandler([this](int kind) { powerActions_.push_back(kind); });
    out_ = dir_.str() + "/out/";
    fs::create_directories(out_);
    settings_.OutputFileDir = out_;
    window_.resize(553, 860);
    step3_ = new QWidget(&window_);
    step3_->setGeometry(0, 0, 553, 426);
    step4_ = new QWidget(&window_);
    step4_->setGeometry(0, 430, 553, 426);
    auto* title1 = new QLabel(QString::fromUtf8("%s 已完成转换。"), step4_);
    title1->setObjectName("LabelFinishTitle1");
    pages_ = std::make_unique<ConversionPages>(step3_, step4_, settings_, encoder_);
    pages_->SetAppTitle("Wizconv");
    pages_->SetSoundFolder(dir_.str() + "/sounds/");
    pages_->Sounds().Beep = [this] { ++beeps_; };
    QObject::connect(pages_.get(), &ConversionPages::ShowSummaryPage, [this] {
      pageSwitches_.push_back(summaryShown_ ? "late" : "step4");
    });
    QObject::connect(pages_.get(), &ConversionPages::SummaryShown, [this] { summaryShown_ = true; });
    window_.show();
  }

  void TearDown() override {
    pages_.reset();
    core::MainThread::SetWaker(nullptr);
    app::SetPowerActionHandler(nullptr);
  }

  void Choose(const char* formatName, int preset = -1) {
    const FormatInfo* f = FindFormatByName(formatName);
    settings_ = SettingsForChoice(f->formatClass, f->code, preset < 0 ? f->defaultPreset : preset,
                                  out_);
  }

  template <typename T>
  T* Find(const char* name) {
    T* w = window_.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Text(const char* label) { return Find<QLabel>(label)->text(); }
  void Click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
  }
  QString Cell(int row, int column) {
    QAbstractItemModel* m = Find<QTreeView>("ListViewConverting")->model();
    return m->data(m->index(row, column)).toString();
  }
  bool WaitForSummary(int ms = 120000) {
    return QTest::qWaitFor([this] { return summaryShown_; }, ms);
  }

  testsupport::TempDir dir_;
  std::string out_;
  app::AppSettings settings_;
  engine::TFFEncoder encoder_;
  QWidget window_;
  QWidget* step3_ = nullptr;
  QWidget* step4_ = nullptr;
  std::unique_ptr<ConversionPages> pages_;
  std::vector<int> powerActions_;
  std::vector<std::string> pageSwitches_;
  int beeps_ = 0;
  bool summaryShown_ = false;
};

// Three files to MP3, the second without sound: the list, the labels while it runs, the
// summary with the one error line, the failure sound (missing here: the beep), and the
// output folder opened by a click.
TEST_F(ConversionPagesTest, ThreeFilesWithTheSecondVideoOnlyEndInASummaryWithOneError) {
  const std::vector<std::string> files = {MakeMedia(dir_, "one.mp4", Clip(1)),
                                          MakeMedia(dir_, "silent.mp4", Clip(1, false)),
                                          MakeMedia(dir_, "three.mp4", Clip(1))};
  Choose("MP3");
  settings_.PlayASoundWhenFinished = false;
  pages_->EnterStep3();
  auto* sound = Find<QCheckBox>("CheckBoxPlayASound");
  EXPECT_FALSE(sound->isChecked());
  Click(sound);
  EXPECT_TRUE(settings_.PlayASoundWhenFinished);

  // What the labels say at each progress report, as the page shows it.
  std::vector<QString> currentFiles, estimates, elapsed, progress;
  pages_->Run().OnProgress = [&](const engine::TProgressInfo&) {
    currentFiles.push_back(Text("LabelCurrentFile"));
    estimates.push_back(Text("LabelEstimated"));
    elapsed.push_back(Text("LabelElapsed"));
    progress.push_back(Text("LabelProgress"));
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), progress.back().chopped(1).toInt());
  };
  ASSERT_TRUE(pages_->StartRun(files, false));
  EXPECT_TRUE(pages_->IsRunning());
  QTreeView* list = Find<QTreeView>("ListViewConverting");
  QStringList captions;
  for (int c = 0; c < 5; ++c) captions << list->model()->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(captions.join('|'), QString::fromUtf8("名称|持续时间|状态|进展|路径"));
  EXPECT_EQ(Text("LabelCurrentFileTitle"), QString::fromUtf8("当前文件:"));
  ASSERT_EQ(list->model()->rowCount(), 3);
  EXPECT_EQ(Cell(1, 0), "silent.mp4");
  EXPECT_EQ(Cell(1, 4), QString::fromStdString(dir_.str() + "/"));

  ASSERT_TRUE(WaitForSummary());
  EXPECT_FALSE(pages_->IsRunning());
  EXPECT_EQ(Cell(0, 2), QString::fromUtf8("完成。"));
  EXPECT_EQ(Cell(1, 2), QString::fromUtf8("失败。"));
  EXPECT_EQ(Cell(2, 2), QString::fromUtf8("完成。"));
  EXPECT_EQ(Cell(2, 3), "100%");

  ASSERT_FALSE(currentFiles.empty());
  const std::regex clock(R"(\d{1,2}:\d\d:\d\d|-:--:--)");
  for (size_t i = 0; i < currentFiles.size(); ++i) {
    EXPECT_TRUE(currentFiles[i].startsWith(QString::fromStdString(dir_.str() + "/"))) << i;
    EXPECT_TRUE(std::regex_match(estimates[i].toStdString(), clock)) << estimates[i].toStdString();
    EXPECT_TRUE(std::regex_match(elapsed[i].toStdString(), std::regex(R"(\d{1,2}:\d\d:\d\d)")));
    EXPECT_TRUE(progress[i].endsWith('%'));
  }
  // At rest again after the run.
  EXPECT_EQ(Text("LabelCurrentFile"), "...");
  EXPECT_EQ(Text("LabelProgress"), "0%");

  // The summary: the wizard was asked to show step 4 first, then the counts.
  EXPECT_EQ(pageSwitches_, std::vector<std::string>{"step4"});
  EXPECT_EQ(Text("LabelFinishTotalFiles"), "3");
  EXPECT_EQ(Text("LabelFinishSuccessed"), "2");
  EXPECT_EQ(Text("LabelFinishFailed"), "1");
  EXPECT_EQ(Text("LabelFinishTitle1"), QString::fromUtf8("Wizconv 已完成转换。"));
  auto* memo = Find<QPlainTextEdit>("MemoErrorLog");
  EXPECT_TRUE(memo->isVisible());
  const QStringList lines = memo->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 1) << memo->toPlainText().toStdString();
  EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8("文件 (1): "))) << lines[0].toStdString();
  EXPECT_GT(lines[0].size(), QString::fromUtf8("文件 (1): ").size());
  // fail.wav is not there: the system's beep.
  EXPECT_EQ(beeps_, 1);
  EXPECT_TRUE(powerActions_.empty());

  UrlRecorder urls;
  Click(Find<QLabel>("LabelOpenFolder"));
  ASSERT_EQ(urls.opened.size(), 1);
  EXPECT_EQ(urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(out_)));
}

// Cancel during the first of three, with the shutdown box on: the countdown opens and its
// cancel button is clicked; the computer stays on and the summary counts 3/0/3.
TEST_F(ConversionPagesTest, CancelledRunWithShutdownCountdownCancelledByItsButton) {
  std::vector<std::string> files;
  for (const char* name : {"a.mkv", "b.mkv", "c.mkv"})
    files.push_back(MakeMedia(dir_, name, Clip(8, true, "320x240")));
  Choose("AVI", 1);  // 1080p x264: slow enough to be caught in the first job
  pages_->EnterStep3();
  Click(Find<QCheckBox>("CheckBoxShutdown"));
  EXPECT_TRUE(settings_.ShutDownWhenFinished);

  bool sawProgress = false;
  pages_->Run().OnProgress = [&](const engine::TProgressInfo&) { sawProgress = true; };
  std::string dialogText;
  QString timeOutText;
  // The countdown is modal: the button is clicked from the event loop it runs.
  QTimer clicker;
  clicker.setInterval(20);
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<TFormShutdown*>(QApplication::activeModalWidget());
    if (!dialog) return;
    clicker.stop();
    dialogText = dialog->findChild<QLabel*>("LabelShutdownDescription")->text().toStdString();
    timeOutText = dialog->TimeOutLabel()->text();
    QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
  });
  clicker.start();
  ASSERT_TRUE(pages_->StartRun(files, false));
  ASSERT_TRUE(QTest::qWaitFor([&] { return sawProgress; }, 60000));
  pages_->CancelRun();
  ASSERT_TRUE(WaitForSummary());
  EXPECT_NE(dialogText.find("Wizconv"), std::string::npos) << dialogText;
  EXPECT_EQ(timeOutText.left(10), "Time left:");
  EXPECT_TRUE(powerActions_.empty());
  for (int r = 0; r < 3; ++r) EXPECT_EQ(Cell(r, 2), QString::fromUtf8("失败。")) << r;
  EXPECT_EQ(Text("LabelFinishTotalFiles"), "3");
  EXPECT_EQ(Text("LabelFinishSuccessed"), "0");
  EXPECT_EQ(Text("LabelFinishFailed"), "3");
  for (const QString& line : Find<QPlainTextEdit>("MemoErrorLog")->toPlainText().split('\n', Qt::SkipEmptyParts))
    EXPECT_TRUE(line.startsWith(QString::fromUtf8("文件 (0): "))) << line.toStdString();
}

// A countdown left to run out powers off once, before the summary; a run without errors
// hides the error box; the preview box sets the encoder's preview.
TEST_F(ConversionPagesTest, CountdownThatRunsOutPowersOffBeforeTheSummary) {
  const std::string clip = MakeMedia(dir_, "clip.mp4", Clip(1));
  Choose("WAV");
  settings_.ShutDownWhenFinished = true;
  pages_->EnterStep3();
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxShutdown")->isChecked());
  pages_->CountdownTickMs = 2;
  std::vector<std::string> order;
  app::SetPowerActionHandler([&](int kind) {
    powerActions_.push_back(kind);
    order.push_back(summaryShown_ ? "poweroff after summary" : "poweroff");
  });

  auto* preview = Find<QCheckBox>("CheckBoxPreview");
  EXPECT_FALSE(encoder_.Preview());
  Click(preview);
  EXPECT_TRUE(encoder_.Preview());
  Click(preview);
  EXPECT_FALSE(encoder_.Preview());

  ASSERT_TRUE(pages_->StartRun({clip}, false));
  ASSERT_TRUE(WaitForSummary());
  EXPECT_EQ(powerActions_, std::vector<int>{1});
  EXPECT_EQ(order, std::vector<std::string>{"poweroff"});
  EXPECT_FALSE(Find<QPlainTextEdit>("MemoErrorLog")->isVisible());
  EXPECT_EQ(Text("LabelFinishTotalFiles"), "1");
  EXPECT_EQ(Text("LabelFinishSuccessed"), "1");
  EXPECT_EQ(Text("LabelFinishFailed"), "0");
  EXPECT_EQ(Cell(0, 2), QString::fromUtf8("完成。"));
}

// The joining edition: the list shows each input's size and aspect ratio under the merge
// captions, the current-file title names the output, and one file is counted.
TEST_F(ConversionPagesTest, MergeRunShowsSizesUnderTheMergeCaptionsAndCountsOneFile) {
  const std::vector<std::string> files = {MakeMedia(dir_, "m1.mp4", Clip(1)),
                                          MakeMedia(dir_, "m2.mp4", Clip(1, true, "320x240"))};
  Choose("MP4");
  ASSERT_TRUE(pages_->StartRun(files, true));
  QTreeView* list = Find<QTreeView>("ListViewConverting");
  EXPECT_EQ(list->model()->headerData(2, Qt::Horizontal).toString(), QString::fromUtf8("宽度x高度"));
  EXPECT_EQ(list->model()->headerData(3, Qt::Horizontal).toString(), QString::fromUtf8("宽高比"));
  EXPECT_EQ(Text("LabelCurrentFileTitle"), QString::fromUtf8("输出文件:"));
  ASSERT_EQ(list->model()->rowCount(), 2);
  EXPECT_EQ(Cell(1, 2), "320x240");
  EXPECT_EQ(Cell(1, 4), QString::fromStdString(out_ + "Output_Merge.mp4"));
  ASSERT_TRUE(WaitForSummary());
  EXPECT_EQ(Text("LabelFinishTotalFiles"), "1");
  EXPECT_EQ(Text("LabelFinishSuccessed"), "1");
  EXPECT_EQ(Text("LabelFinishFailed"), "0");
  EXPECT_FALSE(Find<QPlainTextEdit>("MemoErrorLog")->isVisible());
}

TEST(ShutdownDialog, CountsFromThirtyToZeroThenCloses) {
  TFormShutdown dialog("Wizconv", nullptr, 5);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("关机"));
  EXPECT_EQ(dialog.TimeOutLabel()->text(), "Time left: 30");
  EXPECT_TRUE(dialog.CancelButton()->isDefault());
  std::vector<int> shown;
  QTimer watch;
  watch.setInterval(1);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const int n = dialog.TimeOutLabel()->text().mid(11).toInt();
    if (shown.empty() || shown.back() != n) shown.push_back(n);
  });
  watch.start();
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  // 31 steps: 30 ... 0 shown, then the close.
  EXPECT_GE(clock.elapsed(), 31 * 5);
  EXPECT_EQ(dialog.Counter(), -1);
  EXPECT_EQ(dialog.TimeOutLabel()->text(), "Time left: 0");
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), 30);
  EXPECT_EQ(shown.back(), 0);
  EXPECT_TRUE(std::is_sorted(shown.rbegin(), shown.rend()));
  EXPECT_EQ(dialog.findChild<QLabel*>("LabelShutdownDescription")->text(),
            QString::fromUtf8("如果现在不按取消，\nWizconv\n将关闭 Windows 。"));

  // Centred over the main window, in whole pixels.
  EXPECT_EQ(CentredOver(QRect(100, 50, 600, 501), QSize(320, 170)), QPoint(240, 215));
}

TEST(SoundPlayer, MissingFileOrNoAudioOutputBeeps) {
  testsupport::TempDir dir;
  SoundPlayer player;
  int beeps = 0;
  player.Beep = [&] { ++beeps; };
  EXPECT_EQ(player.Play(dir.str() + "/sounds/done.wav"), SoundPlayer::Outcome::Beeped);
  EXPECT_EQ(beeps, 1);
  // A folder of that name is no sound either.
  fs::create_directories(dir.str() + "/sounds/fail.wav");
  EXPECT_EQ(player.Play(dir.str() + "/sounds/fail.wav"), SoundPlayer::Outcome::Beeped);
  EXPECT_EQ(beeps, 2);
}

}  // namespace
}  // namespace convert

#include "ConversionPagesTest.moc"
