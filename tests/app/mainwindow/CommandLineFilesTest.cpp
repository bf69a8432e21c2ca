// "wizconv FILE...": the files of the command line, and the main window opening on step 1
// with them.
#include <gtest/gtest.h>

#include <QRadioButton>

#include "EditionFixture.h"
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

TEST(CommandLineFiles, TheMainWindowOpensOnStepOneWithThem) {
  testsupport::ScriptedMessages messages;
  mwtest::Edition edition;  // Download=True: the mode page comes first otherwise
  auto w = edition.Open();
  ASSERT_EQ(w->CurrentPage(), WizardPage::Mode);
  w->OpenFiles({});
  EXPECT_EQ(w->CurrentPage(), WizardPage::Mode) << "no files: the usual first page";

  const std::vector<std::string> files = {"/data/a.mp4", "/data/b.mp3"};
  w->OpenFiles(files);
  w->show();
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
  EXPECT_EQ(w->OpenedFiles(), files);
  // Back leads to the mode page with converting chosen, as after choosing it there.
  EXPECT_TRUE(w->findChild<QWidget*>("ButtonBack")->isEnabled());
  EXPECT_TRUE(w->findChild<QRadioButton*>("RadioButtonConvertVideo")->isChecked());
  EXPECT_TRUE(messages.shown.empty());
}
