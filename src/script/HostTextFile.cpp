#include "script/HostTextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <stdexcept>

namespace script {
namespace {
constexpr qint64 kMaxReadSize = qint64(256) << 20;
}  // namespace

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
