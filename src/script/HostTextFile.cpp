#include "script/HostTextFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "script/Scriptlet.h"

namespace script {
namespace {
constexpr qint64 kMaxReadSize = qint64(256) << 20;

std::optional<QByteArray> realPath(const QByteArray& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr),
                                                       &std::free);
  if (!resolved) return std::nullopt;
  return QByteArray(resolved.get());
}

// The resolved path of a file that may not exist yet; a link to a file that does not exist
// yet is followed to where that file would be.
std::optional<QByteArray> resolveTarget(const QByteArray& path, int linksLeft = 40) {
  struct stat st {};
  if (::lstat(path.constData(), &st) == 0) {
    if (std::optional<QByteArray> resolved = realPath(path)) return resolved;
    if (!S_ISLNK(st.st_mode) || errno != ENOENT || linksLeft == 0) return std::nullopt;
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.constData(), target.data(), target.size());
    if (length <= 0 || length >= target.size()) return std::nullopt;
    target.truncate(length);
    if (!target.startsWith('/')) {
      const qsizetype slash = path.lastIndexOf('/');
      target = (slash < 0 ? QByteArray() : path.left(slash + 1)) + target;
    }
    return resolveTarget(target, linksLeft - 1);
  }
  if (errno != ENOENT) return std::nullopt;
  const qsizetype slash = path.lastIndexOf('/');
  const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/")
                                                                     : path.left(slash);
  const QByteArray name = path.mid(slash + 1);
  if (name.isEmpty() || name == "." || name == "..") return std::nullopt;
  const std::optional<QByteArray> resolvedFolder = realPath(folder);
  if (!resolvedFolder) return std::nullopt;
  return (*resolvedFolder == "/" ? QByteArray() : *resolvedFolder) + '/' + name;
}

bool inside(const QByteArray& path, const QByteArray& folder) {
  if (folder == "/") return true;
  return path == folder || (path.startsWith(folder) && path[folder.size()] == '/');
}

}  // namespace

std::optional<QString> ContainedPath(const QString& fileName, const TScriptLimits& limits) {
  if (limits.AllFiles) return fileName;
  if (limits.FileFolders.isEmpty()) {
    throw ScriptletError(
        QStringLiteral("File \"%1\" is out of reach: this script may not use files")
            .arg(fileName)
            .toStdString());
  }
  if (fileName.isEmpty() || fileName.contains(QChar(0))) return std::nullopt;
  const std::optional<QByteArray> target = resolveTarget(QFile::encodeName(fileName));
  if (!target) return std::nullopt;
  for (const QString& folder : limits.FileFolders) {
    if (folder.isEmpty()) continue;
    const std::optional<QByteArray> resolvedFolder = realPath(QFile::encodeName(folder));
    if (resolvedFolder && inside(*target, *resolvedFolder)) return QFile::decodeName(*target);
  }
  throw ScriptletError(
      QStringLiteral("File \"%1\" is out of reach: it is outside the folders this script may use")
          .arg(fileName)
          .toStdString());
}

QString DecodeHostText(const QByteArray& bytes) {
  const bool evenSize = bytes.size() % 2 == 0;
  // Text saved as "Unicode" by Windows tools starts with FF FE; its second byte is not 0
  // but it is UTF-16 all the same.
  const bool byteOrderMark =
      bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE;
  if (evenSize && bytes.size() >= 2 && (bytes[1] == 0 || byteOrderMark)) {
    const qsizetype skip = byteOrderMark ? 2 : 0;
    QString text(bytes.size() / 2 - skip / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = skip; i + 1 < bytes.size(); i += 2) {
      *out++ = QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8)));
    }
    return text;
  }
  return QString::fromUtf8(bytes);
}

QString ReadHostText(const QString& fileName) {
  // Only regular files: a device or a pipe could be endless or block the script forever.
  const QFileInfo info(fileName);
  if (!info.isFile()) return {};
  if (info.size() > kMaxReadSize) {
    throw std::runtime_error(
        QStringLiteral("File \"%1\" is too large to read as text").arg(fileName).toStdString());
  }
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeHostText(file.readAll());
}

void WriteHostText(const QString& fileName, const QString& text) {
  if (text.isEmpty()) return;
  QSaveFile file(fileName);
  // A writable file in a folder where no new file can be made is written in place.
  file.setDirectWriteFallback(true);
  const QByteArray bytes = text.toUtf8();
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    throw std::runtime_error(QStringLiteral("Cannot write file \"%1\": %2")
                                 .arg(fileName, file.errorString())
                                 .toStdString());
  }
}

}  // namespace script
