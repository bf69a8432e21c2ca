#pragma once
// Whole-file text reading and writing for scripts (Host.ReadText, Host.WriteText).

#include <QByteArray>
#include <QString>

namespace script {

// The file's text. A file whose size is even and whose second byte is 0 is UTF-16
// little-endian text, as is one that starts with the UTF-16 little-endian byte-order
// mark; any other file is UTF-8. An empty file or one that cannot be read gives "".
QString ReadHostText(const QString& fileName);
QString DecodeHostText(const QByteArray& bytes);

// Replaces the file with text in UTF-8. An empty text leaves the file as it is. The old
// file stays intact when the new one cannot be written completely (unless the folder
// allows no new file, when the file is written in place). Throws
// std::runtime_error with the reason on failure.
void WriteHostText(const QString& fileName, const QString& text);

}  // namespace script
