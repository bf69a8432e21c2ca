#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "download/AddressList.h"

using namespace download;

namespace {
const std::string A = "http://www.youtube.com/watch?v=aaa";
const std::string B = "http://www.youtube.com/watch?v=bbb";
const std::string C = "https://youtube.com/watch?v=ccc";
}  // namespace

TEST(AddressListTest, AddressTest) {
  const struct {
    const char* text;
    bool video;
  } cases[] = {
      {"http://www.youtube.com/watch?v=x", true},
      {"HTTPS://WWW.YOUTUBE.COM/WATCH?V=X", true},
      {"http://www.youtube.com/user/channel", true},  // any page of the service
      {"youtube.com/watch?v=x", false},               // no "http"
      {"http://vimeo.com/123", false},
      {"see youtube.com then http", true},  // nothing else is tested
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsVideoAddress(c.text, "youtube.com"), c.video) << c.text;
  EXPECT_TRUE(IsVideoAddress("http://127.0.0.1:8080/watch?v=1", "127.0.0.1:8080"));
  EXPECT_FALSE(IsVideoAddress("http://www.youtube.com/watch?v=1", "127.0.0.1:8080"));
}

TEST(AddressListTest, PastedTextSplitsIntoLines) {
  const struct {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"\r\n\r\na\n\n\nb\r\n", {"a", "b"}},
      {"  a  \n b", {"  a  ", " b"}},  // not trimmed
      {"x \"one\ntwo\" y\nz", {"x \"one\ntwo\" y", "z"}},
      {"'a\r\nb' c\n\"d\"", {"'a\r\nb' c", "\"d\""}},
      {"it's\nhere", {"it's", "here"}},  // a lone quote opens nothing
      {"\"a'\nb\"\nc", {"\"a'\nb\"", "c"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitPastedText(c.text), c.lines) << c.text;
}

TEST(AddressListTest, RefusedLinesAskAndCancelStopsThePaste) {
  const std::string text = A + "\nnot an address\n" + C + "\n";
  struct Case {
    const char* name;
    bool answer;
    std::vector<std::string> entries;
  } cases[] = {
      {"OK goes on", true, {A, C}},
      {"Cancel stops", false, {A}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddressList list;
    std::vector<std::string> prompts;
    list.Paste(text, [&](const std::string& p) {
      prompts.push_back(p);
      return c.answer;
    });
    EXPECT_EQ(list.Entries(), c.entries);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "not an address\n\r\n\r这不是一个YouTube视频链接。");
  }
}

TEST(AddressListTest, DuplicatesAreRefusedExactly) {
  AddressList list;
  std::vector<std::string> prompts;
  auto ok = [&](const std::string& p) {
    prompts.push_back(p);
    return true;
  };
  // The same address twice in one paste: added once, refused once.
  EXPECT_EQ(list.Paste(A + "\n" + A, ok), 1);
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0], A + "\n\r\n\r这段视频已在下载列表中。");
  // A later paste of it is refused too; a letter-case variant is a new entry.
  std::string upper = A;
  upper[7] = 'W';
  EXPECT_EQ(list.Paste(A + "\n" + upper, ok), 1);
  EXPECT_EQ(list.Entries(), (std::vector<std::string>{A, upper}));
  EXPECT_EQ(prompts.size(), 2u);
}

TEST(AddressListTest, RemoveSelectsTheEntryAtTheLowestRemovedRow) {
  const struct {
    const char* name;
    std::vector<int> rows;
    std::vector<std::string> left;
    int selected;
  } cases[] = {
      {"the last two", {2, 3}, {A, B}, 1},
      {"the first", {0}, {B, C, "http://youtube.com/d"}, 0},
      {"middle and last", {3, 1}, {A, C}, 1},
      {"everything", {0, 1, 2, 3}, {}, -1},
      {"nothing selected", {}, {A, B, C, "http://youtube.com/d"}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AddressList list;
    list.Paste(A + "\n" + B + "\n" + C + "\nhttp://youtube.com/d", [](const std::string&) {
      return true;
    });
    EXPECT_EQ(list.Remove(c.rows), c.selected);
    EXPECT_EQ(list.Entries(), c.left);
  }
}

TEST(AddressListTest, TheFolderIsCreatedWithItsParentsOrRefused) {
  testsupport::TempDir dir;
  std::string folder = dir.str() + "/a/b/c";
  EXPECT_TRUE(PrepareDownloadFolder(folder));
  EXPECT_EQ(folder, dir.str() + "/a/b/c/");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  // A file where a folder should be cannot become one.
  dir.write("file", "x");
  std::string blocked = dir.str() + "/file/sub";
  EXPECT_FALSE(PrepareDownloadFolder(blocked));
  EXPECT_EQ(blocked, dir.str() + "/file/sub/");
}
