#pragma once
// Whole-file text reading and writing for scripts (Host.ReadText, Host.WriteText).

#include <QByteArray>
#include <QString>
#include <optional>

#include "script/ScriptTypes.h"

namespace script {

// The path under which a script with these limits may use fileName: with AllFiles the
// name itself; otherwise the name resolved (relative to the working folder, with "..",
// "." and symbolic links followed) when it lies in one of the limits' folders, also
// resolved. A name that does not exist yet, or a link to a file that does not, is resolved
// through its folder; nothing when that folder does not exist either. Throws
// ScriptletError when the resolved path lies outside the folders, or the limits allow no
// file at all.
std::optional<QString> ContainedPath(const QString& fileName, const TScriptLimits& limits);

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
