#include "appcore/PowerActions.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QtGlobal>

namespace app {

bool EnablePrivilege(const std::string&, bool) { return true; }

std::string LogindMethodForPowerKind(int kind) {
  switch (kind) {
    case 1:
    case 2:
      return "PowerOff";
    case 3:
      return "Reboot";
    case 4:
      return "Hibernate";
    case 5:
      return "Suspend";
    default:
      return {};
  }
}

namespace {

std::function<void(int)>& powerActionHandler() {
  static std::function<void(int)> handler;
  return handler;
}

void performPowerAction(int kind) {
  if (kind == 0) {
    QCoreApplication::exit(0);
    return;
  }
  const std::string method = LogindMethodForPowerKind(kind);
  if (method.empty()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
      QString::fromStdString(method));
  // Interactive: when the system asks for a password, the user is asked instead of the
  // request failing silently.
  call << true;
  const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::BlockWithGui, 10000);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    qWarning("Power action %s refused: %s", method.c_str(), qPrintable(reply.errorMessage()));
  }
}

}  // namespace

void PowerAction(int kind) {
  if (const auto& handler = powerActionHandler()) {
    handler(kind);
    return;
  }
  EnablePrivilege("SeShutdownPrivilege", true);
  performPowerAction(kind);
  EnablePrivilege("SeShutdownPrivilege", false);
}

void SetPowerActionHandler(std::function<void(int)> handler) {
  powerActionHandler() = std::move(handler);
}

}  // namespace app
