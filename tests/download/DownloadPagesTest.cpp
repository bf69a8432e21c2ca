// The download pages, offscreen: real widgets clicked, real transfers to the stand-in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <filesystem>

#include "StandInService.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "download/DownloadPages.h"
#include "download/QualityDialog.h"

using namespace download;

namespace {

QString q(const char* text) { return QString::fromUtf8(text); }

// Clicks a button of the next modal box or dialog once it is shown, after `check`.
void answerNextModal(const std::function<void(QWidget*)>& act) {
  QTimer::singleShot(0, [act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      answerNextModal(act);
      return;
    }
    act(modal);
  });
}

struct Pages {
  explicit Pages(const std::string& domain = "youtube.com") {
    step5 = new QWidget(&window);
    step6 = new QWidget(&window);
    step7 = new QWidget(&window);
    DownloadRunOptions o;
    o.ServiceDomain = domain;
    o.PauseAfterExtraction = std::chrono::milliseconds(0);
    pages = std::make_unique<DownloadPages>(step5, step6, step7, settings, o);
    pages->SetAppTitle("测试版");
    QObject::connect(pages.get(), &DownloadPages::ShowSummaryPage, [this] { ++summaryShown; });
    QObject::connect(pages.get(), &DownloadPages::ConvertFiles,
                     [this](const std::vector<std::string>& f) { converted = f; });
    window.show();
  }
  template <typename T>
  T* find(const char* name) const {
    T* w = window.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void click(const char* name) { find<QPushButton>(name)->click(); }
  QStringList inputList() const {
    QStringList items;
    auto* list = find<QListWidget>("ListViewInputURL");
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
  }
  QString text(const char* label) const { return find<QLabel>(label)->text(); }
  // What the wizard does on Next of step 5 once the list and folder are accepted.
  bool start() {
    pages->ReadDownloadSettings();
    if (pages->AddressCount() == 0 || !pages->DownloadFolderAvailable()) return false;
    pages->StartDownloadRun();
    return true;
  }
  bool waitForSummary() {
    return core::MainThread::WaitWhileServing(
        [&] {
          QApplication::processEvents();
          return summaryShown > 0 && pages->Run().Idle();
        },
        std::chrono::seconds(60));
  }

  QWidget window;
  QWidget *step5, *step6, *step7;
  app::AppSettings settings;
  std::unique_ptr<DownloadPages> pages;
  int summaryShown = 0;
  std::vector<std::string> converted;
};

class DownloadPagesTest : public ::testing::Test {
 protected:
  void SetUp() override { core::MainThread::SetCurrentAsMain(); }
};

}  // namespace

TEST_F(DownloadPagesTest, PasteAsksAboutRefusedLinesOkGoesOnCancelStops) {
  const struct {
    const char* name;
    QMessageBox::StandardButton answer;
    QStringList entries;
  } cases[] = {
      {"OK", QMessageBox::Ok,
       {"http://www.youtube.com/watch?v=a", "http://www.youtube.com/watch?v=c"}},
      {"Cancel", QMessageBox::Cancel, {"http://www.youtube.com/watch?v=a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pages p;
    QApplication::clipboard()->setText(
        "http://www.youtube.com/watch?v=a\r\nhttp://vimeo.com/b\r\nhttp://www.youtube.com/watch?v=c");
    QString shown;
    answerNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      shown = box->text();
      box->button(c.answer)->click();
    });
    p.click("ButtonURLPaste");
    EXPECT_EQ(shown, q("http://vimeo.com/b\n\r\n\r这不是一个YouTube视频链接。"));
    EXPECT_EQ(p.inputList(), c.entries);
    EXPECT_TRUE(p.find<QPushButton>("ButtonURLEmpty")->isEnabled());
    EXPECT_FALSE(p.find<QPushButton>("ButtonURLRemove")->isEnabled());
  }
}

TEST_F(DownloadPagesTest, PasteIsEnabledExactlyWhenTheClipboardOffersText) {
  Pages p;
  QApplication::clipboard()->setText("anything");
  EXPECT_TRUE(p.find<QPushButton>("ButtonURLPaste")->isEnabled());
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::red);
  QApplication::clipboard()->setImage(image);
  EXPECT_FALSE(p.find<QPushButton>("ButtonURLPaste")->isEnabled());
  EXPECT_FALSE(p.pages->ClipboardHasText());
  // Ctrl+V and the button do nothing then.
  p.pages->Paste();
  EXPECT_TRUE(p.inputList().isEmpty());
  QApplication::clipboard()->setText("http://youtube.com/watch?v=z");
  EXPECT_TRUE(p.find<QPushButton>("ButtonURLPaste")->isEnabled());
  p.click("ButtonURLPaste");
  EXPECT_EQ(p.inputList(), QStringList{"http://youtube.com/watch?v=z"});
}

TEST_F(DownloadPagesTest, RemoveSelectsTheNewLastEntry) {
  Pages p;
  QApplication::clipboard()->setText(
      "http://youtube.com/1\nhttp://youtube.com/2\nhttp://youtube.com/3\nhttp://youtube.com/4");
  p.click("ButtonURLPaste");
  auto* list = p.find<QListWidget>("ListViewInputURL");
  list->item(2)->setSelected(true);
  list->item(3)->setSelected(true);
  ASSERT_TRUE(p.find<QPushButton>("ButtonURLRemove")->isEnabled());
  p.click("ButtonURLRemove");
  EXPECT_EQ(p.inputList(), (QStringList{"http://youtube.com/1", "http://youtube.com/2"}));
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_EQ(list->selectedItems()[0]->text(), "http://youtube.com/2");
  p.click("ButtonURLEmpty");
  EXPECT_TRUE(p.inputList().isEmpty());
  EXPECT_FALSE(p.find<QPushButton>("ButtonURLEmpty")->isEnabled());
}

TEST_F(DownloadPagesTest, TheQualityGroupAndItsDialog) {
  Pages p;
  p.pages->EnterStep5();
  auto* check = p.find<QCheckBox>("CheckBoxYouTubeQuality");
  auto* config = p.find<QPushButton>("ButtonYouTubeQualityConfig");
  auto* label = p.find<QLabel>("LabelYouTubeQuality");
  EXPECT_TRUE(check->isChecked());
  EXPECT_TRUE(config->isEnabled());
  EXPECT_EQ(label->text(),
            "Prefer: [HQ18] > [HQ35] > [HQ22] > [HQ6] > [HQ13] > [HQ17] > [HQ34] > [HQ37]");
  check->click();
  EXPECT_FALSE(config->isEnabled());
  EXPECT_EQ(label->text(), q("[默认质量 - HQ5 - (FLV, 400 x 240, 单声道 44KHz MP3)]"));
  check->click();

  // Best available, then OK.
  answerNextModal([](QWidget* dialog) {
    dialog->findChild<QPushButton*>("ButtonBestAvailable")->click();
    dialog->findChild<QPushButton*>("ButtonOK")->click();
  });
  config->click();
  EXPECT_EQ(label->text(),
            "Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]");
  EXPECT_EQ(p.settings.PreferYouTube1, 7);

  // Default, then Cancel: the order is the default one, the label keeps its text.
  answerNextModal([](QWidget* dialog) {
    dialog->findChild<QPushButton*>("ButtonDefault")->click();
    dialog->findChild<QPushButton*>("ButtonCancel")->click();
  });
  config->click();
  EXPECT_EQ(p.pages->Quality().Order, kDefaultOrder);
  EXPECT_EQ(p.settings.PreferYouTube1, 1);
  EXPECT_EQ(label->text(),
            "Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]");
}

TEST_F(DownloadPagesTest, TheOrderDialogMovesRowsWithinItsEnds) {
  QualityPreference stored;
  TFormYouTubeHQ dialog(stored);
  QTreeWidget* list = dialog.List();
  ASSERT_EQ(list->topLevelItemCount(), 8);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "[HQ18]");
  EXPECT_EQ(list->topLevelItem(3)->text(2), "480 x 36");
  auto click = [&](const char* name) { dialog.findChild<QPushButton*>(name)->click(); };
  // Nothing selected: nothing moves.
  click("ButtonDown");
  list->setCurrentItem(list->topLevelItem(0));
  click("ButtonUp");  // the first row cannot go up
  EXPECT_EQ(list->topLevelItem(0)->text(0), "[HQ18]");
  click("ButtonDown");
  EXPECT_EQ(list->topLevelItem(0)->text(0), "[HQ35]");
  EXPECT_EQ(list->topLevelItem(1)->text(0), "[HQ18]");
  EXPECT_EQ(list->currentItem()->text(0), "[HQ18]");
  list->setCurrentItem(list->topLevelItem(7));
  click("ButtonDown");  // the last row cannot go down
  EXPECT_EQ(list->topLevelItem(7)->text(0), "[HQ37]");
  click("ButtonOK");
  EXPECT_EQ(stored.Order, (PreferenceOrder{2, 1, 3, 0, 4, 5, 6, 7}));
}

TEST_F(DownloadPagesTest, TheFolderIsReadBackAndMustBeMade) {
  testsupport::TempDir dir;
  dir.write("file", "x");
  Pages p;
  p.pages->EnterStep5();
  auto* edit = p.find<QLineEdit>("EditURLOutput");
  const struct {
    std::string typed;
    std::string stored;
    bool available;
  } cases[] = {
      {dir.str() + "/new/deeper", dir.str() + "/new/deeper/", true},
      {dir.str() + "/file/sub", dir.str() + "/file/sub/", false},
      {"", "/", false},  // an empty box is no folder
  };
  for (const auto& c : cases) {
    edit->setText(QString::fromStdString(c.typed));
    p.pages->ReadDownloadSettings();
    EXPECT_EQ(p.settings.OutputURLDir, c.stored) << c.typed;
    EXPECT_EQ(p.pages->DownloadFolderAvailable(), c.available) << c.typed;
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.str() + "/new/deeper"));
  // The mode is read back from the box.
  p.find<QCheckBox>("CheckBoxYouTubeQuality")->click();
  p.pages->ReadDownloadSettings();
  EXPECT_FALSE(p.settings.PreferYouTubeQuality);
}

TEST_F(DownloadPagesTest, ARunShowsProgressThenTheSummaryAndHandsTheFilesOn) {
  testsupport::ScriptedMessages messages;
  const std::string clip = standin::Clip("clip.mp4");
  struct Case {
    const char* name;
    bool cancelAfterFirst;
    const char* total;
    const char* succeeded;
    const char* failed;
  } cases[] = {{"three saved", false, "3", "3", "0"}, {"cancel after one", true, "3", "1", "2"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Service s;
    for (const char* id : {"1", "2", "3"}) s.Add({id, std::string("Video ") + id, {{18, clip}}});
    testsupport::TempDir out;
    Pages p(s.Domain());
    p.settings.OutputURLDir = out.str();
    p.pages->EnterStep5();
    QApplication::clipboard()->setText(
        QString::fromStdString(s.WatchUrl("1") + "\n" + s.WatchUrl("2") + "\n" + s.WatchUrl("3")));
    p.click("ButtonURLPaste");
    bool rowsSeen = false;
    QObject::connect(p.pages->ListModel(), &QAbstractItemModel::dataChanged, [&] {
      rowsSeen |= p.pages->ListModel()->rowCount() == 3;
    });
    if (c.cancelAfterFirst) {
      p.pages->Run().OnEntryEnded = [&](int entry) {
        if (entry == 0) core::MainThread::Post([&] { p.pages->CancelRun(); });
      };
    }
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.waitForSummary());
    EXPECT_TRUE(rowsSeen);
    EXPECT_EQ(p.summaryShown, 1);
    EXPECT_EQ(p.text("LabelURLTotalFiles"), c.total);
    EXPECT_EQ(p.text("LabelURLSucedded"), c.succeeded);
    EXPECT_EQ(p.text("LabelURLFailed"), c.failed);
    EXPECT_EQ(p.text("LabelFinishedDownloading1"), q("测试版 已完成下载。"));
    EXPECT_EQ(p.text("LabelURLStatus"), "...");
    EXPECT_EQ(p.text("LabelProgressBarDownload"), "0%");
    // After a run the address list is empty.
    EXPECT_TRUE(p.inputList().isEmpty());
    EXPECT_EQ(p.pages->ListModel()->rowCount(), 0);
    p.click("ButtonConvertDownloaded");
    EXPECT_EQ(p.converted, p.pages->Run().DownloadedFiles());
    EXPECT_EQ(p.converted.size(), std::stoul(c.succeeded));
    EXPECT_EQ(p.converted[0], out.str() + "/Video 1.mp4");
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DownloadPagesTest, TheConvertButtonWithoutSavedFilesSaysSo) {
  testsupport::ScriptedMessages messages;
  standin::Service s;
  standin::Video v{"x", "Broken", {}};
  v.broken = {18};
  s.Add(v);
  testsupport::TempDir out;
  Pages p(s.Domain());
  p.settings.OutputURLDir = out.str();
  p.pages->EnterStep5();
  QApplication::clipboard()->setText(QString::fromStdString(s.WatchUrl("x")));
  p.click("ButtonURLPaste");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(p.waitForSummary());
  EXPECT_EQ(p.text("LabelURLFailed"), "1");
  p.click("ButtonConvertDownloaded");
  EXPECT_TRUE(p.converted.empty());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "没有文件下载！请重试。");
}
