#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "SettingsKeys.h"
#include "TestSupport.h"
#include "appcore/AppError.h"
#include "appcore/IniFile.h"
#include "appcore/Settings.h"

namespace fs = std::filesystem;
using namespace app;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

// Start-up values: the folders and format bytes are set before the file is loaded.
AppSettings startUpDefaults() {
  AppSettings s;
  s.LastOpenDir = s.OutputFileDir = s.OutputURLDir = "/home/u/Documents";
  s.OutputFormatClass = 0;
  s.OutputVideoFormat = 1;
  s.OutputDeviceFormat = 2;
  s.OutputAudioFormat = 3;
  return s;
}

bool sameSettings(const AppSettings& a, const AppSettings& b) {
  // The record has no comparison of its own; compare what the store writes instead.
  TempDir dir;
  const std::string pa = dir.str() + "/a", pb = dir.str() + "/b";
  SettingsStore(pa).SaveSettings(a);
  SettingsStore(pb).SaveSettings(b);
  return ReadFile(pa) == ReadFile(pb);
}

}  // namespace

TEST(SettingsTest, FirstRunWritesTheDefaultsInKeyOrder) {
  TempDir dir;
  const std::string path = dir.str() + "/" + SettingsFileName();
  EXPECT_EQ(SettingsFileName(), "~system2.dat");
  AppSettings s = startUpDefaults();
  EXPECT_FALSE(SettingsStore(path).LoadSettings(s));
  EXPECT_TRUE(sameSettings(s, startUpDefaults()));

  const IniFile written = IniFile::Load(path);
  EXPECT_EQ(written.Keys("System"),
            testsupport::ExpectedSystemKeys());
  EXPECT_EQ(written.Value("System", "LastOpenDir"), "/home/u/Documents");
  EXPECT_EQ(written.Value("System", "OutputAudioFormat"), "3");
  EXPECT_EQ(written.Value("System", "OutputWMVPreset"), "16");
  EXPECT_EQ(written.Value("System", "PreferYouTubeQuality"), "1");
  EXPECT_EQ(written.Value("System", "ShutDownWhenFinished"), "0");
  EXPECT_EQ(written.Value("System", "PreferYouTube18"), "7");
  // A second start finds the file.
  AppSettings again = startUpDefaults();
  EXPECT_TRUE(SettingsStore(path).LoadSettings(again));
}

TEST(SettingsTest, AFileWithOneKeyLoadsItAndIsNotRewritten) {
  TempDir dir;
  const std::string content = "[System]\r\nOutputMP3Preset=3\r\n";
  const auto path = dir.write("~system2.dat", content);
  AppSettings s = startUpDefaults();
  EXPECT_TRUE(SettingsStore(path.string()).LoadSettings(s));
  EXPECT_EQ(s.OutputMP3Preset, 3);
  AppSettings expected = startUpDefaults();
  expected.OutputMP3Preset = 3;
  EXPECT_TRUE(sameSettings(s, expected));
  EXPECT_EQ(ReadFile(path), content);
}

TEST(SettingsTest, ValuesAreReadAsTheProfileFunctionsDid) {
  const struct {
    const char* line;
    void (*check)(const AppSettings&);
  } cases[] = {
      // A byte outside 0 to 255 keeps its default rather than its low bits (which would
      // be another class or format than the one written).
      {"OutputFormatClass=2", [](const AppSettings& s) { EXPECT_EQ(s.OutputFormatClass, 2); }},
      {"OutputFormatClass=255",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputFormatClass, 255); }},
      {"OutputFormatClass=257", [](const AppSettings& s) { EXPECT_EQ(s.OutputFormatClass, 0); }},
      {"OutputFormatClass=256", [](const AppSettings& s) { EXPECT_EQ(s.OutputFormatClass, 0); }},
      {"OutputDeviceFormat=300",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputDeviceFormat, 2); }},
      {"OutputAudioFormat=0x101",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputAudioFormat, 3); }},
      {"PreferYouTube1=-1", [](const AppSettings& s) { EXPECT_EQ(s.PreferYouTube1, 1); }},
      {"PreferYouTube18=0xFFFFFFFF",
       [](const AppSettings& s) { EXPECT_EQ(s.PreferYouTube18, 7); }},
      {"PlayASoundWhenFinished=2",
       [](const AppSettings& s) { EXPECT_TRUE(s.PlayASoundWhenFinished); }},
      {"PlayASoundWhenFinished=-1",
       [](const AppSettings& s) { EXPECT_TRUE(s.PlayASoundWhenFinished); }},
      {"PreferYouTubeQuality=0",
       [](const AppSettings& s) { EXPECT_FALSE(s.PreferYouTubeQuality); }},
      {"PreferYouTubeQuality=yes",  // not an integer: the current value (true) stays
       [](const AppSettings& s) { EXPECT_TRUE(s.PreferYouTubeQuality); }},
      {"OutputAVIPreset=0x1F", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 31); }},
      {"OutputAVIPreset=0XfF", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 255); }},
      {"OutputAVIPreset=0xFFFFFFFF",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, -1); }},
      {"OutputAVIPreset=0x", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 3); }},
      {"OutputAVIPreset=0x1G", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 3); }},
      {"OutputAVIPreset=12abc", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 3); }},
      {"OutputAVIPreset=", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 3); }},
      {"OutputAVIPreset=99999999999",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 3); }},
      {"OutputAVIPreset=-7", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, -7); }},
      {"outputavipreset = 4 ", [](const AppSettings& s) { EXPECT_EQ(s.OutputAVIPreset, 4); }},
      {"OutputFileDir=", [](const AppSettings& s) { EXPECT_EQ(s.OutputFileDir, ""); }},
      {"OutputFileDir=\" /media/x \"",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputFileDir, " /media/x "); }},
      {"OutputURLDir=/视频/下载/",
       [](const AppSettings& s) { EXPECT_EQ(s.OutputURLDir, "/视频/下载/"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    TempDir dir;
    const auto path = dir.write("s.dat", std::string("[System]\n") + c.line + "\n");
    AppSettings s = startUpDefaults();
    EXPECT_TRUE(SettingsStore(path.string()).LoadSettings(s));
    c.check(s);
  }
}

TEST(SettingsTest, BrokenFilesLeaveTheDefaults) {
  std::string everyValueMalformed = "[System]\n";
  for (const std::string& key : testsupport::ExpectedSystemKeys()) {
    // Texts have no malformed form; give them no value line at all.
    if (std::string(key).find("Dir") != std::string::npos) continue;
    everyValueMalformed += std::string(key) + "=not a number\n";
  }
  std::mt19937 random(3);
  std::string randomBytes(8192, '\0');
  for (char& b : randomBytes) b = static_cast<char>(random());

  for (const std::string& content : {everyValueMalformed, randomBytes, std::string()}) {
    TempDir dir;
    const auto path = dir.write("s.dat", content);
    AppSettings s = startUpDefaults();
    EXPECT_TRUE(SettingsStore(path.string()).LoadSettings(s));
    EXPECT_TRUE(sameSettings(s, startUpDefaults()));
    EXPECT_EQ(ReadFile(path), content);  // loading never writes an existing file
  }
}

TEST(SettingsTest, SavingKeepsOtherSectionsAndReadsBackExactly) {
  TempDir dir;
  const auto path = dir.write("s.dat",
                              "[Form]\nx=10\ny=20\nheight=560\nwidth=772\nmaximized=0\n\n"
                              "[System]\nOutputMP3Preset=3\nUnknownKey=kept\n\n"
                              "[FormLog]\nx=1\n");
  SettingsStore store(path.string());
  AppSettings s = startUpDefaults();
  s.LastOpenDir = " leading and trailing blanks ";
  s.OutputFileDir = "\"quoted\"";
  s.OutputURLDir = "/含 中文/";
  s.OutputFormatClass = 2;
  s.OutputiPadPreset = -1;
  s.ShutDownWhenFinished = true;
  s.PreferYouTube18 = 255;
  store.SaveSettings(s);

  const IniFile written = IniFile::Load(path.string());
  EXPECT_EQ(written.SectionNames(), (std::vector<std::string>{"Form", "System", "FormLog"}));
  EXPECT_EQ(written.Value("Form", "width"), "772");
  EXPECT_EQ(written.Value("FormLog", "x"), "1");
  EXPECT_EQ(written.Value("System", "UnknownKey"), "kept");
  // The key that was there stays first; the others follow in key order.
  const auto keys = written.Keys("System");
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(keys[0], "OutputMP3Preset");
  EXPECT_EQ(keys[1], "UnknownKey");
  EXPECT_EQ(keys[2], "LastOpenDir");

  AppSettings loaded;  // different start values: everything must come from the file
  loaded.OutputMP3Preset = 99;
  loaded.PreferYouTubeQuality = false;
  EXPECT_TRUE(store.LoadSettings(loaded));
  EXPECT_TRUE(sameSettings(loaded, s));
  EXPECT_EQ(loaded.LastOpenDir, " leading and trailing blanks ");
  EXPECT_EQ(loaded.OutputFileDir, "\"quoted\"");
}

TEST(SettingsTest, AFolderWithALineBreakCannotInjectKeys) {
  TempDir dir;
  const std::string path = dir.str() + "/s.dat";
  SettingsStore store(path);
  AppSettings s = startUpDefaults();
  store.SaveSettings(s);
  s.OutputFileDir = "/x\n[System]\nShutDownWhenFinished=1";
  store.SaveSettings(s);
  AppSettings loaded = startUpDefaults();
  store.LoadSettings(loaded);
  EXPECT_FALSE(loaded.ShutDownWhenFinished);
  EXPECT_EQ(loaded.OutputFileDir, "/home/u/Documents");  // the folder saved before stays
}

TEST(SettingsTest, AFileThatCannotBeWrittenIsReportedWithItsPath) {
  TempDir dir;
  const auto blocker = dir.write("not-a-folder", "x");
  const std::string path = (blocker / "~system2.dat").string();
  SettingsStore store(path);
  AppSettings s = startUpDefaults();
  const std::string expected = "Unable to write to " + path;
  try {
    store.LoadSettings(s);  // first run: the file is created, which fails
    ADD_FAILURE() << "no error on load";
  } catch (const AppError& e) {
    EXPECT_EQ(e.what(), expected);
  }
  try {
    store.SaveSettings(s);
    ADD_FAILURE() << "no error on save";
  } catch (const AppError& e) {
    EXPECT_EQ(e.what(), expected);
  }
  try {
    store.SaveWindowPlacement("Form", WindowPlacement{1, 2, 3, 4, false});
    ADD_FAILURE() << "no error on placement";
  } catch (const AppError& e) {
    EXPECT_EQ(e.what(), expected);
  }
  EXPECT_EQ(ReadFile(blocker), "x");
}

TEST(SettingsTest, AnUnreadableExistingFileIsNotOverwritten) {
  TempDir dir;
  // A folder where the file should be: its content cannot be read, so it is not replaced.
  const fs::path path = dir.path() / "s.dat";
  fs::create_directory(path);
  dir.write("s.dat/inside", "keep");
  SettingsStore store(path.string());
  AppSettings s = startUpDefaults();
  EXPECT_THROW(store.SaveSettings(s), AppError);
  EXPECT_EQ(ReadFile(path / "inside"), "keep");
}

TEST(SettingsTest, WindowPlacementRoundTripAndDefaults) {
  TempDir dir;
  const std::string path = dir.str() + "/s.dat";
  SettingsStore store(path);
  AppSettings s = startUpDefaults();
  store.SaveSettings(s);
  store.SaveWindowPlacement("Form", WindowPlacement{5000, -20, 560, 772, true});
  const std::string other = dir.str() + "/other.ini";
  store.SaveWindowPlacement("FormLog", WindowPlacement{1, 2, 3, 4, false}, other);

  const IniFile written = IniFile::Load(path);
  EXPECT_EQ(written.Keys("Form"),
            (std::vector<std::string>{"x", "y", "height", "width", "maximized"}));
  EXPECT_TRUE(written.HasSection("System"));  // the settings are still there
  EXPECT_FALSE(written.HasSection("FormLog"));

  const WindowPlacement current{7, 8, 9, 10, false};
  EXPECT_EQ(store.ReadWindowPlacement("Form", current),
            (WindowPlacement{5000, -20, 560, 772, true}));
  EXPECT_EQ(store.ReadWindowPlacement("FormLog", current, other),
            (WindowPlacement{1, 2, 3, 4, false}));
  // A section that is not there gives the window's own values, not maximized.
  EXPECT_EQ(store.ReadWindowPlacement("Nothing", WindowPlacement{7, 8, 9, 10, true}),
            (WindowPlacement{7, 8, 9, 10, false}));
  // Malformed values fall back one by one.
  const auto broken = dir.write("broken.ini", "[Form]\nx=abc\ny=0x10\nheight=\nmaximized=3\n");
  EXPECT_EQ(store.ReadWindowPlacement("Form", current, broken.string()),
            (WindowPlacement{7, 16, 9, 10, true}));
  EXPECT_EQ(store.ReadWindowPlacement("Form", current, dir.str() + "/missing.ini"),
            (WindowPlacement{7, 8, 9, 10, false}));
}

TEST(SettingsTest, PlacementsAreBoundedToTheScreen) {
  const struct {
    WindowPlacement stored;
    WindowPlacement bounded;
  } cases[] = {
      {{5000, 100, 560, 772, false}, {1148, 100, 560, 772, false}},  // off to the right
      {{100, 900, 560, 772, true}, {100, 520, 560, 772, true}},      // below the bottom
      {{-50, -10, 560, 772, false}, {0, 0, 560, 772, false}},        // above and left
      {{10, 10, 2000, 3000, false}, {0, 0, 1080, 1920, false}},      // larger than the screen
      {{2147483647, 2147483647, 560, 772, false}, {1148, 520, 560, 772, false}},
      {{-2147483647 - 1, 0, -2147483647 - 1, 772, false}, {0, 0, -2147483647 - 1, 772, false}},
      {{0, 0, 1080, 1920, false}, {0, 0, 1080, 1920, false}},  // exactly the screen
  };
  for (const auto& c : cases) {
    const WindowPlacement b = BoundPlacement(c.stored, 1920, 1080);
    EXPECT_EQ(b, c.bounded) << c.stored.x << "," << c.stored.y << " " << c.stored.width << "x"
                            << c.stored.height << " -> " << b.x << "," << b.y << " " << b.width
                            << "x" << b.height;
  }
}

TEST(SettingsTest, SettingsFolderUnderTheAppDataFolder) {
  TempDir dir;
  const std::string appData = dir.str() + "/config";
  fs::create_directory(appData);
  const struct {
    std::string title, folder;
  } cases[] = {
      {"Video Converter", appData + "/Video Converter/"},
      {"Audio/Video", appData + "/Audio Video/"},  // a slash becomes a blank
      {"", appData + "/"},                         // no title: the app-data folder itself
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SettingsFolder(appData, c.title), c.folder) << c.title;
    EXPECT_TRUE(fs::is_directory(c.folder)) << c.folder;
    EXPECT_EQ(SettingsFolder(appData + "/", c.title), c.folder) << c.title << " (trailing /)";
  }
  // Something that is not a folder in the way: the settings live in the app-data folder.
  dir.write("config/Blocked", "file");
  EXPECT_EQ(SettingsFolder(appData, "Blocked"), appData + "/");
  EXPECT_EQ(ReadFile(appData + "/Blocked"), "file");
  // An app-data folder that does not exist yet is made (a fresh account).
  EXPECT_EQ(SettingsFolder(dir.str() + "/fresh/.config", "T"), dir.str() + "/fresh/.config/T/");
  EXPECT_TRUE(fs::is_directory(dir.str() + "/fresh/.config/T"));
  // An app-data folder that cannot be made: its path is still the answer, and writing the
  // settings there later reports the failure.
  const auto blocker = dir.write("blocker", "x");
  EXPECT_EQ(SettingsFolder(blocker.string() + "/sub", "T"), blocker.string() + "/sub/");
}
