#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "app/CommonUtils.h"

namespace fs = std::filesystem;
using namespace app;

TEST(CommonUtilsTest, TrailingSeparatorIsAppendedOnlyWhenMissing) {
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

TEST(CommonUtilsTest, MediaExtensionsNeedTheirDotAndIgnoreCase) {
  const struct {
    const char* ext;
    bool media;
  } cases[] = {
      {".MP3", true},   {".mp3", true}, {".Mp4", true}, {"mp3", false},   {".webm", false},
      {".mpeg", false}, {"", false},    {".", false},   {".mp3 ", false}, {".rmvb", true},
      {".tp", true},    {".swf", true}, {".3GP", true}, {"..mp3", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMediaExtension(c.ext), c.media) << c.ext;
  // Every listed extension is accepted in upper case too, and the list has no repeats.
  for (const auto ext : kMediaExtensions) {
    std::string upper(ext);
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(IsMediaExtension(upper)) << upper;
    EXPECT_EQ(std::count(kMediaExtensions.begin(), kMediaExtensions.end(), ext), 1) << ext;
  }
}

TEST(CommonUtilsTest, TimeTexts) {
  const struct {
    int64_t us;
    const char* text;
  } micro[] = {
      {3723004000, "01:02:03.004"},
      {0, "00:00:00.000"},
      {360000000000, "100:00:00.000"},  // hours are not bounded
      {999, "00:00:00.000"},            // below a millisecond
      {59999999, "00:00:59.999"},       // milliseconds truncate, never round up to 60 s
      {INT64_C(36000000000000000), "10000000:00:00.000"},  // far beyond 32 bits of seconds
  };
  for (const auto& c : micro) EXPECT_EQ(FormatMicroseconds(c.us), c.text) << c.us;

  const struct {
    int64_t s;
    const char* text;
  } seconds[] = {{59, "00:00:59"},
                 {3600, "01:00:00"},
                 {0, "00:00:00"},
                 {3599, "00:59:59"},
                 {360000, "100:00:00"}};
  for (const auto& c : seconds) EXPECT_EQ(FormatSeconds(c.s), c.text) << c.s;
}

TEST(CommonUtilsTest, FileNameCheckAndSanitising) {
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

TEST(CommonUtilsTest, ExtensionIsTakenFromTheFileNamePartOnly) {
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

TEST(CommonUtilsTest, UniqueFileNameSkipsTakenNames) {
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

TEST(CommonUtilsTest, UniqueFileNameStopsAtTheCounterLimit) {
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

TEST(CommonUtilsTest, GridCellsFillRowsLeftToRight) {
  // Width 529, margins 5 (top) and 10 (left), cells 62 x 57, gaps 3 (vertical), 2 (horizontal):
  // eight columns.
  const auto cell = [](int index) { return GridCellRect(529, 5, 10, index, 62, 57, 3, 2); };
  EXPECT_EQ(cell(0), (Rect{10, 5, 74, 65}));
  EXPECT_EQ(cell(7), (Rect{458, 5, 522, 65}));
  EXPECT_EQ(cell(8), (Rect{10, 65, 74, 125}));
  // A container narrower than one cell still has one column.
  EXPECT_EQ(GridCellRect(30, 0, 0, 2, 62, 57, 0, 0), (Rect{0, 114, 62, 171}));
}
