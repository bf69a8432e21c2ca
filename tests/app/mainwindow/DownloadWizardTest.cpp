// The download branch of the wizard in the real main window, against the stand-in
// service on loopback: the mode page, steps 5 to 7, their captions and transitions.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include "../../download/StandInService.h"
#include "EditionFixture.h"
#include "StepOneSupport.h"
#include "WidgetLookup.h"
#include "core/MainThread.h"
#include "download/DownloadPages.h"

using app::TFormMain;
using app::WizardPage;
using core::MessageAnswer;
using mwtest::child;
using mwtest::click;
using mwtest::text;

namespace {

bool waitForPage(TFormMain& w, WizardPage page) {
  return core::MainThread::WaitWhileServing(
      [&] {
        QApplication::processEvents();
        return w.CurrentPage() == page;
      },
      std::chrono::seconds(60));
}

struct DownloadEdition {
  explicit DownloadEdition(standin::Service& s) {
    edition.Set("ServiceDomain", s.Domain());
    edition.WriteBranding();
    window = edition.Open();
    window->show();
  }
  void paste(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
    click(window.get(), "ButtonURLPaste");
  }
  mwtest::Edition edition;
  std::unique_ptr<TFormMain> window;
};

const std::string& clip() {
  static const std::string bytes = standin::Clip("clip.mp4");
  return bytes;
}

}  // namespace

TEST(DownloadWizard, FromTheModePageThroughTheRunToTheConversionPage) {
  core::MainThread::SetCurrentAsMain();
  testsupport::ScriptedMessages messages;
  standin::Service s;
  for (const char* id : {"1", "2", "3"}) s.Add({id, std::string("Clip ") + id, {{18, clip()}}});
  DownloadEdition e(s);
  TFormMain& w = *e.window;
  ASSERT_EQ(w.CurrentPage(), WizardPage::Mode);
  click(&w, "ButtonNext");
  ASSERT_EQ(w.CurrentPage(), WizardPage::Step5);
  EXPECT_EQ(text(&w, "LabelTitle"), "从您的浏览器地址栏复制一个YouTube链接，粘贴到此处");
  EXPECT_EQ(text(&w, "ButtonNext"), "下载");
  EXPECT_EQ(text(&w, "ButtonExit"), "取消");
  EXPECT_TRUE(child(&w, "ButtonBack")->isEnabled());
  EXPECT_EQ(text(&w, "LabelYouTubeQuality"),
            "Prefer: [HQ18] > [HQ35] > [HQ22] > [HQ6] > [HQ13] > [HQ17] > [HQ34] > [HQ37]");

  // Next with an empty list asks for addresses and stays; the folder is stored already.
  testsupport::TempDir out;
  child<QLineEdit>(&w, "EditURLOutput")->setText(QString::fromStdString(out.str()));
  click(&w, "ButtonNext");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "请复制并粘贴你要下载的YouTube视频链接。");
  EXPECT_EQ(w.CurrentPage(), WizardPage::Step5);
  EXPECT_EQ(w.Settings().OutputURLDir, out.str() + "/");

  e.paste(s.WatchUrl("1") + "\n" + s.WatchUrl("2") + "\n" + s.WatchUrl("3"));
  click(&w, "ButtonNext");
  ASSERT_EQ(w.CurrentPage(), WizardPage::Step6);
  EXPECT_EQ(text(&w, "LabelTitle"), "下载信息。");
  EXPECT_FALSE(child(&w, "ButtonNext")->isEnabled());
  EXPECT_FALSE(child(&w, "ButtonBack")->isEnabled());
  ASSERT_TRUE(waitForPage(w, WizardPage::Step7));
  EXPECT_EQ(text(&w, "LabelTitle"), "下载完成。");
  EXPECT_EQ(text(&w, "ButtonNext"), "完成");
  EXPECT_EQ(text(&w, "ButtonExit"), "退出");
  EXPECT_EQ(text(&w, "LabelURLTotalFiles"), "3");
  EXPECT_EQ(text(&w, "LabelURLSucedded"), "3");
  EXPECT_EQ(text(&w, "LabelURLFailed"), "0");
  EXPECT_EQ(child<QListWidget>(&w, "ListViewInputURL")->count(), 0);

  mwtest::LoadCodecs();
  click(&w, "ButtonConvertDownloaded");
  EXPECT_EQ(w.CurrentPage(), WizardPage::Step1);
  EXPECT_EQ(w.OpenedFiles(),
            (std::vector<std::string>{out.str() + "/Clip 1.mp4", out.str() + "/Clip 2.mp4",
                                      out.str() + "/Clip 3.mp4"}));
  // They arrive in step 1's task list as if dropped, probed like any other file.
  ASSERT_TRUE(mwtest::WaitFor([&] { return !w.AddingFiles(); }));
  EXPECT_EQ(w.TaskCount(), 3);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(DownloadWizard, ExitOnTheProgressPageCancelsTheRunIntoTheSummary) {
  core::MainThread::SetCurrentAsMain();
  testsupport::ScriptedMessages messages;
  standin::Service s;
  s.Add({"1", "One", {{18, clip()}}});
  standin::Video slow{"2", "Two", {{18, clip()}}};
  slow.stallBeforeBodyMs = 30000;
  s.Add(slow);
  s.Add({"3", "Three", {{18, clip()}}});
  DownloadEdition e(s);
  TFormMain& w = *e.window;
  click(&w, "ButtonNext");
  testsupport::TempDir out;
  child<QLineEdit>(&w, "EditURLOutput")->setText(QString::fromStdString(out.str()));
  e.paste(s.WatchUrl("1") + "\n" + s.WatchUrl("2") + "\n" + s.WatchUrl("3"));
  click(&w, "ButtonNext");
  ASSERT_EQ(w.CurrentPage(), WizardPage::Step6);
  // Wait until the second video is being asked for.
  ASSERT_TRUE(core::MainThread::WaitWhileServing(
      [&] {
        QApplication::processEvents();
        return s.VideoItags().size() == 2;
      },
      std::chrono::seconds(30)));
  // No keeps the run going.
  messages.answer(MessageAnswer::No);
  click(&w, "ButtonExit");
  EXPECT_EQ(messages.shown.back().text, "你真的要取消下载？");
  EXPECT_EQ(w.CurrentPage(), WizardPage::Step6);
  messages.answer(MessageAnswer::Yes);
  const auto asked = std::chrono::steady_clock::now();
  click(&w, "ButtonExit");
  ASSERT_TRUE(waitForPage(w, WizardPage::Step7));
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
  std::printf("[ figure ] Exit (Yes) on step 6 to the summary: %lld ms\n",
              static_cast<long long>(took.count()));
  EXPECT_LT(took.count(), 2000);
  EXPECT_EQ(text(&w, "LabelURLTotalFiles"), "3");
  EXPECT_EQ(text(&w, "LabelURLSucedded"), "1");
  EXPECT_EQ(text(&w, "LabelURLFailed"), "2");

  // Finish goes back to the mode page with empty lists.
  click(&w, "ButtonNext");
  EXPECT_EQ(w.CurrentPage(), WizardPage::Mode);
  EXPECT_EQ(w.DownloadPagesOf()->ListModel()->rowCount(), 0);
}

TEST(DownloadWizard, BackAndExitOnStepFiveEmptyTheListAfterAsking) {
  core::MainThread::SetCurrentAsMain();
  testsupport::ScriptedMessages messages;
  standin::Service s;
  DownloadEdition e(s);
  TFormMain& w = *e.window;
  const struct {
    const char* button;
    const char* question;
  } cases[] = {{"ButtonBack", "您确定要取消并返回？"}, {"ButtonExit", "您确定要取消？"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    click(&w, "ButtonNext");
    ASSERT_EQ(w.CurrentPage(), WizardPage::Step5);
    e.paste(s.WatchUrl("x"));
    auto* list = child<QListWidget>(&w, "ListViewInputURL");
    ASSERT_EQ(list->count(), 1);
    messages.answer(MessageAnswer::No);
    click(&w, c.button);
    EXPECT_EQ(messages.shown.back().text, c.question);
    EXPECT_EQ(w.CurrentPage(), WizardPage::Step5);
    EXPECT_EQ(list->count(), 1);
    messages.answer(MessageAnswer::Yes);
    click(&w, c.button);
    EXPECT_EQ(w.CurrentPage(), WizardPage::Mode);
    EXPECT_EQ(list->count(), 0);
  }
}
