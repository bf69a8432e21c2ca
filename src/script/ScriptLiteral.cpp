#include "script/ScriptLiteral.h"

#include <algorithm>
#include <vector>

namespace script {
namespace {

bool plainAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u' ';
}

// The characters of the literal between its quotes. What it holds cannot end a string,
// template, comment or regular expression, cannot start a template substitution and
// holds no line break.
QString literalBody(const QString& value) {
  static const char16_t kHex[] = u"0123456789abcdef";
  QString body;
  body.reserve(value.size() * 2);
  for (const QChar qc : value) {
    const char16_t c = qc.unicode();
    if (plainAscii(c)) {
      body += qc;
      continue;
    }
    const char16_t escape[] = {u'\\',           u'u', kHex[(c >> 12) & 15], kHex[(c >> 8) & 15],
                               kHex[(c >> 4) & 15], kHex[c & 15]};
    body.append(reinterpret_cast<const QChar*>(escape), 6);
  }
  return body;
}

bool lineTerminator(char16_t c) {
  return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029;
}

bool identifierPart(char16_t c) {
  if (c == u' ') return false;
  return plainAscii(c) || c == u'_' || c == u'$' || c >= 0x80;
}

// After these words a "/" starts a regular expression, as after an operator.
bool expectsExpression(QStringView word) {
  static const char16_t* const kWords[] = {u"return", u"typeof", u"instanceof", u"in",
                                           u"of",     u"new",    u"delete",     u"void",
                                           u"throw",  u"case",   u"do",         u"else",
                                           u"yield",  u"await"};
  for (const char16_t* w : kWords) {
    if (word == QStringView(w)) return true;
  }
  return false;
}

}  // namespace

QString ScriptStringLiteral(const QString& value) {
  return QLatin1Char('"') + literalBody(value) + QLatin1Char('"');
}

QString SubstitutePlaceholders(const QString& text, const std::map<QString, QString>& values) {
  if (values.empty()) return text;
  // A small lexer that knows just enough of the language to tell code from the inside of
  // a string, template, comment or regular expression.
  enum class Where { Code, String, Template, LineComment, BlockComment, Regex };
  Where where = Where::Code;
  char16_t quote = 0;
  bool regexClass = false;
  bool afterOperand = false;          // in code: a "/" here divides
  std::vector<bool> braces;           // in code: true for a brace that closes a ${ }
  QString result;
  result.reserve(text.size());
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    const char16_t c = text[i].unicode();
    if (c == u'%') {
      const QString* value = nullptr;
      qsizetype nameLength = 0;
      const QStringView rest = QStringView(text).mid(i + 1);
      for (const auto& [name, replacement] : values) {
        if (name.size() > nameLength && rest.startsWith(name)) {
          value = &replacement;
          nameLength = name.size();
        }
      }
      if (value) {
        if (where == Where::Code) {
          result += ScriptStringLiteral(*value);
          afterOperand = true;
        } else {
          result += literalBody(*value);
        }
        i += 1 + nameLength;
        continue;
      }
    }
    const char16_t next = i + 1 < n ? text[i + 1].unicode() : 0;
    qsizetype take = 1;
    switch (where) {
      case Where::Code:
        if (c == u'\'' || c == u'"') {
          where = Where::String;
          quote = c;
        } else if (c == u'`') {
          where = Where::Template;
        } else if (c == u'/' && next == u'/') {
          where = Where::LineComment;
          take = 2;
        } else if (c == u'/' && next == u'*') {
          where = Where::BlockComment;
          take = 2;
        } else if (c == u'/' && !afterOperand) {
          where = Where::Regex;
          regexClass = false;
        } else if (c == u'{') {
          braces.push_back(false);
          afterOperand = false;
        } else if (c == u'}') {
          const bool closesSubstitution = !braces.empty() && braces.back();
          if (!braces.empty()) braces.pop_back();
          if (closesSubstitution) where = Where::Template;
          // A block's end may be followed by a division or an expression; taking it as an
          // operand is the reading under which a misjudged "/" is least surprising.
          afterOperand = true;
        } else if (identifierPart(c)) {
          qsizetype end = i;
          while (end < n && identifierPart(text[end].unicode())) ++end;
          afterOperand = !expectsExpression(QStringView(text).mid(i, end - i));
          take = end - i;
        } else if (c == u')' || c == u']') {
          afterOperand = true;
        } else if (!QChar(c).isSpace() && !lineTerminator(c)) {
          afterOperand = false;
        }
        break;
      case Where::String:
        if (c == u'\\') {
          take = next == u'\r' && i + 2 < n && text[i + 2] == u'\n' ? 3 : 2;
        } else if (c == quote || lineTerminator(c)) {
          where = Where::Code;
          afterOperand = true;
        }
        break;
      case Where::Template:
        if (c == u'\\') {
          take = 2;
        } else if (c == u'`') {
          where = Where::Code;
          afterOperand = true;
        } else if (c == u'$' && next == u'{') {
          braces.push_back(true);
          where = Where::Code;
          afterOperand = false;
          take = 2;
        }
        break;
      case Where::LineComment:
        if (lineTerminator(c)) where = Where::Code;
        break;
      case Where::BlockComment:
        if (c == u'*' && next == u'/') {
          where = Where::Code;
          take = 2;
        }
        break;
      case Where::Regex:
        if (c == u'\\') {
          take = 2;
        } else if (c == u'[') {
          regexClass = true;
        } else if (c == u']') {
          regexClass = false;
        } else if ((c == u'/' && !regexClass) || lineTerminator(c)) {
          where = Where::Code;
          afterOperand = true;  // the flags that may follow read as an identifier
        }
        break;
    }
    take = std::min(take, n - i);
    result += QStringView(text).mid(i, take);
    i += take;
  }
  return result;
}

}  // namespace script
