#pragma once
// Runs a script file with the "Host" object, the way the command line does:
//   script FILE [--arg NAME=VALUE]... [--timeout S] [--files DIR]... [--no-files]
// Every "%NAME" in the file's text is replaced by VALUE as data before the run (see
// SubstitutePlaceholders in ScriptLiteral.h): '%NAME' and %NAME both give a string equal
// to VALUE, whatever it holds. Each Host.Echo and Host.Alert text is written to out
// followed by a line break; a script error is written to err as
// "错误：行号 <1-based line>, <description>".
// The script may use any file unless --files names the folders it may use or --no-files
// allows none; Host.CreateObject is offered. --timeout stops a script that runs longer
// than S seconds (0, the default, is no limit).

#include <QString>
#include <QStringList>
#include <atomic>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace script {

// The file's text split into lines at CR LF, LF or CR.
QStringList SplitLines(const QString& text);

// Returns the exit code: 0 after a run without error, 1 after a script error (a time-out
// included) or when the file cannot be read, 2 for wrong arguments, 130 when *stop became
// true during the run (the script is stopped as soon as it can be).
int RunScriptFile(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::atomic<bool>* stop = nullptr);

inline constexpr char kScriptUsage[] =
    "FILE [--arg NAME=VALUE]... [--timeout S] [--files DIR]... [--no-files]";

}  // namespace script
