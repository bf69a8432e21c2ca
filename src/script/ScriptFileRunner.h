#pragma once
// Runs a script file with the "Host" object, the way the command line does:
//   script FILE [--arg NAME=VALUE]...
// Every "%NAME" in the file's text is replaced by VALUE before the run, in one pass (a
// value is never searched again, and the longest NAME wins where several match). Each
// Host.Echo and Host.Alert text is written to out followed by a line break; a script
// error is written to err as "错误：行号 <1-based line>, <description>".

#include <QString>
#include <QStringList>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace script {

// Replaces every "%NAME" of the map's names in text, scanning once from left to right.
QString SubstitutePlaceholders(const QString& text, const std::map<QString, QString>& values);

// The file's text split into lines at CR LF, LF or CR.
QStringList SplitLines(const QString& text);

// Returns the exit code: 0 after a run without error, 1 after a script error or when the
// file cannot be read, 2 for wrong arguments.
int RunScriptFile(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

inline constexpr char kScriptUsage[] = "FILE [--arg NAME=VALUE]...";

}  // namespace script
