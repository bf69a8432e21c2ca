#include "appcore/DesktopShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

}  // namespace app
