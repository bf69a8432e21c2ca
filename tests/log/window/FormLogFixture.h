#pragma once
// Shared by the log-window tests: finding the window's parts and letting Qt settle.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "log/window/FormLog.h"

namespace logwindowtest {

inline QPushButton* Button(logwindow::TFormLog& form, const char* name) {
  auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
  EXPECT_NE(button, nullptr) << name;
  return button;
}

inline QPlainTextEdit* Memo(logwindow::TFormLog& form) {
  auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("MemoLog"));
  EXPECT_NE(memo, nullptr);
  return memo;
}

inline QWidget* Panel(logwindow::TFormLog& form) {
  auto* panel = form.findChild<QWidget*>(QStringLiteral("PanelBottom"));
  EXPECT_NE(panel, nullptr);
  return panel;
}

inline void Settle() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

inline void ShowAndWait(logwindow::TFormLog& form) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  Settle();
}

inline void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

}  // namespace logwindowtest
