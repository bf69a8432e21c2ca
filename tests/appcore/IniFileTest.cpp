#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "appcore/AppError.h"
#include "appcore/FileBytes.h"
#include "appcore/IniFile.h"

namespace fs = std::filesystem;
using app::IniFile;

namespace {
std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

TEST(IniFileTest, ReadsLikeTheProfileFunctions) {
  const IniFile ini = IniFile::Parse(
      "\xEF\xBB\xBF"
      "; leading comment\r\n"
      "[System]\r\n"
      "  LastOpenDir = /home/u/Videos  \r\n"
      "Empty=\n"
      "Skin=1\n"
      "skin=2\n"  // the first of two equal keys counts
      "junk line without equals\n"
      "[ Form ]\n"
      "x=10=11\n");  // everything after the first "=" is the value
  EXPECT_EQ(ini.Value("system", "lastopendir"), "/home/u/Videos");
  EXPECT_EQ(ini.Value("SYSTEM", "Empty"), "");
  EXPECT_EQ(ini.Value("System", "SKIN"), "1");
  EXPECT_EQ(ini.Value("Form", "x"), "10=11");
  EXPECT_EQ(ini.Value("System", "missing"), std::nullopt);
  EXPECT_EQ(ini.Value("Nowhere", "x"), std::nullopt);
  EXPECT_EQ(ini.ReadString("System", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"System", "Form"}));
  // The comment before the first section is not a key of any section.
  EXPECT_EQ(ini.Keys("System"), (std::vector<std::string>{"LastOpenDir", "Empty", "Skin", "skin"}));
}

TEST(IniFileTest, WritingKeepsOrderAndForeignLines) {
  IniFile ini = IniFile::Parse(
      "# written by hand\n"
      "[Form]\n"
      "x=1\n"
      "\n"
      "[System]\n"
      "OutputMP3Preset=3\n"
      "; a remark\n"
      "\n");
  EXPECT_TRUE(ini.Write("system", "OutputMP3Preset", "4"));  // updated in place
  EXPECT_TRUE(ini.Write("System", "LastOpenDir", "/a"));     // appended after the remark
  EXPECT_TRUE(ini.Write("Form", "y", "2"));                  // before the blank line
  EXPECT_TRUE(ini.Write("FormLog", "x", "5"));               // a new section at the end
  EXPECT_EQ(ini.Serialize(),
            "# written by hand\n"
            "[Form]\n"
            "x=1\n"
            "y=2\n"
            "\n"
            "[System]\n"
            "OutputMP3Preset=4\n"
            "; a remark\n"
            "LastOpenDir=/a\n"
            "\n"
            "[FormLog]\n"
            "x=5\n");
  // What was written reads back the same after a round trip through text.
  const IniFile again = IniFile::Parse(ini.Serialize());
  EXPECT_EQ(again.Value("System", "OutputMP3Preset"), "4");
  EXPECT_EQ(again.Value("FormLog", "X"), "5");
}

TEST(IniFileTest, RefusesWhatWouldInjectOtherKeys) {
  IniFile ini;
  ASSERT_TRUE(ini.Write("System", "Dir", "/ok"));
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } refused[] = {
      {"System", "Dir", "/evil\n[System]\nSkin=9"},
      {"System", "Dir", "a\rb"},
      {"System", "A=B", "1"},
      {"System", "", "1"},
      {"Sys]tem", "Dir", "1"},
      {"Sys\ntem", "Dir", "1"},
      {"System", "[Form]", "1"},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(ini.Write(r.section, r.key, r.value)) << r.key << " / " << r.value;
  }
  EXPECT_EQ(ini.Serialize(), "[System]\nDir=/ok\n");
}

TEST(IniFileTest, RandomBytesParseWithoutHarm) {
  std::string bytes;
  uint32_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245 + 12345;
    bytes.push_back(static_cast<char>(state >> 16));
  }
  bytes += "\n[System]\nKey=value\n";
  const IniFile ini = IniFile::Parse(bytes);
  EXPECT_EQ(ini.Value("System", "Key"), "value");
  // Everything that was read is written back: nothing of a foreign file is dropped.
  EXPECT_EQ(IniFile::Parse(ini.Serialize()).Serialize(), ini.Serialize());
}

TEST(IniFileTest, LoadOfAMissingFileNamesFileAndReason) {
  testsupport::TempDir dir;
  const std::string path = dir.str() + "/none.ini";
  try {
    IniFile::Load(path);
    FAIL() << "no error";
  } catch (const app::AppError& e) {
    EXPECT_STREQ(e.what(),
                 ("Cannot open file \"" + path + "\". No such file or directory").c_str());
  }
  // A folder where a file is expected is reported the same way, not read as empty.
  EXPECT_THROW(IniFile::Load(dir.str()), app::AppError);
}

TEST(FileReplacingTest, WriteFailureLeavesTheOldFileWhole) {
  testsupport::TempDir dir;
  const fs::path file = dir.write("settings.ini", "[System]\nOld=1\n");
  // A file-size limit makes the write of the new content fail half-way, as a full disk does.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  try {
    app::WriteFileReplacing(file.string(), std::string(4096, 'n'));
  } catch (const app::AppError& e) {
    error = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(error, "Unable to write to " + file.string());
  EXPECT_EQ(testsupport::ReadFile(file), "[System]\nOld=1\n");
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"settings.ini"});  // no leftovers
}

TEST(FileReplacingTest, ReplacesKeepingModeAndFollowingLinks) {
  testsupport::TempDir dir;
  const fs::path real = dir.write("real.ini", "old");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  const fs::path link = dir.path() / "link.ini";
  fs::create_symlink(real, link);

  app::WriteFileReplacing(link.string(), "new content");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(testsupport::ReadFile(real), "new content");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"link.ini", "real.ini"}));
}

TEST(FileReplacingTest, AFolderThatCannotHoldFilesIsReported) {
  testsupport::TempDir dir;
  const fs::path blocker = dir.write("plain-file", "x");
  const std::string path = (blocker / "settings.ini").string();
  try {
    app::WriteFileReplacing(path, "data");
    FAIL() << "no error";
  } catch (const app::AppError& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + path).c_str());
  }
  EXPECT_EQ(testsupport::ReadFile(blocker), "x");
}

// What the fuzzing of this reader turned up: every text reads back the same once it has
// been written, and a name is found as it was written.
TEST(IniFileTest, ATextReadsBackAsItWasWritten) {
  const struct {
    std::string text;
    std::string serialized;
    std::string value;  // of [System] Key
  } cases[] = {
      {"junk\r\r\n[System]\r\r\nKey=v\r\r\n", "junk\n[System]\nKey=v\n", "v"},
      {"[System]\nKey=v\r\t\n", "[System]\nKey=v\n", "v"},
      {"[System]\nKey\r=\r v \r\n", "[System]\nKey=v\n", "v"},
      {"[System]\nKey=a\rb\n", "[System]\nKey=a\rb\n", "a\rb"},
      {"[System]\r \nKey=v\n", "[System]\r \nKey=v\n", "v"},
      {"\xEF\xBB\xBF\xEF\xBB\xBF[System]\nKey=v", "[System]\nKey=v\n", "v"},
      // A mark behind blanks would stand first once the line is written trimmed.
      {"\t\xEF\xBB\xBF\t[Odd = x\n[System]\nKey=v", "[Odd = x\n[System]\nKey=v\n", "v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const IniFile ini = IniFile::Parse(c.text);
    EXPECT_EQ(ini.Serialize(), c.serialized);
    EXPECT_EQ(IniFile::Parse(ini.Serialize()).Serialize(), ini.Serialize());
    EXPECT_EQ(ini.Value("System", "Key"), c.value);
  }
  IniFile ini;
  ASSERT_TRUE(ini.Write(" \tNew Section ", "  Key\t", " value "));
  EXPECT_EQ(ini.Value(" \tNew Section ", "  Key\t"), "value");
  EXPECT_EQ(ini.Value("new section", "key"), "value");
  EXPECT_TRUE(ini.HasSection(" New Section"));
  EXPECT_EQ(ini.Keys("New Section "), std::vector<std::string>{"Key"});
}
