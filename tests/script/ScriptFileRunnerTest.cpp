// The command line's script runner: arguments, placeholders, output and exit codes.
#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"
#include "script/ScriptFileRunner.h"
#include "script/ScriptLiteral.h"

namespace {

using script::RunScriptFile;
using testsupport::TempDir;

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome runFile(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = RunScriptFile(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(ScriptFileRunner, EchoAndAlertAreLinesOnStandardOutput) {
  TempDir dir;
  const auto file = dir.write("ok.js", "Host.Echo('one');\r\nHost.Alert('二');\nHost.Echo('');\n");
  const Outcome o = runFile({file.string()});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, "one\n二\n\n");
  EXPECT_EQ(o.err, "");
}

TEST(ScriptFileRunner, AnErrorIsReportedWithItsOneBasedLine) {
  TempDir dir;
  const struct {
    const char* text;
    const char* expectedErr;
  } cases[] = {
      {"Host.Echo('a');\nHost.Echo('b');\nmissing();\nHost.Echo('d');",
       "错误：行号 3, ReferenceError: missing is not defined\n"},
      {"Host.Echo('a');\r\nvar = 1;", "错误：行号 2, SyntaxError: Expected token `identifier'\n"},
  };
  for (const auto& c : cases) {
    const auto file = dir.write("bad.js", c.text);
    const Outcome o = runFile({file.string()});
    EXPECT_EQ(o.code, 1) << c.text;
    EXPECT_EQ(o.err, c.expectedErr) << c.text;
  }
  EXPECT_EQ(runFile({dir.write("runtime.js", "Host.Echo('a');\nmissing();").string()}).out, "a\n");
}

TEST(ScriptFileRunner, ArgumentsFillTheirPlaceholders) {
  TempDir dir;
  const auto file =
      dir.write("args.js", "Host.Echo('%get_video_info');\nHost.Echo('%get|%unknown|100%');");
  const Outcome o =
      runFile({file.string(), "--arg", "get_video_info=a%20b&c=%get", "--arg", "get=short"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out, "a%20b&c=%get\nshort|%unknown|100%\n");
}

TEST(ScriptFileRunner, BadArgumentsAndUnreadableFiles) {
  TempDir dir;
  const auto file = dir.write("x.js", "Host.Echo('x');");
  const struct {
    std::vector<std::string> args;
    int code;
    const char* errPart;
  } cases[] = {
      {{}, 2, "usage"},
      {{file.string(), "--arg"}, 2, "usage"},
      {{file.string(), "--arg", "novalue"}, 2, "NAME=VALUE"},
      {{file.string(), "--arg", "=x"}, 2, "NAME=VALUE"},
      {{file.string(), "--frobnicate"}, 2, "usage"},
      {{file.string(), file.string()}, 2, "usage"},
      {{(dir.path() / "missing.js").string()}, 1, "cannot read"},
      {{dir.path().string()}, 1, "cannot read"},
  };
  for (const auto& c : cases) {
    const Outcome o = runFile(c.args);
    EXPECT_EQ(o.code, c.code) << o.err;
    EXPECT_NE(o.err.find(c.errPart), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

TEST(ScriptFileRunner, PlaceholdersAndLines) {
  const std::map<QString, QString> values{{"a", "1"}, {"ab", "2"}, {"x", "%a"}};
  const struct {
    const char* text;
    const char* expected;
  } substitutions[] = {// In code a value is a whole string literal; the longest name wins
                       // and a value is never searched again.
                       {"%a %ab %abc %x %", R"("1" "2" "2"c "\u0025a" %)"},
                       {"%%a", R"(%"1")"},
                       {"'%a %ab %abc %x %'", R"('1 2 2c \u0025a %')"},
                       {"", ""},
                       {"no placeholders", "no placeholders"}};
  for (const auto& c : substitutions) {
    EXPECT_EQ(script::SubstitutePlaceholders(c.text, values), c.expected) << c.text;
  }
  EXPECT_EQ(script::SplitLines("a\r\nb\nc\rd\n"), QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(script::SplitLines("a\n\nb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(script::SplitLines(""), QStringList());
}

}  // namespace
