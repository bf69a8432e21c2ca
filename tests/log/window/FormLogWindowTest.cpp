// The window itself: how it first looks, where the buttons go when it is resized, how it
// is hidden, and the placement hooks.
#include <QPointer>
#include <QScreen>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "FormLogFixture.h"

using logwindow::TFormLog;
using logwindowtest::Button;
using logwindowtest::Click;
using logwindowtest::Memo;
using logwindowtest::Panel;
using logwindowtest::Settle;
using logwindowtest::ShowAndWait;

TEST(FormLogWindow, StartsHiddenWithItsCaptionSizeAndParts) {
  TFormLog form;
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.objectName().toStdString(), "FormLog");
  EXPECT_EQ(form.windowTitle().toStdString(), "日志");
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(form.isModal());
  // Left open when the main window closes, it must not keep the program running.
  EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose));
  EXPECT_EQ(form.minimumSize(), QSize(265, 125));

  ShowAndWait(form);
  EXPECT_EQ(form.size(), QSize(455, 182));  // the client area; the frame is the system's
  EXPECT_EQ(Button(form, "ButtonOK")->text().toStdString(), "确定");
  EXPECT_EQ(Button(form, "ButtonDelete")->text().toStdString(), "删除日志");
  EXPECT_EQ(Button(form, "ButtonSave")->text().toStdString(), "保存日志");
  EXPECT_TRUE(Button(form, "ButtonOK")->isDefault());

  QPlainTextEdit* memo = Memo(form);
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // Typing into the log does nothing.
  form.AppendLine("fixed");
  memo->setFocus();
  QTest::keyClicks(memo, "typed");
  EXPECT_EQ(form.Lines(), std::vector<std::string>{"fixed"});
}

TEST(FormLogWindow, ButtonsStayCentredWithEightPixelGapsAtEverySize) {
  TFormLog form;
  ShowAndWait(form);
  QWidget* panel = Panel(form);
  QPlainTextEdit* memo = Memo(form);
  QPushButton* ok = Button(form, "ButtonOK");
  QPushButton* del = Button(form, "ButtonDelete");
  QPushButton* save = Button(form, "ButtonSave");

  // 100 x 50 is below the minimum size and must be refused.
  const std::vector<QSize> sizes = {{455, 182},  {265, 125},  {266, 140}, {300, 200}, {640, 480},
                                    {1001, 300}, {1600, 900}, {455, 182}, {100, 50}};
  for (const QSize& requested : sizes) {
    form.resize(requested);
    Settle();
    const std::string at =
        std::to_string(requested.width()) + "x" + std::to_string(requested.height());
    const int width = form.width();
    ASSERT_GE(width, 265) << at;
    ASSERT_GE(form.height(), 125) << at;

    // The panel is the bottom 40 pixels, the text area fills everything above it.
    EXPECT_EQ(panel->geometry(), QRect(0, form.height() - 40, width, 40)) << at;
    EXPECT_EQ(memo->geometry(), QRect(0, 0, width, form.height() - 40)) << at;

    EXPECT_EQ(del->x() - (ok->x() + ok->width()), 8) << at;
    EXPECT_EQ(save->x() - (del->x() + del->width()), 8) << at;
    const int leftMargin = ok->x();
    const int rightMargin = panel->width() - (save->x() + save->width());
    EXPECT_GE(leftMargin, 0) << at;
    EXPECT_GE(rightMargin, 0) << at;
    EXPECT_LE(std::abs(leftMargin - rightMargin), 2) << at;  // halves round down
    for (QPushButton* b : {ok, del, save}) {
      EXPECT_TRUE(panel->rect().contains(b->geometry())) << at;
      EXPECT_EQ(b->y(), ok->y()) << at;
      EXPECT_LE(std::abs(b->y() - (40 - b->y() - b->height())), 1) << at;  // vertically centred
    }
  }
}

TEST(FormLogWindow, ButtonsAreCentredWhenFirstShownAtAnySize) {
  // A size set while hidden must already be honoured by the first showing.
  TFormLog form;
  form.resize(900, 300);
  ShowAndWait(form);
  QPushButton* ok = Button(form, "ButtonOK");
  QPushButton* save = Button(form, "ButtonSave");
  const int rightMargin = Panel(form)->width() - (save->x() + save->width());
  EXPECT_LE(std::abs(ok->x() - rightMargin), 2);
  EXPECT_GT(ok->x(), 250);
}

TEST(FormLogWindow, OkEscapeEnterAndTheCloseBoxOnlyHide) {
  struct Case {
    const char* name;
    std::function<void(TFormLog&)> act;
  };
  const std::vector<Case> cases = {
      {"OK clicked", [](TFormLog& f) { Click(Button(f, "ButtonOK")); }},
      {"Escape", [](TFormLog& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
      {"Escape in the text area",
       [](TFormLog& f) {
         Memo(f)->setFocus();
         QTest::keyClick(Memo(f), Qt::Key_Escape);
       }},
      {"Enter in the text area",
       [](TFormLog& f) {
         Memo(f)->setFocus();
         QTest::keyClick(Memo(f), Qt::Key_Return);
       }},
      {"keypad Enter on OK",
       [](TFormLog& f) {
         Button(f, "ButtonOK")->setFocus();
         QTest::keyClick(Button(f, "ButtonOK"), Qt::Key_Enter, Qt::KeypadModifier);
       }},
      {"close box", [](TFormLog& f) { f.close(); }},
  };
  for (const Case& c : cases) {
    QPointer<TFormLog> form = new TFormLog;
    int restored = 0;
    int saved = 0;
    form->RestorePlacement = [&restored](QWidget*) { ++restored; };
    form->SavePlacement = [&saved](QWidget*) { ++saved; };
    form->AppendLine("stays");
    ShowAndWait(*form);
    form->activateWindow();
    c.act(*form);
    Settle();
    ASSERT_FALSE(form.isNull()) << c.name;  // hidden, never destroyed
    EXPECT_FALSE(form->isVisible()) << c.name;
    EXPECT_EQ(restored, 1) << c.name;
    EXPECT_EQ(saved, 1) << c.name;

    ShowAndWait(*form);
    EXPECT_EQ(restored, 2) << c.name;
    EXPECT_EQ(form->Lines(), std::vector<std::string>{"stays"}) << c.name;
    delete form.data();
  }
}

TEST(FormLogWindow, PlacementHooksReceiveAndApplyTheWindowsGeometry) {
  TFormLog form;
  QRect stored(120, 80, 500, 300);
  form.RestorePlacement = [&stored](QWidget* w) { w->setGeometry(stored); };
  form.SavePlacement = [&stored](QWidget* w) { stored = w->geometry(); };

  ShowAndWait(form);
  EXPECT_EQ(form.geometry(), QRect(120, 80, 500, 300));
  form.setGeometry(60, 40, 600, 250);
  Settle();
  Click(Button(form, "ButtonOK"));
  EXPECT_EQ(stored, QRect(60, 40, 600, 250));

  ShowAndWait(form);
  EXPECT_EQ(form.geometry(), QRect(60, 40, 600, 250));
  // The buttons follow the restored size.
  QPushButton* ok = Button(form, "ButtonOK");
  QPushButton* save = Button(form, "ButtonSave");
  EXPECT_LE(std::abs(ok->x() - (600 - save->x() - save->width())), 2);
}

TEST(FormLogWindow, RestoringMaximisedFromTheHookDoesNotRecurse) {
  TFormLog form;
  int restored = 0;
  form.RestorePlacement = [&restored](QWidget* w) {
    ++restored;
    w->move(10, 20);
    w->showMaximized();  // shows the window again from inside the hook
  };
  ShowAndWait(form);
  EXPECT_EQ(restored, 1);
  EXPECT_TRUE(form.isMaximized());
  Settle();
  // Maximised, the buttons are still centred in the wider panel.
  QPushButton* ok = Button(form, "ButtonOK");
  QPushButton* save = Button(form, "ButtonSave");
  EXPECT_LE(std::abs(ok->x() - (Panel(form)->width() - save->x() - save->width())), 2);
}
