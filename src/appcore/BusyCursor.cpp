#include "appcore/BusyCursor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace app {

namespace {
int busyCount = 0;
bool busyCursorShown = false;  // without a GUI application there is no cursor to set
}  // namespace

void BeginBusy() {
  if (++busyCount == 1 && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    busyCursorShown = true;
  }
}

void EndBusy() {
  if (busyCount <= 0) return;
  if (--busyCount == 0 && busyCursorShown) {
    QGuiApplication::restoreOverrideCursor();
    busyCursorShown = false;
  }
}

int BusyCount() { return busyCount; }

}  // namespace app
