#include "app/ShellUtils.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

#include "app/MessageDialog.h"

namespace app {

std::string GetShellFolder(const std::string& name) {
  QString folder;
  if (name == "AppData") {
    folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  } else if (name == "Personal") {
    folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // Output goes here by default: a documents folder the account does not have would make
    // every conversion fail, so the home folder stands in for it.
    if (!QFileInfo(folder).isDir()) folder.clear();
  }
  if (folder.isEmpty()) folder = QDir::homePath();
  return folder.toStdString();
}

QUrl ShellTargetUrl(const std::string& target) {
  const QString text = QString::fromStdString(target);
  if (text.isEmpty()) return QUrl();
  if (text.startsWith('/') || QFileInfo::exists(text)) {
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
  }
  if (text.startsWith("www.", Qt::CaseInsensitive)) return QUrl("http://" + text);
  const QUrl url(text, QUrl::TolerantMode);
  if (url.isValid() && url.scheme().size() > 1) return url;
  return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

void OpenWithShell(const std::string& target) { QDesktopServices::openUrl(ShellTargetUrl(target)); }

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

core::MessageAnswer MessageDialogWithButtons(const std::string& message, const std::string& caption,
                                             core::MessageKind kind,
                                             const std::vector<std::string>& buttonTexts) {
  auto box = CreateMessageDialog(message, caption, kind, QApplication::activeWindow());
  // The buttons in the order they are laid out, as the texts are meant for them.
  QList<QAbstractButton*> ordered;
  for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No}) {
    if (QAbstractButton* button = box->button(b)) ordered.push_back(button);
  }
  for (qsizetype i = 0; i < ordered.size() && i < static_cast<qsizetype>(buttonTexts.size()); ++i) {
    if (!buttonTexts[i].empty()) ordered[i]->setText(QString::fromStdString(buttonTexts[i]));
  }
  QApplication::beep();
  box->exec();
  return MessageDialogAnswer(*box);
}

bool SelectFolder(QWidget* owner, std::string& folder, const std::string& prompt) {
  const QString chosen =
      QFileDialog::getExistingDirectory(owner, QString::fromStdString(prompt),
                                        QString::fromStdString(folder), QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return false;
  folder = chosen.toStdString();
  return true;
}

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
