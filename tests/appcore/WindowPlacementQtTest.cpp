#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "TestSupport.h"
#include "appcore/IniFile.h"
#include "appcore/WindowPlacementQt.h"

using namespace app;

namespace {

struct Screen {
  int width, height;
};
Screen primaryScreen() {
  const QRect g = QGuiApplication::primaryScreen()->geometry();
  return {g.width(), g.height()};
}

}  // namespace

TEST(WindowPlacementQtTest, RestoreMovesAFixedWindowWithoutResizingIt) {
  testsupport::TempDir dir;
  const Screen screen = primaryScreen();
  const auto path = dir.write("s.dat",
                              "[Form]\nx=5000\ny=3\nheight=100\nwidth=100\nmaximized=0\n"
                              "[Maxed]\nx=12\ny=34\nmaximized=1\n");
  SettingsStore store(path.string());

  QWidget fixed;
  fixed.setFixedSize(300, 200);
  EXPECT_TRUE(RestoreWindowPlacement(store, "Form", &fixed));
  // The stored width (100) is not the window's: the window's own width is what must fit.
  EXPECT_EQ(fixed.pos(), QPoint(screen.width - 300, 3));
  EXPECT_EQ(fixed.size(), QSize(300, 200));
  EXPECT_FALSE(fixed.windowState() & Qt::WindowMaximized);

  QWidget maxed;
  maxed.setFixedSize(300, 200);
  maxed.setWindowState(Qt::WindowNoState);
  RestoreWindowPlacement(store, "Maxed", &maxed);
  EXPECT_EQ(maxed.pos(), QPoint(12, 34));
  EXPECT_TRUE(maxed.windowState() & Qt::WindowMaximized);

  // A section that is not there keeps the window where it is and makes it normal.
  QWidget unmoved;
  unmoved.setFixedSize(300, 200);
  unmoved.move(20, 30);
  unmoved.setWindowState(Qt::WindowMaximized);
  const QRect before = unmoved.geometry();
  RestoreWindowPlacement(store, "Missing", &unmoved);
  EXPECT_EQ(unmoved.geometry(), before);
  EXPECT_FALSE(unmoved.windowState() & Qt::WindowMaximized);
}

TEST(WindowPlacementQtTest, ResizableWindowsGetTheirStoredSizeWithinTheScreen) {
  testsupport::TempDir dir;
  const Screen screen = primaryScreen();
  const auto path = dir.write("s.dat",
                              "[FormLog]\nx=-40\ny=10\nheight=150\nwidth=250\nmaximized=0\n"
                              "[Huge]\nx=0\ny=0\nheight=99999\nwidth=99999\n");
  SettingsStore store(path.string());
  QWidget log;
  log.resize(400, 300);
  RestoreWindowPlacement(store, "FormLog", &log);
  EXPECT_EQ(log.pos(), QPoint(0, 10));
  EXPECT_EQ(log.size(), QSize(250, 150));

  QWidget huge;
  RestoreWindowPlacement(store, "Huge", &huge);
  EXPECT_EQ(huge.size(), QSize(screen.width, screen.height));
}

TEST(WindowPlacementQtTest, SaveWritesTheWindowsPlacement) {
  testsupport::TempDir dir;
  SettingsStore store(dir.str() + "/s.dat");
  QWidget window;
  window.setFixedSize(320, 240);
  window.move(15, 25);
  SaveWindowPlacement(store, "Form", &window);
  const IniFile ini = IniFile::Load(store.Path());
  EXPECT_EQ(ini.Keys("Form"), (std::vector<std::string>{"x", "y", "height", "width", "maximized"}));
  EXPECT_EQ(ini.Value("Form", "x"), "15");
  EXPECT_EQ(ini.Value("Form", "y"), "25");
  EXPECT_EQ(ini.Value("Form", "height"), "240");
  EXPECT_EQ(ini.Value("Form", "width"), "320");
  EXPECT_EQ(ini.Value("Form", "maximized"), "0");

  // Save then restore brings a second window to the same place.
  QWidget other;
  other.setFixedSize(320, 240);
  RestoreWindowPlacement(store, "Form", &other);
  EXPECT_EQ(other.pos(), QPoint(15, 25));
}

TEST(WindowPlacementQtTest, AMaximizedWindowKeepsTheSizeItReturnsTo) {
  testsupport::TempDir dir;
  SettingsStore store(dir.str() + "/s.dat");
  QWidget window;
  window.resize(320, 240);
  window.move(40, 50);
  window.show();
  const WindowPlacement normal = CurrentWindowPlacement(&window);
  window.showMaximized();
  QCoreApplication::processEvents();
  ASSERT_TRUE(window.isMaximized());
  ASSERT_NE(window.size(), QSize(320, 240));  // maximizing took the screen
  SaveWindowPlacement(store, "FormLog", &window);

  // Stored: the normal place and size, and the flag; not the size of the screen.
  WindowPlacement expected = normal;
  expected.maximized = true;
  EXPECT_EQ(store.ReadWindowPlacement("FormLog", WindowPlacement{}), expected);
  EXPECT_EQ(normal.width, 320);
  EXPECT_EQ(normal.height, 240);
}
