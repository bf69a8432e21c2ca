#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <functional>
#include <thread>

#include "DialogTestSupport.h"
#include "TestSupport.h"
#include "appcore/MessageDialog.h"
#include "appcore/QtMessages.h"
#include "core/MainThread.h"

using namespace app;
using dialogtest::whenDialogShows;
using dialogtest::buttonWithText;

TEST(MessageDialogTest, MessageDialogTakesTheGivenButtonTexts) {
  const struct {
    core::MessageKind kind;
    std::vector<std::string> texts;
    QMessageBox::Icon icon;
    QString click;
    core::MessageAnswer answer;
  } cases[] = {
      {core::MessageKind::Confirmation,
       {"现在关机", ""},
       QMessageBox::Question,
       "现在关机",
       core::MessageAnswer::Yes},
      {core::MessageKind::Confirmation,
       {"", "稍后"},
       QMessageBox::Question,
       "稍后",
       core::MessageAnswer::No},
      {core::MessageKind::Warning,
       {"知道了", "extra", "ignored"},
       QMessageBox::Warning,
       "知道了",
       core::MessageAnswer::Ok},
      {core::MessageKind::Error, {}, QMessageBox::Critical, "", core::MessageAnswer::Ok},
  };
  for (const auto& c : cases) {
    QStringList seenTexts;
    QString seenCaption;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    whenDialogShows<QMessageBox>([&](QMessageBox* box) {
      seenCaption = box->windowTitle();
      seenIcon = box->icon();
      for (QAbstractButton* b : box->buttons()) seenTexts << b->text();
      QAbstractButton* target =
          c.click.isEmpty() ? box->buttons().first() : buttonWithText(box, c.click);
      if (!target) {
        ADD_FAILURE() << "no button " << c.click.toStdString();
        box->reject();
        return;
      }
      target->click();
    });
    EXPECT_EQ(MessageDialogWithButtons("text", "标题", c.kind, c.texts), c.answer);
    EXPECT_EQ(seenCaption, "标题");
    EXPECT_EQ(seenIcon, c.icon);
    if (!c.click.isEmpty()) {
      EXPECT_TRUE(seenTexts.contains(c.click)) << seenTexts.join("|").toStdString();
    }
    EXPECT_EQ(seenTexts.size(), c.kind == core::MessageKind::Confirmation ? 2 : 1);
  }
}

TEST(MessageDialogTest, QtMessagesShowPlainTextAndAnswer) {
  QtMessages messages;
  const struct {
    core::MessageKind kind;
    int key;  // 0: click the first standard button named below
    QMessageBox::StandardButton button;
    core::MessageAnswer answer;
  } cases[] = {
      {core::MessageKind::Confirmation, 0, QMessageBox::Yes, core::MessageAnswer::Yes},
      {core::MessageKind::Confirmation, 0, QMessageBox::No, core::MessageAnswer::No},
      {core::MessageKind::Confirmation, Qt::Key_Escape, QMessageBox::NoButton,
       core::MessageAnswer::No},
      {core::MessageKind::Information, Qt::Key_Escape, QMessageBox::NoButton,
       core::MessageAnswer::Ok},
      {core::MessageKind::Error, 0, QMessageBox::Ok, core::MessageAnswer::Ok},
  };
  for (const auto& c : cases) {
    QString shownText;
    whenDialogShows<QMessageBox>([&](QMessageBox* box) {
      shownText = box->text();
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      if (c.key) {
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
      } else {
        box->button(c.button)->click();
      }
    });
    EXPECT_EQ(messages.Show(c.kind, "Caption", "<b>a.mp4</b> & more"), c.answer);
    EXPECT_EQ(shownText, "<b>a.mp4</b> & more");
  }
}

TEST(MessageDialogTest, QtMessagesFromAWorkerAreShownOnTheMainThread) {
  QtMessages messages;
  std::atomic<bool> done{false};
  core::MessageAnswer answer = core::MessageAnswer::Cancel;
  bool shownOnMain = false;
  whenDialogShows<QMessageBox>([&](QMessageBox* box) {
    shownOnMain = core::MainThread::IsMainThread();
    box->button(QMessageBox::Yes)->click();
  });
  std::thread worker([&] {
    answer = messages.Show(core::MessageKind::Confirmation, "C", "from a worker");
    done = true;
  });
  EXPECT_TRUE(
      core::MainThread::WaitWhileServing([&] { return done.load(); }, std::chrono::seconds(20)));
  worker.join();
  EXPECT_TRUE(shownOnMain);
  EXPECT_EQ(answer, core::MessageAnswer::Yes);
}
