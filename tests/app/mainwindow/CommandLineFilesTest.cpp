// "wizconv FILE...": the files of the command line, and the main window opening on step 1
// with them.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <filesystem>
#include <fstream>

#include "EditionFixture.h"
#include "StepOneSupport.h"
#include "app/mainwindow/ProgramEntry.h"

using app::WizardPage;

TEST(CommandLineFiles, EveryArgumentAfterTheProgramIsAnAbsoluteFile) {
  struct Case {
    QStringList arguments;
    std::vector<std::string> files;
  };
  const QString cwd = QStringLiteral("/home/user/videos");
  const Case cases[] = {
      {{"wizconv"}, {}},
      {{"/usr/bin/wizconv", "a.mp4"}, {"/home/user/videos/a.mp4"}},
      // Order kept; absolute paths as they are; "..", "." and doubled separators folded.
      {{"wizconv", "/data/b.mkv", "../c.avi", "./sub//d.flv"},
       {"/data/b.mkv", "/home/user/c.avi", "/home/user/videos/sub/d.flv"}},
      // Blanks and Chinese in names; a name that looks like an option is still a file.
      {{"wizconv", "我的 视频.wmv", "--help"},
       {"/home/user/videos/我的 视频.wmv", "/home/user/videos/--help"}},
      // Local links become paths (escapes decoded); remote links and empty arguments are
      // no files.
      {{"wizconv", "file:///tmp/x%20y.mp3", "https://example.invalid/v.mp4", ""}, {"/tmp/x y.mp3"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::CommandLineFiles(c.arguments, cwd), c.files)
        << c.arguments.join(' ').toStdString();
  }
}

TEST(CommandLineFiles, TheMainWindowOpensOnStepOneWithThemAsIfDropped) {
  testsupport::ScriptedMessages messages;
  mwtest::LoadCodecs();
  mwtest::Edition edition;  // Download=True: the mode page comes first otherwise
  auto w = edition.Open();
  ASSERT_EQ(w->CurrentPage(), WizardPage::Mode);
  w->OpenFiles({});
  EXPECT_EQ(w->CurrentPage(), WizardPage::Mode) << "no files: the usual first page";

  const auto make = [&](const std::string& name, const std::string& source) {
    const std::string path = (edition.root() / name).string();
    EXPECT_EQ(testsupport::RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                       source, "-t", "1", path})
                  .exitCode,
              0);
    return path;
  };
  const std::string video = make("片段 1.mkv", "testsrc=size=160x120:rate=10");
  const std::string audio = make("tone.mp3", "sine=frequency=440");
  const std::string notes = (edition.root() / "notes.txt").string();
  std::ofstream(notes) << "not media";
  const std::string folder = (edition.root() / "folder.mp4").string();
  std::filesystem::create_directory(folder);
  // As a file manager hands them over: a text file and a folder are left out, as when
  // dropped.
  w->OpenFiles({audio, notes, folder, video});
  w->show();
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
  ASSERT_TRUE(mwtest::WaitFor([&] { return !w->AddingFiles(); }));
  ASSERT_EQ(w->TaskCount(), 2);
  EXPECT_EQ(w->Tasks().Row(0).Facts.Path, audio);
  EXPECT_EQ(w->Tasks().Row(1).Facts.Path, video);
  EXPECT_TRUE(w->Tasks().FailedFiles().empty());
  // Back leads to the mode page with converting chosen, as after choosing it there.
  EXPECT_TRUE(w->findChild<QWidget*>("ButtonBack")->isEnabled());
  EXPECT_TRUE(w->findChild<QRadioButton*>("RadioButtonConvertVideo")->isChecked());
  EXPECT_TRUE(messages.shown.empty());
}
