// Saving the log: the bytes of the file, cancelling, and writes that fail.
#include <filesystem>
#include <string>
#include <vector>

#include "FormLogFixture.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using logwindow::TFormLog;
using logwindowtest::Button;
using logwindowtest::Click;
using logwindowtest::ShowAndWait;
using Lines = std::vector<std::string>;

namespace {

// Appends the lines, saves through the Save button into `path` and returns the
// file's bytes.
std::string SaveThroughButton(const Lines& lines, const fs::path& path) {
  TFormLog form;
  for (const std::string& line : lines) form.AppendLine(line);
  form.ChooseSaveFileName = [path] { return path.string(); };
  ShowAndWait(form);
  Click(Button(form, "ButtonSave"));
  EXPECT_TRUE(fs::is_regular_file(path)) << path;
  return testsupport::ReadFile(path);
}

}  // namespace

TEST(FormLogSave, WritesUtf8LinesEachEndedByCrLf) {
  struct Case {
    const char* name;
    Lines lines;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"two lines", {"a", "b"}, "a\r\nb\r\n"},
      {"empty log", {}, ""},
      {"one empty line", {""}, "\r\n"},
      {"blank lines kept", {"", "x", ""}, "\r\nx\r\n\r\n"},
      {"chinese",
       {"#1.3: 无法打开文件", "日志"},
       "#1.3: \xE6\x97\xA0\xE6\xB3\x95\xE6\x89\x93\xE5\xBC\x80\xE6\x96\x87\xE4\xBB\xB6\r\n"
       "\xE6\x97\xA5\xE5\xBF\x97\r\n"},
      // Line feeds inside an entry never reach the file bare.
      {"inner line feed", {"p\nq", "r\r\ns"}, "p\r\nq\r\nr\r\ns\r\n"},
      {"not utf-8", {"\xff!"}, "\xEF\xBF\xBD!\r\n"},
      {"trailing blanks kept", {"  indented  "}, "  indented  \r\n"},
  };
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    const fs::path path = dir.path() / (std::string(c.name) + ".log");
    EXPECT_EQ(SaveThroughButton(c.lines, path), c.bytes) << c.name;
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FormLogSave, ReplacesAnExistingFileCompletely) {
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  const fs::path longer = dir.write("old.log", std::string(5000, 'z') + "\r\n");
  EXPECT_EQ(SaveThroughButton({"new"}, longer), "new\r\n");
  const fs::path emptied = dir.write("emptied.log", "old text\r\n");
  EXPECT_EQ(SaveThroughButton({}, emptied), "");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FormLogSave, CancelledChooserWritesNothing) {
  testsupport::ScriptedMessages messages;
  testsupport::TempDir dir;
  TFormLog form;
  form.AppendLine("kept");
  int calls = 0;
  form.ChooseSaveFileName = [&calls] {
    ++calls;
    return std::string();
  };
  ShowAndWait(form);
  Click(Button(form, "ButtonSave"));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(form.Lines(), Lines{"kept"});
  // A window without any chooser treats Save as cancelled rather than failing.
  form.ChooseSaveFileName = nullptr;
  Click(Button(form, "ButtonSave"));
  EXPECT_TRUE(messages.shown.empty());
}

TEST(FormLogSave, FailedWriteIsReportedAndTheLogIsKept) {
  testsupport::TempDir dir;
  dir.write("plain.txt", "a file, not a folder");
  fs::create_directory(dir.path() / "taken.log");
  struct Case {
    const char* name;
    fs::path path;
  };
  const std::vector<Case> cases = {
      {"folder gone", dir.path() / "gone" / "x.log"},
      {"path is a folder", dir.path() / "taken.log"},
      {"parent is a file", dir.path() / "plain.txt" / "x.log"},
  };
  const Lines lines = {"#1.3: first", "第二行"};
  for (const Case& c : cases) {
    testsupport::ScriptedMessages messages;
    TFormLog form;
    for (const std::string& line : lines) form.AppendLine(line);
    fs::path target = c.path;
    form.ChooseSaveFileName = [&target] { return target.string(); };
    ShowAndWait(form);
    Click(Button(form, "ButtonSave"));

    ASSERT_EQ(messages.shown.size(), 1u) << c.name;
    EXPECT_EQ(messages.shown[0].kind, core::MessageKind::Error) << c.name;
    EXPECT_NE(messages.shown[0].text.find(c.path.string()), std::string::npos)
        << c.name << ": " << messages.shown[0].text;
    EXPECT_EQ(form.Lines(), lines) << c.name;
    EXPECT_TRUE(Button(form, "ButtonSave")->isEnabled()) << c.name;
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken.log"));
    EXPECT_EQ(testsupport::ReadFile(dir.path() / "plain.txt"), "a file, not a folder");

    // Nothing was lost: the next save to a good place holds the whole log.
    target = dir.path() / (std::string(c.name) + " retry.log");
    Click(Button(form, "ButtonSave"));
    EXPECT_EQ(messages.shown.size(), 1u) << c.name;
    EXPECT_EQ(testsupport::ReadFile(target), "#1.3: first\r\n第二行\r\n") << c.name;
  }
}
