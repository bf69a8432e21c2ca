#pragma once
// Putting text from outside (a downloaded document, a command-line value) into a script
// as data that can never become code.

#include <QString>
#include <map>

namespace script {

// A JavaScript string literal, in double quotes, that the engine reads as exactly `value`:
// quotes, backslashes, line breaks, U+2028/U+2029, NUL, lone surrogates and "</script>"
// included. Only letters, digits and blanks of ASCII stand as they are; every other UTF-16
// unit is written as a \uXXXX escape, so the literal is printable ASCII on one line.
//
//   host.Lines = QStringList{"var doc = " + script::ScriptStringLiteral(document) + ";", ...};
QString ScriptStringLiteral(const QString& value);

// Replaces every "%NAME" of the map's names in a script text by its value as data, scanning
// once from left to right (a value is never searched again; the longest NAME wins where
// several match). Where the placeholder stands decides the form: inside a string or
// template literal ('%NAME', "a %NAME b") the value's characters are added to that literal,
// escaped as ScriptStringLiteral escapes them; in code (var x = %NAME;) it becomes a whole
// literal; in a comment or a regular-expression literal it stays inert text. So '%NAME'
// and %NAME both give a string equal to the value.
QString SubstitutePlaceholders(const QString& text, const std::map<QString, QString>& values);

}  // namespace script
