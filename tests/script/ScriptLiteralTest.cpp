// Text from outside put into scripts as data: the string literal and the placeholders.
#include <gtest/gtest.h>

#include <random>

#include "ScriptRecorder.h"
#include "script/ScriptLiteral.h"

namespace {

using script::ScriptStringLiteral;
using script::SubstitutePlaceholders;

// Values made to end a literal, a comment or a template and run code ("Host.Alert"), and
// characters the engine or a text conversion could take for something else.
QStringList hostileValues() {
  const QString alert = "Host.Alert('code ran')";
  QStringList values = {
      "x\"; " + alert + "; \"",
      "x'); " + alert + "; ('",
      "x`+" + alert + "+`${" + alert + "}",
      "*/ " + alert + "; /*",
      "\n" + alert + "; //",
      "\r" + alert + "; //",
      "\r\n" + alert + "; //",
      QString(QChar(0x2028)) + alert + "; //",
      QString(QChar(0x2029)) + alert + "; //",
      "\\",
      "\\'",
      "\\u0027); " + alert + "; ('",
      "</script><script>" + alert + "</script>",
      "<!-- " + alert + " -->",
      "/ " + alert + " /",
      "%DOC %OTHER %",
      "$ { } ${} ` ' \"",
      "",
      " ",
      "plain words",
      QString::fromUtf8("中文 \xF0\x9F\x8E\xAC"),                  // CJK and a pair of surrogates
      QString::fromUtf8("bad \xC3\x28 \xFF\xFE utf-8"),              // invalid bytes, as decoded
      QString(QChar(0)) + "after NUL" + QChar(0),
  };
  values.push_back(QString(QChar(0xD800)) + "lone high");
  values.push_back("lone low" + QString(QChar(0xDC00)));
  values.push_back(QString(QChar(0xDC00)) + QChar(0xD800));  // a pair in the wrong order
  values.push_back(QString(QChar(0xFEFF)) + QChar(0x85) + QChar(0x7F) + QChar(0x1B) + "\t\v\f\b");
  return values;
}

TEST(ScriptLiteral, TheEngineReadsExactlyTheValueAndNothingRuns) {
  const QStringList values = hostileValues();
  // One script with every value in every place a placeholder can stand. Each value comes
  // back through Echo; an Alert would mean a value ran as code.
  QString text;
  std::map<QString, QString> placeholders;
  for (qsizetype i = 0; i < values.size(); ++i) {
    const QString name = QStringLiteral("V%1_").arg(i);
    placeholders[name] = values[i];
    const QString p = "%" + name;
    text += "Host.Echo(" + ScriptStringLiteral(values[i]) + ");\n";
    text += "Host.Echo(" + p + ");\n";
    text += "Host.Echo('" + p + "');\n";
    text += "Host.Echo(\"" + p + "\");\n";
    text += "Host.Echo(`" + p + "`);\n";
    text += "Host.Echo('[' + '<" + p + ">' + \"]\");\n";
    text += "Host.Echo(`(${1 + 1}" + p + "${'x'})`);\n";
    text += "// " + p + "\n/* " + p + " */ Host.Echo('after comments');\n";
    text += "Host.Echo(/^" + p + "$/.test(" + p + ") ? 'matched' : 'missed');\n";
    text += "var o = {k: " + p + "}; Host.Echo(o.k + (1 / 2) + " + p + ".length / 1);\n";
  }
  ScriptRecorder r;
  r.run(SubstitutePlaceholders(text, placeholders));
  ASSERT_TRUE(r.errors.empty()) << r.errors[0].Description.toStdString() << " on line "
                                << r.errors[0].Line;
  for (const QString& event : r.events) EXPECT_FALSE(event.startsWith("alert:")) << event.toStdString();
  ASSERT_EQ(r.echoes.size(), values.size() * 10);
  for (qsizetype i = 0; i < values.size(); ++i) {
    const QString& v = values[i];
    SCOPED_TRACE(v.toStdString());
    const QStringList expected = {v,
                                  v,
                                  v,
                                  v,
                                  v,
                                  "[<" + v + ">]",
                                  "(2" + v + "x)",
                                  "after comments",
                                  "matched",
                                  v + "0.5" + QString::number(v.size())};
    for (qsizetype k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(r.echoes[i * 10 + k], expected[k]) << "form " << k;
    }
  }
}

TEST(ScriptLiteral, ALiteralIsPrintableAsciiOnOneLine) {
  std::mt19937 random(20261211);
  QStringList values = hostileValues();
  // Random text from the troublesome corners of UTF-16.
  const char16_t corners[] = {0,      '\n',   '\r',   '"',    '\'',   '`',    '\\', '$',
                              '{',    '/',    '*',    '<',    '%',    0x2028, 0x2029, 0xD800,
                              0xDBFF, 0xDC00, 0xDFFF, 0xFEFF, 0xFFFF, 'a',    ' ',  0x7F};
  for (int n = 0; n < 200; ++n) {
    QString v;
    const int length = int(random() % 12);
    for (int k = 0; k < length; ++k) v += QChar(corners[random() % std::size(corners)]);
    values.push_back(v);
  }
  QString text;
  for (const QString& v : values) {
    const QString literal = ScriptStringLiteral(v);
    ASSERT_GE(literal.size(), 2);
    EXPECT_EQ(literal.front(), '"');
    EXPECT_EQ(literal.back(), '"');
    for (qsizetype k = 0; k < literal.size(); ++k) {
      const char16_t c = literal[k].unicode();
      EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "character " << int(c);
      if (k > 0 && k + 1 < literal.size()) {
        EXPECT_TRUE(c != '"' && c != '\'' && c != '`' && c != '/');
      }
    }
    text += "Host.Echo(" + literal + ");\n";
  }
  ScriptRecorder r;
  r.run(text);
  ASSERT_TRUE(r.errors.empty()) << r.errors[0].Description.toStdString();
  EXPECT_EQ(r.echoes, values);
}

TEST(ScriptLiteral, PlaceholdersByWhereTheyStand) {
  const std::map<QString, QString> values{{"a", "1"}, {"ab", "2"}, {"x", "%a"}, {"q", "'\""}};
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      // In code a value is a whole literal (see also the command line's tests); in a
      // literal, a template, a comment or a regular expression only the characters.
      {"'%q' \"%q\" `%q`", R"('\u0027\u0022' "\u0027\u0022" `\u0027\u0022`)"},
      {"'it\\'s %a' + %a", R"('it\'s 1' + "1")"},
      {"`${%a + '%a'}` + %a", R"(`${"1" + '1'}` + "1")"},
      {"// %q\n%a", "// \\u0027\\u0022\n\"1\""},
      {"/* %q */ %a", R"(/* \u0027\u0022 */ "1")"},
      {"x = /[/%q]/.test(%a); y = 4 / %a / 2", R"(x = /[/\u0027\u0022]/.test("1"); y = 4 / "1" / 2)"},
      {"return /%a/", R"(return /1/)"},
      {"f(a) / %a", R"(f(a) / "1")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SubstitutePlaceholders(c.text, values), QString::fromUtf8(c.expected)) << c.text;
  }
}

}  // namespace
