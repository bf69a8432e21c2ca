// Clicking the main window: chrome, help menu, about dialog, wizard buttons.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "EditionFixture.h"
#include "MediaFiles.h"
#include "StepOneSupport.h"
#include "WidgetLookup.h"
#include "appcore/IniFile.h"
#include "convert/FormatPicker.h"
#include "script/CustomScript.h"

namespace fs = std::filesystem;
using app::TFormMain;
using app::WizardPage;
using core::MessageAnswer;
using mwtest::Edition;
using mwtest::child;
using mwtest::click;

namespace {

// Shortcuts reach only the active window.
void activate(QWidget* w) {
  w->show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

std::string caption(QWidget* w, const char* name) {
  return child<QAbstractButton>(w, name)->text().toStdString();
}

}  // namespace

TEST(MainWindowChrome, HelpMenuPopsUpUnderTheHelpButtonAndOpensTheLinks) {
  for (const char* skin : {"0", "2"}) {
    SCOPED_TRACE(skin);
    testsupport::ScriptedMessages messages;
    mwtest::LinkRecorder links;
    Edition edition;
    edition.Set("Skin", skin);
    edition.WriteBranding();
    auto w = edition.Open();
    w->show();
    w->move(100, 50);
    click(w.get(), "ButtonHelp");
    QMenu* menu = w->HelpMenu();
    ASSERT_TRUE(menu->isVisible());
    QWidget* help = child(w.get(), "ButtonHelp");
    const int tag = std::string(skin) == "2" ? 5 : 0;
    EXPECT_EQ(w->HelpMenuPosition(),
              QPoint(help->x() + w->x() + tag, help->y() + w->y() + help->height()));
    EXPECT_EQ(menu->pos(), w->HelpMenuPosition());
    std::vector<std::string> entries;
    for (QAction* a : menu->actions()) {
      entries.push_back(a->isSeparator() ? "-" : a->objectName().toStdString());
    }
    EXPECT_EQ(entries, (std::vector<std::string>{
                           "ActionHelpContent", "ActionHowTosTutorialVideos", "-", "ActionHomePage",
                           "ActionMoreFreeTools", "-", "ActionCheckforUpdates",
                           "ActionContactTechnicalSupport", "-", "ActionAbout"}));
    menu->hide();
    for (QAction* a : menu->actions()) {
      if (!a->isSeparator() && a->objectName() != "ActionAbout") a->trigger();
    }
    EXPECT_EQ(links.links, (std::vector<std::string>{
                               "https://help.invalid/content", "https://help.invalid/videos",
                               "https://help.invalid/home", "https://help.invalid/tools",
                               "https://help.invalid/updates", "https://help.invalid/support"}));
    // F1 is the help content's key.
    activate(w.get());
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(links.links.back(), "https://help.invalid/content");
  }
}

TEST(MainWindowChrome, AboutDialogShowsTheEditionAndOpensItsLinks) {
  for (const char* skin : {"0", "3"}) {
    SCOPED_TRACE(skin);
    testsupport::ScriptedMessages messages;
    mwtest::LinkRecorder links;
    Edition edition;
    edition.Set("Skin", skin);
    edition.WriteBranding();
    auto w = edition.Open();
    w->show();
    bool checked = false;
    QTimer::singleShot(0, [&] {
      auto* about = w->findChild<QDialog*>("FormAbout");
      ASSERT_NE(about, nullptr);
      EXPECT_TRUE(about->isVisible());
      EXPECT_EQ(child<QLabel>(about, "LabelAboutTitle")->text().toStdString(), "Wizconv Test");
      EXPECT_EQ(child<QLabel>(about, "LabelAboutVersion")->text().toStdString(), "Version: 9.8.7");
      EXPECT_EQ(child<QLabel>(about, "LabelAboutCopyright")->text().toStdString(), "(c) test");
      EXPECT_EQ(child<QLabel>(about, "LabelHomePage")->text().toStdString(),
                "https://help.invalid/home");
      EXPECT_EQ(child(about, "ImageLeft")->isVisible(), std::string(skin) != "3");
      EXPECT_NEAR(about->geometry().center().x(), w->geometry().center().x(), 1);
      click(about, "LabelHomePage");
      click(about, "LabelSupport");
      click(about, "ButtonCheckForUpdates");
      click(about, "ButtonOK");
      checked = true;
    });
    w->findChild<QAction*>("ActionAbout")->trigger();
    EXPECT_TRUE(checked);
    EXPECT_EQ(links.links,
              (std::vector<std::string>{"https://help.invalid/home", "https://help.invalid/support",
                                        "https://help.invalid/updates"}));
  }
}

TEST(MainWindowChrome, LogosDragTheWindowAndTheButtonsMinimiseAndClose) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  auto w = edition.Open();
  w->show();
  w->move(100, 100);
  for (const char* logo : {"ImageTopLogo", "ImageLeftLogo"}) {
    const QPoint start = w->pos();
    QWidget* image = child(w.get(), logo);
    QTest::mousePress(image, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 30), image->mapToGlobal(QPointF(40, 30)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(image, &move);
    QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(40, 30));
    EXPECT_EQ(w->pos(), start + QPoint(30, 20)) << logo;
  }
  click(w.get(), "ButtonMin");
  EXPECT_TRUE(w->isMinimized());
  w->showNormal();
  click(w.get(), "ButtonClose");
  EXPECT_FALSE(w->isVisible()) << "the close button closes without asking";
  EXPECT_TRUE(messages.shown.empty());
}

TEST(MainWindowWizard, AltF4RunsTheExitActionOfThePage) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  auto w = edition.Open();
  activate(w.get());
  messages.answer(MessageAnswer::No);
  QTest::keyClick(w.get(), Qt::Key_F4, Qt::AltModifier);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "你确定要退出？");
  EXPECT_TRUE(w->isVisible());
  // A close from outside asks the same way.
  messages.answer(MessageAnswer::No);
  EXPECT_FALSE(w->close());
  EXPECT_EQ(messages.shown.size(), 2u);
  EXPECT_TRUE(w->isVisible());
  messages.answer(MessageAnswer::Yes);
  w->close();
  EXPECT_FALSE(w->isVisible());
}

TEST(MainWindowWizard, ModePageLeadsToStepOneAndBack) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  auto w = edition.Open();
  w->show();
  ASSERT_EQ(w->CurrentPage(), WizardPage::Mode);
  EXPECT_EQ(child<QLabel>(w.get(), "LabelTitle")->text().toStdString(),
            "欢迎到Wizconv Test！你想做什么？");
  EXPECT_TRUE(child<QRadioButton>(w.get(), "RadioButtonDownloadVideo")->isChecked());
  QTest::mouseClick(child(w.get(), "ImageConvertVideo"), Qt::LeftButton);
  EXPECT_TRUE(child<QRadioButton>(w.get(), "RadioButtonConvertVideo")->isChecked());
  click(w.get(), "ButtonNext");
  ASSERT_EQ(w->CurrentPage(), WizardPage::Step1);
  EXPECT_EQ(caption(w.get(), "ButtonNext"), "下步");
  EXPECT_EQ(caption(w.get(), "ButtonExit"), "取消");
  EXPECT_TRUE(child(w.get(), "ButtonBack")->isEnabled());

  // Next without files asks for files and stays.
  click(w.get(), "ButtonNext");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, core::MessageKind::Information);
  EXPECT_EQ(messages.shown[0].text, "请添加你要转换的视频文件");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);

  // Back asks; No stays, Yes returns to the mode page with an empty grid.
  mwtest::AddAndWait(*w, {testsupport::Media("av.mp4"), testsupport::Media("audio.mp3")});
  ASSERT_EQ(w->TaskCount(), 2);
  messages.answer(MessageAnswer::No);
  click(w.get(), "ButtonBack");
  EXPECT_EQ(messages.shown.back().text, "您确定要取消并返回？");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
  messages.answer(MessageAnswer::Yes);
  click(w.get(), "ButtonBack");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Mode);
  EXPECT_EQ(w->TaskCount(), 0);

  // Exit on step 1 asks to cancel and also returns.
  QTest::mouseClick(child(w.get(), "ImageConvertVideo"), Qt::LeftButton);
  click(w.get(), "ButtonNext");
  mwtest::AddAndWait(*w, {testsupport::Media("av.mp4")});
  messages.answer(MessageAnswer::Yes);
  click(w.get(), "ButtonExit");
  EXPECT_EQ(messages.shown.back().text, "您确定要取消？");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Mode);
  EXPECT_EQ(w->TaskCount(), 0);
  EXPECT_TRUE(w->isVisible());
}

TEST(MainWindowWizard, StepTwoShowsTheStoredChoiceAndChecksTheFolder) {
  for (const char* merge : {"False", "True"}) {
    SCOPED_TRACE(merge);
    testsupport::ScriptedMessages messages;
    Edition edition;
    edition.Set("Download", "False");
    edition.Set("Merge", merge);
    edition.WriteBranding();
    auto w = edition.Open();
    w->show();
    mwtest::AddAndWait(*w, {testsupport::Media("av.mp4")});
    click(w.get(), "ButtonNext");
    ASSERT_EQ(w->CurrentPage(), WizardPage::Step2);
    EXPECT_EQ(caption(w.get(), "ButtonNext"), std::string(merge) == "True" ? "现在加入" : "转换");
    auto* edit = child<QLineEdit>(w.get(), "EditOutputDir");
    EXPECT_EQ(edit->text().toStdString(), edition.documents());

    // A folder below a file cannot be created: the message, the page stays, the text is kept.
    const fs::path blocker = edition.root() / "blocker";
    std::ofstream(blocker) << "x";
    edit->setText(QString::fromStdString((blocker / "out").string()));
    click(w.get(), "ButtonNext");
    EXPECT_EQ(messages.shown.back().text, "无法创建目录！请检查输出文件夹格式是否正确！");
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step2);
    EXPECT_EQ(w->Settings().OutputFileDir, (blocker / "out").string() + "/");

    // A folder that takes no file (not even the superuser's) is refused the same way.
    edit->setText("/proc/self");
    click(w.get(), "ButtonNext");
    EXPECT_EQ(messages.shown.back().text, "无法创建目录！请检查输出文件夹格式是否正确！");
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step2);
    edit->setText(QString::fromStdString((blocker / "out").string()));
    click(w.get(), "ButtonNext");
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step2);

    // Back and Next again show the stored choice, not what was typed.
    edit->setText("/somewhere/else");
    click(w.get(), "ButtonBack");
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
    click(w.get(), "ButtonNext");
    EXPECT_EQ(edit->text().toStdString(), (blocker / "out").string() + "/");

    // An empty folder box is no folder.
    const size_t before = messages.shown.size();
    edit->clear();
    click(w.get(), "ButtonNext");
    ASSERT_EQ(messages.shown.size(), before + 1);
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step2);

    // A folder that can be made (all levels at once) leads to step 3.
    const fs::path out = edition.root() / "a" / "b" / "c";
    edit->setText(QString::fromStdString(out.string()));
    click(w.get(), "ButtonNext");
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_EQ(w->CurrentPage(), WizardPage::Step3);
    EXPECT_FALSE(child(w.get(), "ButtonNext")->isEnabled());
  }
}

TEST(MainWindowWizard, ClosingWithAnUnwritableSettingsFolderReportsAndStillCloses) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  auto w = edition.Open();
  w->show();
  const fs::path folder = w->SettingsFolder();
  fs::remove_all(folder);
  std::ofstream(fs::path(w->SettingsFolder()).parent_path() / "Wizconv Test")
      << "a file in the way";
  click(w.get(), "ButtonClose");
  EXPECT_FALSE(w->isVisible());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, core::MessageKind::Error);
  EXPECT_EQ(messages.shown[0].text, "Unable to write to " + w->SettingsFilePath());
}

TEST(MainWindowWizard, FormatClicksChangeTheSettingsAtOnce) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  auto w = edition.Open();
  w->show();
  mwtest::AddAndWait(*w, {testsupport::Media("av.mp4")});
  click(w.get(), "ButtonNext");
  click(w.get(), "ButtonToFormatAudio");
  click(w.get(), "ButtonFormatFLAC");
  EXPECT_EQ(w->Settings().OutputFormatClass, 2);
  EXPECT_EQ(w->Settings().OutputAudioFormat, 6);
  EXPECT_FALSE(child(w.get(), "ButtonFormatFLAC")->isEnabled()) << "the current choice";
  messages.answer(MessageAnswer::Yes);
  click(w.get(), "ButtonExit");
  EXPECT_EQ(messages.shown.back().text, "您确定要取消？");
  EXPECT_EQ(w->CurrentPage(), WizardPage::Step1);
  EXPECT_EQ(w->Settings().OutputAudioFormat, 6) << "kept after cancelling step 2";
}

TEST(MainWindowScripts, TheScriptHostReachesTheFormAndReportsErrorsWithTheirLine) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  auto w = edition.Open();
  ASSERT_NE(w->ScriptHost(), nullptr);
  std::vector<std::string> texts;
  w->OnScriptText = [&](const QString& t) { texts.push_back(t.toStdString()); };
  w->ScriptHost()->Lines =
      QStringList{"Host.Echo(Form.LabelTitle.text);", "Host.Alert('<18>[x]');", "nothing.here();"};
  w->ScriptHost()->Execute();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "欢迎到Wizconv Test！你想做什么？");
  EXPECT_EQ(texts[1], "<18>[x]");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("错误：行号 3, ", 0), 0u) << messages.shown[0].text;
}
