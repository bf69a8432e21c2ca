// The output folder is made ready before a run: made when missing, refused when it is a
// file or cannot take a file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "convert/OutputFolder.h"

namespace fs = std::filesystem;

namespace convert {
namespace {

TEST(OutputFolder, MadeWhenMissingAndRefusedWhenItCannotTakeAFile) {
  testsupport::TempDir dir;
  const fs::path root = dir.path();
  std::ofstream(root / "a-file") << "keep me";
  fs::create_directories(root / "locked");
  ::chmod((root / "locked").c_str(), 0555);
  struct Case {
    std::string folder;
    bool available;
  };
  std::vector<Case> cases = {
      {root.string(), true},
      {(root / "new" / "two" / "three").string() + "/", true},
      {(root / "名字 带空格 'quoted'").string() + "/", true},
      {"", false},
      {(root / "a-file").string(), false},
      {(root / "a-file" / "below").string() + "/", false},
      // The superuser writes wherever the bits say no, but never into /proc.
      {"/proc/self/", false},
      {"/proc/self/new/", false},
  };
  if (geteuid() != 0) cases.push_back({(root / "locked").string() + "/", false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(PrepareOutputFolder(c.folder), c.available);
    if (c.available) {
      EXPECT_TRUE(fs::is_directory(c.folder));
    }
  }
  // Nothing is left behind, and the file in the way is untouched.
  EXPECT_TRUE(fs::is_empty(root / "new" / "two" / "three"));
  std::ifstream in(root / "a-file");
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
  ::chmod((root / "locked").c_str(), 0755);
}

}  // namespace
}  // namespace convert
