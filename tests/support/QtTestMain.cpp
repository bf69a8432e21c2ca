// main() for the tests that need a QApplication: widgets are real and offscreen.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/MainThread.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  core::MainThread::SetCurrentAsMain();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
