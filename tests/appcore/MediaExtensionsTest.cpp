#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "appcore/MediaExtensions.h"

namespace fs = std::filesystem;
using namespace app;

TEST(MediaExtensionsTest, MediaExtensionsNeedTheirDotAndIgnoreCase) {
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
