// The main window's start-up over real edition folders: branding, skin, settings,
// codec libraries and the first page.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QBitmap>
#include <QGuiApplication>
#include <QLabel>
#include <QRegion>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <fstream>

#include "EditionFixture.h"
#include "SettingsKeys.h"
#include "appcore/IniFile.h"
#include "app/mainwindow/ImageButton.h"
#include "app/mainwindow/ProgramEntry.h"
#include "log/FFLogger.h"

namespace fs = std::filesystem;
using app::TFormMain;
using app::WizardPage;
using mwtest::Edition;

namespace {

QWidget* child(QWidget* w, const char* name) {
  QWidget* c = w->findChild<QWidget*>(name);
  EXPECT_NE(c, nullptr) << name;
  return c;
}

QPoint pos(QWidget* w, const char* name) { return child(w, name)->pos(); }

std::vector<std::string> SystemKeys(const std::string& path) {
  return app::IniFile::Load(path).Keys("System");
}

}  // namespace

TEST(MainWindowStartup, BrandingGivesTitleLabelsAndFirstPage) {
  struct Case {
    const char* download;
    WizardPage page;
    bool backEnabled;
    const char* exit;
  };
  for (const Case& c : {Case{"True", WizardPage::Mode, false, "退出"},
                        Case{"False", WizardPage::Step1, false, "退出"},
                        Case{"true", WizardPage::Step1, false, "退出"}}) {
    SCOPED_TRACE(c.download);
    testsupport::ScriptedMessages messages;
    Edition edition;
    edition.Set("Download", c.download);
    edition.WriteBranding();
    auto w = edition.Open();
    EXPECT_EQ(w->StartupError(), "");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(w->windowTitle().toStdString(), "Wizconv Test");
    EXPECT_EQ(w->CurrentPage(), c.page);
    EXPECT_FALSE(w->findChild<QTabWidget*>("PageControlMain")->tabBar()->isVisible());
    EXPECT_EQ(w->findChild<QAction*>("ActionBack")->isEnabled(), c.backEnabled);
    EXPECT_EQ(w->findChild<QAction*>("ActionExit")->text().toStdString(), c.exit);
    EXPECT_EQ(w->findChild<QLabel*>("LabelFinishTitle1")->text().toStdString(),
              "Wizconv Test 已完成转换。");
    EXPECT_EQ(w->findChild<QLabel*>("LabelFinishedDownloading2")->text().toStdString(),
              "要转换其它文件，点击“完成”。点击“退出”，退出Wizconv Test。");
    EXPECT_EQ(w->findChild<QLabel*>("LabelVersion")->text().toStdString(), "Version: 9.8.7");
  }
}

TEST(MainWindowStartup, SkinLayoutsPlaceTheChrome) {
  struct Case {
    const char* skin;
    QPoint help, log, back, next, exit, pages, title;
    bool captionButtons;
    bool transparent;
  };
  const Case cases[] = {
      {"0",
       {40, 510},
       {138, 510},
       {426, 510},
       {522, 510},
       {672, 510},
       {203, 74},
       {24, 43},
       true,
       false},
      {"1",
       {25, 566},
       {120, 566},
       {400, 566},
       {495, 566},
       {730, 566},
       {240, 110},
       {252, 70},
       true,
       false},
      {"2",
       {40, 513},
       {138, 513},
       {426, 513},
       {522, 513},
       {672, 513},
       {198, 74},
       {24, 43},
       true,
       false},
      {"3",
       {10, 515},
       {120, 515},
       {350, 515},
       {460, 515},
       {665, 515},
       {203, 74},
       {215, 55},
       false,
       true},
      // A number without a layout keeps the design-time positions.
      {"4",
       {40, 510},
       {138, 510},
       {426, 510},
       {522, 510},
       {672, 510},
       {203, 74},
       {24, 43},
       true,
       false},
      {"-1",
       {40, 510},
       {138, 510},
       {426, 510},
       {522, 510},
       {672, 510},
       {203, 74},
       {24, 43},
       true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("Skin=") + c.skin);
    testsupport::ScriptedMessages messages;
    Edition edition;
    edition.Set("Skin", c.skin);
    edition.WriteBranding();
    auto w = edition.Open();
    ASSERT_EQ(w->StartupError(), "");
    EXPECT_EQ(pos(w.get(), "ButtonHelp"), c.help);
    EXPECT_EQ(pos(w.get(), "ButtonLog"), c.log);
    EXPECT_EQ(pos(w.get(), "ButtonBack"), c.back);
    EXPECT_EQ(pos(w.get(), "ButtonNext"), c.next);
    EXPECT_EQ(pos(w.get(), "ButtonExit"), c.exit);
    EXPECT_EQ(pos(w.get(), "PageControlMain"), c.pages);
    EXPECT_EQ(pos(w.get(), "LabelTitle"), c.title);
    EXPECT_EQ(child(w.get(), "ButtonMin")->isVisibleTo(w.get()), c.captionButtons);
    EXPECT_EQ(child(w.get(), "ButtonClose")->isVisibleTo(w.get()), c.captionButtons);
    EXPECT_EQ(w->findChild<app::ImageButton*>("ButtonNext")->isTransparent(), c.transparent);
    EXPECT_EQ(w->findChild<QLabel*>("LabelTitle")->font().bold(), std::string(c.skin) != "3");
  }
}

TEST(MainWindowStartup, WindowTakesSizeAndShapeFromTheSkin) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  auto w = edition.Open();
  const QImage skin(QString::fromStdString(edition.exeDir() + "sounds/default/main.bmp"));
  ASSERT_FALSE(skin.isNull());
  EXPECT_EQ(w->size(), skin.size());
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  const QRegion shape = w->mask();
  ASSERT_FALSE(shape.isEmpty());
  for (int y = 0; y < skin.height(); y += 7) {
    for (int x = 0; x < skin.width(); x += 7) {
      const bool magenta = skin.pixel(x, y) == qRgb(255, 0, 255);
      ASSERT_EQ(shape.contains(QPoint(x, y)), !magenta) << x << "," << y;
    }
  }
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
  EXPECT_TRUE(shape.contains(QPoint(skin.width() / 2, skin.height() / 2)));
}

TEST(MainWindowStartup, SettingsFolderFollowsTheTitle) {
  struct Case {
    std::optional<std::string> name;
    std::string folder;  // below the app-data folder
  };
  for (const Case& c : {Case{"Wizconv Test", "Wizconv Test/"}, Case{"Video/Audio", "Video Audio/"},
                        Case{std::nullopt, ""}}) {
    SCOPED_TRACE(c.folder);
    testsupport::ScriptedMessages messages;
    Edition edition;
    if (c.name)
      edition.Set("Name", *c.name);
    else
      edition.Remove("Name");
    edition.WriteBranding();
    auto w = edition.Open();
    EXPECT_EQ(w->Title(), c.name.value_or(""));
    EXPECT_EQ(w->SettingsFolder(), edition.appData() + "/" + c.folder);
    EXPECT_TRUE(fs::exists(w->SettingsFilePath())) << "a first run writes the defaults";
  }
}

TEST(MainWindowStartup, FirstRunCentresAndClosingWritesEveryKeyInOrder) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  edition.Set("Download", "False");
  edition.WriteBranding();
  auto w = edition.Open();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(w->pos(),
            QPoint((screen.width() - w->width()) / 2, (screen.height() - w->height()) / 2));
  EXPECT_EQ(w->Settings().OutputFileDir, edition.documents());
  EXPECT_EQ(w->Settings().OutputVideoFormat, 1) << "the branding's default video format";

  w->Settings().OutputMP3Preset = 3;
  w->show();
  messages.answer(core::MessageAnswer::Yes);
  w->ActionExit();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "你确定要退出？");
  EXPECT_EQ(messages.shown[0].caption, "Wizconv Test");
  EXPECT_FALSE(w->isVisible());

  EXPECT_EQ(SystemKeys(w->SettingsFilePath()), testsupport::ExpectedSystemKeys());
  const app::IniFile saved = app::IniFile::Load(w->SettingsFilePath());
  EXPECT_EQ(saved.ReadString("System", "OutputMP3Preset", ""), "3");
  EXPECT_EQ(saved.Keys("Form"),
            (std::vector<std::string>{"x", "y", "height", "width", "maximized"}));
}

TEST(MainWindowStartup, ExistingSettingsAreLoadedAndThePlacementBounded) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  const fs::path folder = fs::path(edition.appData()) / "Wizconv Test";
  fs::create_directories(folder);
  const std::string text =
      "[System]\r\nOutputMP3Preset=3\r\nOutputFormatClass=258\r\n"
      "[Form]\r\nx=5000\r\ny=-40\r\nmaximized=0\r\n";
  std::ofstream(folder / "~system2.dat", std::ios::binary) << text;
  auto w = edition.Open();
  EXPECT_EQ(w->Settings().OutputMP3Preset, 3);
  EXPECT_EQ(w->Settings().OutputFormatClass, 0) << "a value a byte cannot hold keeps the default";
  EXPECT_EQ(w->Settings().OutputAVIPreset, 3) << "a missing key keeps its default";
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(w->pos(), QPoint(screen.width() - w->width(), 0));
  EXPECT_EQ(testsupport::ReadFile(folder / "~system2.dat"), text)
      << "nothing is written before the window closes";
}

TEST(MainWindowStartup, DefaultClassOutOfRangeKeepsTheClass) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  edition.Set("DefaultClass", "5");
  edition.Set("DefaultAudio", "6");
  edition.WriteBranding();
  auto w = edition.Open();
  EXPECT_EQ(w->Settings().OutputFormatClass, 0);
  EXPECT_EQ(w->Settings().OutputAudioFormat, 6);
}

TEST(MainWindowStartup, BrandingErrorsAreReportedAndKeepTheStoredSettings) {
  struct Case {
    const char* key;
    const char* value;
    std::string message;
  };
  const Case cases[] = {
      {"Skin", "abc", "'abc' is not a valid integer value"},
      {"DefaultClass", "", "'' is not a valid integer value"},
      {"DefaultVideo", "1.5", "'1.5' is not a valid integer value"},
      {"ResFolder", "missing",
       "Cannot open file \"%sounds/missing/toplogo.png\". No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    testsupport::ScriptedMessages messages;
    Edition edition;
    edition.Set(c.key, c.value);
    edition.WriteBranding();
    // A settings file from an earlier run must survive a start-up that failed.
    const fs::path folder = fs::path(edition.appData()) / "Wizconv Test";
    fs::create_directories(folder);
    std::ofstream(folder / "~system2.dat") << "[System]\nOutputMP3Preset=3\n";
    auto w = edition.Open();
    std::string expected = c.message;
    if (auto at = expected.find('%'); at != std::string::npos)
      expected.replace(at, 1, edition.exeDir());
    EXPECT_EQ(w->StartupError(), expected);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, core::MessageKind::Error);
    EXPECT_EQ(messages.shown[0].text, expected);
    w->show();
    w->findChild<QAbstractButton*>("ButtonClose")->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(testsupport::ReadFile(folder / "~system2.dat"), "[System]\nOutputMP3Preset=3\n");
  }
}

TEST(MainWindowStartup, CodecLibrariesFromLibThenParentLib) {
  struct Case {
    std::vector<std::string> working;  // folders where loading succeeds
    std::vector<std::string> tried;
    bool startupCompleted;
  };
  const Case cases[] = {
      {{"lib"}, {"lib"}, true},
      {{"../lib"}, {"lib", "../lib"}, true},
      {{}, {"lib", "../lib"}, false},
  };
  for (const Case& c : cases) {
    testsupport::ScriptedMessages messages;
    Edition edition;
    std::vector<std::string> tried, log;
    app::MainWindowEnvironment env;
    env.engineLibrariesLoaded = [] { return false; };
    env.loadEngineLibraries = [&](const std::string& folder, std::string& error) {
      const std::string rel = folder.substr(edition.exeDir().size());
      tried.push_back(rel);
      error = "Load library avcodec error: not found in " + rel;
      return std::find(c.working.begin(), c.working.end(), rel) != c.working.end();
    };
    env.appendLog = [&](const std::string& line) { log.push_back(line); };
    auto w = edition.Open(env);
    EXPECT_EQ(tried, c.tried);
    auto* pages = w->findChild<QTabWidget*>("PageControlMain");
    if (c.startupCompleted) {
      EXPECT_TRUE(log.empty());
      EXPECT_EQ(w->CurrentPage(), WizardPage::Mode);
      EXPECT_TRUE(pages->tabBar()->isHidden());
    } else {
      EXPECT_EQ(log, std::vector<std::string>{"Load library avcodec error: not found in ../lib"});
      EXPECT_EQ(w->CurrentPage(), WizardPage::Step1) << "the design-time page";
      EXPECT_FALSE(pages->tabBar()->isHidden());
      EXPECT_TRUE(messages.shown.empty());
    }
  }
}

TEST(MainWindowStartup, LoadedLibrariesAreNotLoadedAgain) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  int loads = 0;
  app::MainWindowEnvironment env;
  env.engineLibrariesLoaded = [] { return true; };
  env.loadEngineLibraries = [&](const std::string&, std::string&) { return ++loads, true; };
  auto w = edition.Open(env);
  EXPECT_EQ(loads, 0);
}

TEST(MainWindowStartup, ReducedEditionHidesVersionToolsHelpAndLog) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  TFormMain::ReducedEditionTitles() = {"Wizconv Test"};
  auto w = edition.Open();
  TFormMain::ReducedEditionTitles().clear();
  w->show();
  for (const char* name : {"ButtonHelp", "ButtonLog"}) {
    EXPECT_FALSE(child(w.get(), name)->isVisible()) << name;
  }
  auto other = edition.Open();
  other->show();
  EXPECT_TRUE(child(other.get(), "ButtonHelp")->isVisible());
  EXPECT_FALSE(child(other.get(), "LabelVersion")->isVisible()) << "hidden whenever shown";
}

TEST(ProgramStart, MissingBrandingFileOrIconEndsWithTheFileOpenError) {
  for (const char* missing : {"dudozava.dll", "icon.ico"}) {
    SCOPED_TRACE(missing);
    testsupport::ScriptedMessages messages;
    Edition edition;
    fs::remove(fs::path(edition.exeDir()) / missing);
    auto program = app::StartProgram(edition.exeDir());
    EXPECT_EQ(program, nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Cannot open file \"" + edition.exeDir() + missing + "\". No such file or directory");
  }
}

TEST(ProgramStart, BrokenIconOrRandomBrandingBytesDoNotCrash) {
  {
    testsupport::ScriptedMessages messages;
    Edition edition;
    std::ofstream(fs::path(edition.exeDir()) / "icon.ico", std::ios::binary) << "not an icon";
    EXPECT_EQ(app::StartProgram(edition.exeDir()), nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("icon.ico"), std::string::npos);
  }
  {
    testsupport::ScriptedMessages messages;
    Edition edition;
    std::string noise;
    uint32_t state = 12345;
    for (int i = 0; i < 4096; ++i) {
      state = state * 1103515245u + 12345u;
      noise.push_back(static_cast<char>(state >> 24));
    }
    noise += "\xF2\xF5\xFF";
    std::ofstream(fs::path(edition.exeDir()) / "dudozava.dll", std::ios::binary) << noise;
    app::MainWindowEnvironment env;
    env.appDataFolder = edition.appData();
    env.documentsFolder = edition.documents();
    auto program = app::StartProgram(edition.exeDir(), env);
    ASSERT_NE(program, nullptr) << "the title may be empty, the icon is fine";
    EXPECT_EQ(messages.shown.size(), 1u) << "the integer keys are missing";
    EXPECT_NE(messages.shown.at(0).text.find("is not a valid integer value"), std::string::npos);
  }
}

TEST(ProgramStart, LogWindowExistsBeforeTheMainWindowLogs) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  app::MainWindowEnvironment env;
  env.appDataFolder = edition.appData();
  env.documentsFolder = edition.documents();
  env.engineLibrariesLoaded = [] { return false; };
  env.loadEngineLibraries = [](const std::string&, std::string& error) {
    error = "Load library avutil error: missing";
    return false;
  };
  auto program = app::StartProgram(edition.exeDir(), env);
  ASSERT_NE(program, nullptr);
  auto* log = program->logWindow.get();
  ASSERT_NE(log, nullptr);
  EXPECT_FALSE(log->isVisible());
  program->mainWindow->show();
  program->mainWindow->findChild<QAbstractButton*>("ButtonLog")->click();
  EXPECT_TRUE(log->isVisible());
  EXPECT_EQ(log->Lines(), std::vector<std::string>{"Load library avutil error: missing"});
}

TEST(ProgramStart, EngineLogLinesReachTheLogWindowWithThreadAndLevel) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  app::MainWindowEnvironment env;
  env.appDataFolder = edition.appData();
  env.documentsFolder = edition.documents();
  auto program = app::StartProgram(edition.exeDir(), env);
  ASSERT_NE(program, nullptr);
  ASSERT_EQ(program->mainWindow->StartupError(), "");
  engine::DefaultLogger().SetLogLevel(engine::llInfo);
  engine::DefaultLogger().Log(nullptr, engine::llError, "a broken packet");
  const std::string expected =
      "#" + std::to_string(engine::TFFLogger::CurrentThreadId()) + ".3: a broken packet";
  EXPECT_EQ(program->logWindow->Lines(), std::vector<std::string>{expected});
  // Once the window is gone, lines are dropped rather than written to freed memory.
  program.reset();
  engine::DefaultLogger().Log(nullptr, engine::llError, "after the window");
}

TEST(ProgramStart, BothWindowsComeBackWhereTheyWereClosed) {
  testsupport::ScriptedMessages messages;
  Edition edition;
  app::MainWindowEnvironment env;
  env.appDataFolder = edition.appData();
  env.documentsFolder = edition.documents();
  {
    auto program = app::StartProgram(edition.exeDir(), env);
    ASSERT_NE(program, nullptr);
    auto* main = program->mainWindow.get();
    main->show();
    main->move(20, 30);  // inside the test screen, so that no bounding moves it
    main->findChild<QAbstractButton*>("ButtonLog")->click();
    auto* log = program->logWindow.get();
    ASSERT_TRUE(log->isVisible());
    log->move(300, 200);
    log->resize(420, 260);
    main->Settings().OutputMP3Preset = 2;
    main->findChild<QAbstractButton*>("ButtonClose")->click();
    ASSERT_FALSE(main->isVisible());
    const app::IniFile saved = app::IniFile::Load(main->SettingsFilePath());
    EXPECT_EQ(saved.ReadString("Form", "x", ""), "20");
    EXPECT_EQ(saved.ReadString("FormLog", "x", ""), "300");
    EXPECT_EQ(saved.ReadString("FormLog", "width", ""), "420");
  }
  auto program = app::StartProgram(edition.exeDir(), env);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->mainWindow->pos(), QPoint(20, 30));
  EXPECT_EQ(program->mainWindow->Settings().OutputMP3Preset, 2);
  program->mainWindow->show();
  program->mainWindow->findChild<QAbstractButton*>("ButtonLog")->click();
  EXPECT_EQ(program->logWindow->pos(), QPoint(300, 200));
  EXPECT_EQ(program->logWindow->size(), QSize(420, 260));
  EXPECT_TRUE(messages.shown.empty());
}
