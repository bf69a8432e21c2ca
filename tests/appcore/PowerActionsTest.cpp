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
#include "appcore/PowerActions.h"

using namespace app;
using dialogtest::whenDialogShows;
using dialogtest::buttonWithText;

TEST(PowerActionsTest, PowerActionsGoToTheInstalledHandler) {
  std::vector<int> kinds;
  SetPowerActionHandler([&](int kind) { kinds.push_back(kind); });
  PowerAction(1);
  PowerAction(0);
  PowerAction(5);
  SetPowerActionHandler(nullptr);
  EXPECT_EQ(kinds, (std::vector<int>{1, 0, 5}));
  EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", true));

  const struct {
    int kind;
    const char* method;
  } methods[] = {{0, ""},          {1, "PowerOff"}, {2, "PowerOff"}, {3, "Reboot"},
                 {4, "Hibernate"}, {5, "Suspend"},  {6, ""},         {-1, ""}};
  for (const auto& m : methods) EXPECT_EQ(LogindMethodForPowerKind(m.kind), m.method) << m.kind;
}
