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
#include "appcore/FolderDialog.h"

using namespace app;
using dialogtest::whenDialogShows;
using dialogtest::buttonWithText;

TEST(FolderDialogTest, SelectFolderReturnsTheChosenFolderOnlyOnOk) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.path() / "start");
  std::filesystem::create_directories(dir.path() / "chosen 目录");
  const std::string start = (dir.path() / "start").string();
  const std::string chosen = (dir.path() / "chosen 目录").string();

  std::string folder = start;
  whenDialogShows<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->windowTitle(), "请选择一个文件夹");
    EXPECT_EQ(d->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(d->directory().absolutePath().toStdString(), start);
    d->reject();
  });
  EXPECT_FALSE(SelectFolder(nullptr, folder, "请选择一个文件夹"));
  EXPECT_EQ(folder, start);

  whenDialogShows<QFileDialog>([&](QFileDialog* d) {
    // The user goes into the folder and confirms it.
    d->setDirectory(QString::fromStdString(chosen));
    static_cast<QDialog*>(d)->accept();  // as the dialog's own OK button does
  });
  EXPECT_TRUE(SelectFolder(nullptr, folder, "请选择一个文件夹"));
  EXPECT_EQ(folder, chosen);
}
