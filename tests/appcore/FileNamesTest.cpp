#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "appcore/FileNames.h"

namespace fs = std::filesystem;
using namespace app;

TEST(FileNamesTest, TrailingSeparatorIsAppendedOnlyWhenMissing) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"/", "/"},                      // a root keeps its single separator
      {"/home/user", "/home/user/"},   // a folder ending with a letter
      {"/home/user/", "/home/user/"},  // already there: not doubled
      {"", "/"},                       // empty gives the separator alone
      {"C:\\data\\", "C:\\data\\/"},   // a backslash is not a separator here
      {"relative", "relative/"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithTrailingSeparator(c.in), c.out) << c.in;
}

TEST(FileNamesTest, FileNameCheckAndSanitising) {
  const struct {
    std::string name;
    bool valid;
    std::string sanitized;
  } cases[] = {
      {"Title: What? Now", false, "Title_ What_ Now"},
      {"", false, ""},  // empty stays empty
      {"a\\b/c:d*e?f\"g<h>i|j", false, "a_b_c_d_e_f_g_h_i_j"},
      {"plain name.mp4", true, "plain name.mp4"},
      {"100% 中文 (1)", true, "100% 中文 (1)"},  // UTF-8 bytes are never touched
      {"::", false, "__"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidFileName(c.name), c.valid) << c.name;
    EXPECT_EQ(SanitizeFileName(c.name), c.sanitized) << c.name;
  }
}

TEST(FileNamesTest, ExtensionIsTakenFromTheFileNamePartOnly) {
  const struct {
    std::string path, stripped, ext;
  } cases[] = {
      {"a.mp4", "a", ".mp4"},
      {"archive.tar.gz", "archive.tar", ".gz"},
      {"noext", "noext", ""},
      {"/music/album.v2/track", "/music/album.v2/track", ""},  // a dot in a folder is no extension
      {"/music/album.v2/track.flac", "/music/album.v2/track", ".flac"},
      {"name.", "name", "."},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StripExtension(c.path), c.stripped) << c.path;
    EXPECT_EQ(ExtractExtension(c.path), c.ext) << c.path;
  }
}

TEST(FileNamesTest, UniqueFileNameSkipsTakenNames) {
  testsupport::TempDir dir;
  dir.write("a.mp4", "x");
  dir.write("a(1).mp4", "x");
  dir.write("clip", "x");
  dir.write("100%d.mp3", "x");
  fs::create_directory(dir.path() / "folder.mp4");  // a folder of that name is taken too
  fs::create_symlink(dir.path() / "missing-target", dir.path() / "link.mp4");

  const struct {
    const char* name;
    const char* unique;
  } cases[] = {
      {"a.mp4", "a(2).mp4"},           {"b.mp4", "b.mp4"},          {"clip", "clip(1)"},
      {"100%d.mp3", "100%d(1).mp3"},  // the name's characters are used literally
      {"folder.mp4", "folder(1).mp4"}, {"link.mp4", "link(1).mp4"},  // a dangling link would
                                                                     // redirect the new file
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UniqueFileName(c.name, dir.str()), c.unique) << c.name;
    EXPECT_EQ(UniqueFileName(c.name, dir.str() + "/"), c.unique) << c.name << " (trailing /)";
  }
}

TEST(FileNamesTest, UniqueFileNameStopsAtTheCounterLimit) {
  testsupport::TempDir dir;
  std::ofstream(dir.path() / "x.ts").put('x');
  for (int n = 1; n <= 32767; ++n) {
    std::ofstream(dir.path() / ("x(" + std::to_string(n) + ").ts"));
  }
  EXPECT_EQ(UniqueFileName("x.ts", dir.str()), "x(32768).ts");
  // With the last counter taken as well, the search still ends there instead of looping on.
  std::ofstream(dir.path() / "x(32768).ts");
  EXPECT_EQ(UniqueFileName("x.ts", dir.str()), "x(32768).ts");
}
