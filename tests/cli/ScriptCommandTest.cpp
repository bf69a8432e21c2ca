// wizconv-cli script: a script file run with the Host object.
#include <gtest/gtest.h>

#include "TestSupport.h"

using testsupport::ProgramPath;
using testsupport::RunProcess;

TEST(ScriptCommand, EchoesInOrderAndReportsErrorsWithTheirLine) {
  testsupport::TempDir dir;
  struct Case {
    std::string script;
    std::vector<std::string> args;
    int exitCode;
    std::string out;
    std::string errStart;
  };
  const Case cases[] = {
      {"Host.Echo('one');\nHost.alert('two');\nhost.Echo('lower-case object');\n",
       {},
       1,
       "one\ntwo\n",
       "错误：行号 3, "},
      {"Host.Echo('%who says ' + parseInt('42px', 10));\n",
       {"--arg", "who=视频"},
       0,
       "视频 says 42\n",
       ""},
      {"var s = unescape('a%20b%3Dc').split('=');\nHost.Echo(s[1] + s[0].substr(1));\n",
       {},
       0,
       "c b\n",
       ""},
      {"Host.Echo('before');\nfunction (\n", {}, 1, "", "错误：行号 2, "},
      {std::string("\xFF\xFE\x00garbage\x01", 12), {}, 1, "", "错误：行号 1, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const auto file = dir.write("s.js", c.script);
    std::vector<std::string> argv = {ProgramPath("wizconv-cli"), "script", file.string()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    auto r = RunProcess(argv);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << r.err;
  }
  auto missing =
      RunProcess({ProgramPath("wizconv-cli"), "script", (dir.path() / "none.js").string()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(missing.err.empty());
}
