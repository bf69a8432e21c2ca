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
#include "appcore/BusyCursor.h"

using namespace app;
using dialogtest::whenDialogShows;
using dialogtest::buttonWithText;

TEST(BusyCursorTest, BusyCursorCountsAndNeverRestoresSomeoneElsesCursor) {
  ASSERT_EQ(BusyCount(), 0);
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  EndBusy();  // without BeginBusy: nothing changes
  EXPECT_EQ(BusyCount(), 0);

  // Another part of the program shows its own cursor; an unmatched EndBusy must keep it.
  QApplication::setOverrideCursor(Qt::PointingHandCursor);
  EndBusy();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
  QApplication::restoreOverrideCursor();

  BeginBusy();
  BeginBusy();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndBusy();
  EXPECT_EQ(BusyCount(), 1);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndBusy();
  EXPECT_EQ(BusyCount(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EndBusy();
  EXPECT_EQ(BusyCount(), 0);
}
