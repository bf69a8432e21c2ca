// The wizard's page state machine, driven without a window: every transition with its
// question or message, the captions on every page, and what reaches the pages.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "convert/WizardFlow.h"

namespace convert {
namespace {

using core::MessageAnswer;
using P = WizardPage;

const char* Name(WizardPage p) {
  static const char* const names[] = {"Mode",  "Step1", "Step2", "Step3",
                                      "Step4", "Step5", "Step6", "Step7"};
  return names[static_cast<int>(p)];
}

// Records every call in order; its answers are set by the test.
class RecordingHost : public WizardHost {
 public:
  int tasks = 0;
  bool folderOk = true;
  bool downloadChosen = false;
  bool convertChosen = false;
  int addresses = 0;
  bool downloadFolderOk = true;
  std::vector<std::string> calls;
  PageCaptions shownCaptions;
  WizardPage shownPage = P::Step1;

  void ShowPage(WizardPage page, const PageCaptions& captions) override {
    calls.push_back(std::string("Show ") + Name(page));
    shownPage = page;
    shownCaptions = captions;
  }
  int TaskCount() override { return tasks; }
  void ClearTasks() override {
    calls.push_back("ClearTasks");
    tasks = 0;
  }
  void ShowSelection() override { calls.push_back("ShowSelection"); }
  void ReadSelection() override { calls.push_back("ReadSelection"); }
  bool OutputFolderAvailable() override {
    calls.push_back("OutputFolderAvailable");
    return folderOk;
  }
  void ProcessPendingEvents() override {
    calls.push_back("ProcessPendingEvents");
    // Once: the events are handled then.
    if (auto events = std::exchange(pendingEvents, nullptr)) events();
  }
  // What the events let through before step 3 shows do.
  std::function<void()> pendingEvents;
  void PrepareRunPage() override { calls.push_back("PrepareRunPage"); }
  void StartRun() override { calls.push_back("StartRun"); }
  void CancelRun() override { calls.push_back("CancelRun"); }
  void ClearConversionList() override { calls.push_back("ClearConversionList"); }
  void CloseWindow() override { calls.push_back("CloseWindow"); }
  bool DownloadChosen() override { return downloadChosen; }
  bool ConvertChosen() override { return convertChosen; }
  void ShowDownloadSettings() override { calls.push_back("ShowDownloadSettings"); }
  void ReadDownloadSettings() override { calls.push_back("ReadDownloadSettings"); }
  int AddressCount() override { return addresses; }
  bool DownloadFolderAvailable() override {
    calls.push_back("DownloadFolderAvailable");
    return downloadFolderOk;
  }
  void ClearAddressList() override {
    calls.push_back("ClearAddressList");
    addresses = 0;
  }
  void StartDownloadRun() override { calls.push_back("StartDownloadRun"); }
  void AbortDownloadRun() override { calls.push_back("AbortDownloadRun"); }
  void ClearDownloadList() override { calls.push_back("ClearDownloadList"); }
};

// What the title line and the buttons read on each page, as a person sees them.
PageCaptions Expected(WizardPage page, bool download, bool merge) {
  switch (page) {
    case P::Mode:
      return {"欢迎到Wizconv Test！你想做什么？", "下步", true, false, "退出"};
    case P::Step1:
      return {"选择要转换的文件。使用“上移”和“下移”更改顺序。", "下步", true, download,
              download ? "取消" : "退出"};
    case P::Step2:
      return {"选择输出模式并指定输出文件路径。", merge ? "现在加入" : "转换", true, true, "取消"};
    case P::Step3:
      return {"转换信息。", "下步", false, false, "取消"};
    case P::Step4:
      return {"转换完成。", "完成", true, false, "退出"};
    case P::Step5:
      return {"从您的浏览器地址栏复制一个YouTube链接，粘贴到此处", "下载", true, true, "取消"};
    case P::Step6:
      return {"下载信息。", "下步", false, false, "取消"};
    case P::Step7:
      return {"下载完成。", "完成", true, false, "退出"};
  }
  return {};
}

void ExpectCaptions(const PageCaptions& shown, WizardPage page, bool download, bool merge) {
  const PageCaptions want = Expected(page, download, merge);
  EXPECT_EQ(shown.title, want.title) << Name(page);
  EXPECT_EQ(shown.next, want.next) << Name(page);
  EXPECT_EQ(shown.nextEnabled, want.nextEnabled) << Name(page);
  EXPECT_EQ(shown.backEnabled, want.backEnabled) << Name(page);
  EXPECT_EQ(shown.exit, want.exit) << Name(page);
}

// Reaches `page` the way a person does, then forgets what that took.
void Reach(WizardFlow& flow, RecordingHost& host, testsupport::ScriptedMessages& messages,
           WizardPage page) {
  const bool download = flow.Download();
  const int tasks = host.tasks, addresses = host.addresses;
  const bool folderOk = host.folderOk, downloadFolderOk = host.downloadFolderOk;
  host.tasks = 1;
  host.addresses = 1;
  host.folderOk = host.downloadFolderOk = true;
  flow.GoToStartPage();
  auto toStep1 = [&] {
    if (!download) return;
    host.downloadChosen = false;
    host.convertChosen = true;
    flow.Next();
  };
  switch (page) {
    case P::Mode:
      break;
    case P::Step1:
      toStep1();
      break;
    case P::Step2:
    case P::Step3:
    case P::Step4:
      toStep1();
      flow.Next();
      if (page != P::Step2) flow.Next();
      if (page == P::Step4) flow.RunEnded();
      break;
    case P::Step5:
    case P::Step6:
    case P::Step7:
      host.downloadChosen = true;
      flow.Next();
      if (page != P::Step5) flow.Next();
      if (page == P::Step7) flow.DownloadRunEnded();
      break;
  }
  ASSERT_EQ(flow.Page(), page) << Name(page);
  host.tasks = tasks;
  host.addresses = addresses;
  host.folderOk = folderOk;
  host.downloadFolderOk = downloadFolderOk;
  host.downloadChosen = host.convertChosen = false;
  host.calls.clear();
  messages.shown.clear();
}

enum class Event { Next, Back, Exit };
const char* Name(Event e) { return e == Event::Next ? "Next" : e == Event::Back ? "Back" : "Exit"; }

struct Transition {
  bool download;
  WizardPage from;
  Event event;
  std::vector<MessageAnswer> answers;
  // Host state before the event.
  int tasks = 1;
  bool folderOk = true;
  int choice = 0;  // on the mode page: 1 download, 2 convert, 0 neither
  int addresses = 1;
  // What follows.
  WizardPage to;
  std::vector<std::string> messages;  // texts shown, in order
  std::vector<std::string> calls;
};

const MessageAnswer Yes = MessageAnswer::Yes;
const MessageAnswer No = MessageAnswer::No;

TEST(WizardFlow, EveryTransitionWithItsQuestionsAndCaptions) {
  const std::string noFolder = "无法创建目录！请检查输出文件夹格式是否正确！";
  // clang-format off
  const std::vector<Transition> table = {
    // The conversion pages of an edition without downloads.
    {false, P::Step1, Event::Next, {}, 1, true, 0, 1, P::Step2, {}, {"Show Step2", "ShowSelection"}},
    {false, P::Step1, Event::Next, {}, 0, true, 0, 1, P::Step1, {"请添加你要转换的视频文件"}, {}},
    {false, P::Step1, Event::Back, {}, 1, true, 0, 1, P::Step1, {}, {}},
    {false, P::Step1, Event::Exit, {No}, 1, true, 0, 1, P::Step1, {"你确定要退出？"}, {}},
    {false, P::Step1, Event::Exit, {Yes}, 1, true, 0, 1, P::Step1, {"你确定要退出？"}, {"CloseWindow"}},
    {false, P::Step2, Event::Next, {}, 1, true, 0, 1, P::Step3, {},
     {"ReadSelection", "OutputFolderAvailable", "ProcessPendingEvents", "Show Step3", "PrepareRunPage",
      "StartRun"}},
    {false, P::Step2, Event::Next, {}, 1, false, 0, 1, P::Step2, {noFolder},
     {"ReadSelection", "OutputFolderAvailable"}},
    {false, P::Step2, Event::Back, {}, 1, true, 0, 1, P::Step1, {}, {"Show Step1"}},
    {false, P::Step2, Event::Exit, {No}, 1, true, 0, 1, P::Step2, {"您确定要取消？"}, {}},
    {false, P::Step2, Event::Exit, {Yes}, 1, true, 0, 1, P::Step1, {"您确定要取消？"},
     {"ClearTasks", "Show Step1"}},
    {false, P::Step3, Event::Next, {}, 1, true, 0, 1, P::Step3, {}, {}},
    {false, P::Step3, Event::Back, {}, 1, true, 0, 1, P::Step3, {}, {}},
    {false, P::Step3, Event::Exit, {No}, 1, true, 0, 1, P::Step3, {"你真的要取消转换？"}, {}},
    {false, P::Step3, Event::Exit, {Yes}, 1, true, 0, 1, P::Step3, {"你真的要取消转换？"},
     {"CancelRun", "Show Step3"}},
    {false, P::Step4, Event::Next, {}, 1, true, 0, 1, P::Step1, {},
     {"ClearTasks", "ClearConversionList", "Show Step1"}},
    {false, P::Step4, Event::Back, {}, 1, true, 0, 1, P::Step4, {}, {}},
    {false, P::Step4, Event::Exit, {No}, 1, true, 0, 1, P::Step4, {"你确定要退出？"}, {}},
    {false, P::Step4, Event::Exit, {Yes}, 1, true, 0, 1, P::Step4, {"你确定要退出？"}, {"CloseWindow"}},
    // With downloads: the mode page in front, step 1 returns to it.
    {true, P::Mode, Event::Next, {}, 1, true, 2, 1, P::Step1, {}, {"Show Step1"}},
    {true, P::Mode, Event::Next, {}, 1, true, 1, 1, P::Step5, {}, {"ShowDownloadSettings", "Show Step5"}},
    {true, P::Mode, Event::Next, {}, 1, true, 0, 1, P::Mode, {}, {}},
    {true, P::Mode, Event::Back, {}, 1, true, 2, 1, P::Mode, {}, {}},
    {true, P::Mode, Event::Exit, {No}, 1, true, 0, 1, P::Mode, {"你确定要退出？"}, {}},
    {true, P::Mode, Event::Exit, {Yes}, 1, true, 0, 1, P::Mode, {"你确定要退出？"}, {"CloseWindow"}},
    {true, P::Step1, Event::Back, {No}, 2, true, 0, 1, P::Step1, {"您确定要取消并返回？"}, {}},
    {true, P::Step1, Event::Back, {Yes}, 2, true, 0, 1, P::Mode, {"您确定要取消并返回？"},
     {"ClearTasks", "Show Mode"}},
    {true, P::Step1, Event::Exit, {No}, 2, true, 0, 1, P::Step1, {"您确定要取消？"}, {}},
    {true, P::Step1, Event::Exit, {Yes}, 2, true, 0, 1, P::Mode, {"您确定要取消？"},
     {"ClearTasks", "Show Mode"}},
    {true, P::Step2, Event::Exit, {Yes}, 1, true, 0, 1, P::Mode, {"您确定要取消？"},
     {"ClearTasks", "Show Mode"}},
    {true, P::Step2, Event::Back, {}, 1, true, 0, 1, P::Step1, {}, {"Show Step1"}},
    {true, P::Step4, Event::Next, {}, 1, true, 0, 1, P::Mode, {},
     {"ClearTasks", "ClearConversionList", "Show Mode"}},
    // The download pages.
    {true, P::Step5, Event::Next, {}, 1, true, 0, 1, P::Step6, {},
     {"ReadDownloadSettings", "DownloadFolderAvailable", "Show Step6", "ClearDownloadList",
      "StartDownloadRun"}},
    {true, P::Step5, Event::Next, {}, 1, true, 0, 0, P::Step5,
     {"请复制并粘贴你要下载的YouTube视频链接。"}, {"ReadDownloadSettings"}},
    {true, P::Step5, Event::Back, {No}, 1, true, 0, 1, P::Step5, {"您确定要取消并返回？"}, {}},
    {true, P::Step5, Event::Back, {Yes}, 1, true, 0, 1, P::Mode, {"您确定要取消并返回？"},
     {"ClearAddressList", "Show Mode"}},
    {true, P::Step5, Event::Exit, {Yes}, 1, true, 0, 1, P::Mode, {"您确定要取消？"},
     {"ClearAddressList", "Show Mode"}},
    {true, P::Step6, Event::Next, {}, 1, true, 0, 1, P::Step6, {}, {}},
    {true, P::Step6, Event::Exit, {No}, 1, true, 0, 1, P::Step6, {"你真的要取消下载？"}, {}},
    {true, P::Step6, Event::Exit, {Yes}, 1, true, 0, 1, P::Step6, {"你真的要取消下载？"},
     {"AbortDownloadRun"}},
    {true, P::Step7, Event::Next, {}, 1, true, 0, 1, P::Mode, {},
     {"ClearAddressList", "ClearDownloadList", "Show Mode"}},
    {true, P::Step7, Event::Back, {}, 1, true, 0, 1, P::Step7, {}, {}},
    {true, P::Step7, Event::Exit, {Yes}, 1, true, 0, 1, P::Step7, {"你确定要退出？"}, {"CloseWindow"}},
  };
  // clang-format on
  for (bool merge : {false, true}) {
    for (const Transition& t : table) {
      SCOPED_TRACE(std::string(t.download ? "download " : "") + (merge ? "merge " : "") +
                   Name(t.from) + " " + Name(t.event));
      testsupport::ScriptedMessages messages;
      core::Messages::SetTitle("Wizconv Test");
      RecordingHost host;
      WizardFlow flow(host);
      flow.Configure(t.download, merge, "Wizconv Test");
      Reach(flow, host, messages, t.from);
      host.tasks = t.tasks;
      host.folderOk = t.folderOk;
      host.downloadChosen = t.choice == 1;
      host.convertChosen = t.choice == 2;
      host.addresses = t.addresses;
      for (MessageAnswer a : t.answers) messages.answer(a);

      switch (t.event) {
        case Event::Next: flow.Next(); break;
        case Event::Back: flow.Back(); break;
        case Event::Exit: flow.Exit(); break;
      }

      EXPECT_EQ(flow.Page(), t.to);
      EXPECT_EQ(host.calls, t.calls);
      std::vector<std::string> texts;
      for (const auto& m : messages.shown) {
        texts.push_back(m.text);
        EXPECT_EQ(m.caption, "Wizconv Test") << "every message carries the title";
        const bool question = m.text.find("？") != std::string::npos;
        EXPECT_EQ(m.kind, question ? core::MessageKind::Confirmation : core::MessageKind::Information)
            << m.text;
      }
      EXPECT_EQ(texts, t.messages);
      // Whatever page shows, its captions are the page's.
      EXPECT_EQ(host.shownPage, flow.Page());
      ExpectCaptions(host.shownCaptions, flow.Page(), t.download, merge);
    }
  }
}

TEST(WizardFlow, StartsOnTheModePageOnlyWithDownloads) {
  for (bool download : {false, true}) {
    testsupport::ScriptedMessages messages;
    RecordingHost host;
    WizardFlow flow(host);
    flow.Configure(download, false, "Wizconv Test");
    flow.GoToStartPage();
    EXPECT_EQ(flow.Page(), download ? P::Mode : P::Step1);
    EXPECT_EQ(host.calls, std::vector<std::string>{download ? "Show Mode" : "Show Step1"});
    ExpectCaptions(host.shownCaptions, flow.Page(), download, false);
  }
}

// Answers a question only after something else happened while it was open (the dialog
// runs the event loop, so a run can end while the person reads the question).
class AnswerAfter : public core::Messages {
 public:
  std::function<void()> meanwhile;
  std::vector<std::string> texts;
  AnswerAfter() { core::Messages::Install(this); }
  ~AnswerAfter() override { core::Messages::Install(nullptr); }
  MessageAnswer Show(core::MessageKind, const std::string&, const std::string& text) override {
    texts.push_back(text);
    if (meanwhile) meanwhile();
    return MessageAnswer::Yes;
  }
};

TEST(WizardFlow, ARunThatEndsWhileCancelIsAskedIsNotCancelledAndItsSummaryStays) {
  for (bool download : {false, true}) {
    testsupport::ScriptedMessages scripted;
    RecordingHost host;
    WizardFlow flow(host);
    flow.Configure(download, false, "Wizconv Test");
    Reach(flow, host, scripted, download ? P::Step6 : P::Step3);
    AnswerAfter messages;
    messages.meanwhile = [&] { download ? flow.DownloadRunEnded() : flow.RunEnded(); };
    flow.Exit();
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{download ? "你真的要取消下载？" : "你真的要取消转换？"});
    EXPECT_EQ(flow.Page(), download ? P::Step7 : P::Step4);
    EXPECT_EQ(host.shownPage, flow.Page());
    ExpectCaptions(host.shownCaptions, flow.Page(), download, false);
    for (const std::string& c : host.calls) {
      EXPECT_NE(c, "CancelRun");
      EXPECT_NE(c, "AbortDownloadRun");
    }
  }
}

TEST(WizardFlow, ClicksArrivingWhileStepTwoLeadsOnStartOneRun) {
  testsupport::ScriptedMessages messages;
  RecordingHost host;
  WizardFlow flow(host);
  flow.Configure(false, false, "Wizconv Test");
  Reach(flow, host, messages, P::Step2);
  // A double click on Next, then Back and Exit, all waiting in the event queue.
  host.pendingEvents = [&] {
    flow.Next();
    flow.Back();
    messages.answer(MessageAnswer::Yes);
    flow.Exit();
  };
  flow.Next();
  EXPECT_EQ(flow.Page(), P::Step3);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"ReadSelection", "OutputFolderAvailable",
                                                  "ProcessPendingEvents", "Show Step3",
                                                  "PrepareRunPage", "StartRun"}));
  EXPECT_TRUE(messages.shown.empty());
  // Once it is done the buttons act again.
  host.calls.clear();
  messages.answer(MessageAnswer::Yes);
  flow.Exit();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"CancelRun", "Show Step3"}));
}

TEST(WizardFlow, TheDownloadedFilesLeadToStepOneAndFinishReturnsToTheModePage) {
  testsupport::ScriptedMessages messages;
  RecordingHost host;
  WizardFlow flow(host);
  flow.Configure(true, false, "Wizconv Test");
  Reach(flow, host, messages, P::Step7);
  flow.ShowTasks();
  EXPECT_EQ(flow.Page(), P::Step1);
  ExpectCaptions(host.shownCaptions, P::Step1, true, false);
  host.tasks = 2;
  host.folderOk = true;
  flow.Next();
  flow.Next();
  ASSERT_EQ(flow.Page(), P::Step3);
  flow.RunEnded();
  flow.Next();
  EXPECT_EQ(flow.Page(), P::Mode);
  EXPECT_EQ(host.tasks, 0);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace convert
