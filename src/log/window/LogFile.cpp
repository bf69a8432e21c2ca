#include "log/window/LogFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace logwindow {

std::string WriteLogFile(const std::string& path, const std::vector<std::string>& lines) {
  const QString fileName = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
  if (fileName.isEmpty()) return "no file name was given";
  if (QFileInfo(fileName).isDir()) return "it is a folder";

  QSaveFile file(fileName);
  // Folders where a temporary file cannot be made next to the target still get the log.
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  for (const std::string& line : lines) {
    file.write(line.data(), static_cast<qint64>(line.size()));
    file.write("\r\n", 2);
  }
  // QSaveFile remembers the first failed write and refuses to commit after it.
  if (!file.commit()) return file.errorString().toStdString();
  return {};
}

}  // namespace logwindow
