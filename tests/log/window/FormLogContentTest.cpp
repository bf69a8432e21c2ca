// What the log holds: appended lines and engine events, lines from other threads,
// and deleting the log.
#include <QScrollBar>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "FormLogFixture.h"
#include "TestSupport.h"

using logwindow::TFormLog;
using logwindowtest::Button;
using logwindowtest::Click;
using logwindowtest::Memo;
using logwindowtest::Settle;
using logwindowtest::ShowAndWait;
using Lines = std::vector<std::string>;

TEST(FormLogContent, LinesLoggedWhileHiddenAreThereWhenShown) {
  TFormLog form;
  ASSERT_FALSE(form.isVisible());
  // An empty first line is a line of its own, not "nothing yet".
  form.AppendLine("");
  form.AppendLine("Load file error: /media/missing.avi");
  form.AppendLine("添加文件: 视频.mp4");
  form.AppendLine("");
  const Lines expected = {"", "Load file error: /media/missing.avi", "添加文件: 视频.mp4", ""};
  EXPECT_EQ(form.Lines(), expected);

  ShowAndWait(form);
  EXPECT_EQ(form.Lines(), expected);
  EXPECT_EQ(Memo(form)->toPlainText().toStdString(),
            "\nLoad file error: /media/missing.avi\n添加文件: 视频.mp4\n");
}

TEST(FormLogContent, EngineEventsReadHashThreadDotLevelColonMessage) {
  struct Case {
    uint64_t thread;
    int level;
    std::string message;
    std::string expected;
  };
  const uint64_t max = std::numeric_limits<uint64_t>::max();
  const std::vector<Case> cases = {
      {1234, 3, "msg", "#1234.3: msg"},
      {0, 0, "quiet", "#0.0: quiet"},
      {1, 1, "panic", "#1.1: panic"},
      {77, 2, "fatal", "#77.2: fatal"},
      {42, 4, "无法打开编码器", "#42.4: 无法打开编码器"},
      {9, 5, "info", "#9.5: info"},
      {10, 6, "verbose", "#10.6: verbose"},
      // Large ids must stay unsigned: no sign, no wrap, no hexadecimal.
      {uint64_t{1} << 63, 7, "debug", "#9223372036854775808.7: debug"},
      {max, 7, "last", "#18446744073709551615.7: last"},
      {4294967296ull, 3, "", "#4294967296.3: "},
      {5, 3, "[mp3 @ 0x55d0c0a3b2c0] Header missing",
       "#5.3: [mp3 @ 0x55d0c0a3b2c0] Header missing"},
  };
  TFormLog form;
  Lines expected;
  for (const Case& c : cases) {
    form.AppendLogEvent(c.thread, c.level, c.message);
    expected.push_back(c.expected);
    ASSERT_FALSE(form.Lines().empty());
    EXPECT_EQ(form.Lines().back(), c.expected) << "thread " << c.thread << " level " << c.level;
  }
  EXPECT_EQ(form.Lines(), expected);  // arrival order kept
}

TEST(FormLogContent, BrokenInputBecomesReadableLinesWithoutLosingAnything) {
  struct Case {
    std::string input;
    Lines expected;
  };
  const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD
  const std::vector<Case> cases = {
      // Line breaks inside one text start new lines, whatever their kind.
      {"first\nsecond", {"first", "second"}},
      {"dos\r\nline", {"dos", "line"}},
      {"old\rmac", {"old", "mac"}},
      {"a\n\nb", {"a", "", "b"}},
      // Bytes that are not UTF-8 show as replacement characters; the rest stays.
      {"\xff\xfeok", {replacement + replacement + "ok"}},
      {"bad \xc3(tail", {"bad " + replacement + "(tail"}},
  };
  for (const Case& c : cases) {
    TFormLog form;
    form.AppendLine("before");
    form.AppendLine(c.input);
    form.AppendLine("after");
    Lines expected = {"before"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.push_back("after");
    EXPECT_EQ(form.Lines(), expected) << c.input;
  }
}

TEST(FormLogContent, LinesFromAnotherThreadArriveInOrderOnTheWindowsThread) {
  TFormLog form;
  form.AppendLine("main 1");
  std::thread worker([&form] {
    for (int i = 0; i < 200; ++i) form.AppendLine("worker " + std::to_string(i));
  });
  worker.join();
  // Nothing may have touched the text area yet; the lines wait in the event queue.
  EXPECT_EQ(form.Lines(), Lines{"main 1"});
  Settle();
  const Lines lines = form.Lines();
  ASSERT_EQ(lines.size(), 201u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(lines[i + 1], "worker " + std::to_string(i));
}

TEST(FormLogContent, NewestLineStaysInViewUnlessTheUserScrolledAway) {
  TFormLog form;
  ShowAndWait(form);
  for (int i = 0; i < 300; ++i) form.AppendLine("line " + std::to_string(i));
  Settle();
  QScrollBar* bar = Memo(form)->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  bar->setValue(10);
  for (int i = 0; i < 50; ++i) form.AppendLine("more " + std::to_string(i));
  Settle();
  EXPECT_EQ(bar->value(), 10);
}

TEST(FormLogDelete, AnsweredNoKeepsEverything) {
  testsupport::ScriptedMessages messages;
  messages.answer(core::MessageAnswer::No);
  TFormLog form;
  form.AppendLine("one");
  form.AppendLogEvent(3, 3, "two");
  ShowAndWait(form);
  Click(Button(form, "ButtonDelete"));

  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].kind, core::MessageKind::Confirmation);
  EXPECT_EQ(messages.shown[0].caption, "Delete log?");
  EXPECT_EQ(messages.shown[0].text, "Really delete log file?");
  EXPECT_EQ(form.Lines(), (Lines{"one", "#3.3: two"}));
  EXPECT_TRUE(Button(form, "ButtonSave")->isEnabled());
  EXPECT_TRUE(form.isVisible());
}

TEST(FormLogDelete, AnsweredYesClearsAndSaveStaysDisabledAfterNewLines) {
  testsupport::ScriptedMessages messages;
  messages.answer(core::MessageAnswer::Yes);
  TFormLog form;
  int chooserCalls = 0;
  form.ChooseSaveFileName = [&chooserCalls] {
    ++chooserCalls;
    return std::string();
  };
  form.AppendLine("secret");
  form.AppendLine("more");
  ShowAndWait(form);
  Click(Button(form, "ButtonDelete"));

  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(form.Lines().empty());
  EXPECT_TRUE(Memo(form)->toPlainText().isEmpty());
  QPushButton* save = Button(form, "ButtonSave");
  EXPECT_FALSE(save->isEnabled());

  // New lines come in and the window is hidden and shown again: still no saving.
  form.AppendLine("");
  form.AppendLogEvent(8, 4, "after delete");
  form.hide();
  ShowAndWait(form);
  EXPECT_EQ(form.Lines(), (Lines{"", "#8.4: after delete"}));
  EXPECT_FALSE(save->isEnabled());
  Click(save);
  EXPECT_EQ(chooserCalls, 0);

  // A second delete still works and asks again.
  messages.answer(core::MessageAnswer::Yes);
  Click(Button(form, "ButtonDelete"));
  EXPECT_EQ(messages.shown.size(), 2u);
  EXPECT_TRUE(form.Lines().empty());
}
