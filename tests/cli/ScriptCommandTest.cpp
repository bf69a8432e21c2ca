// wizconv-cli script: a script file run with the Host object.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

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

// A value given with --arg is data wherever its placeholder stands: text made to break out
// of a string, a comment or a template never runs.
TEST(ScriptCommand, AnArgumentValueNeverBecomesCode) {
  testsupport::TempDir dir;
  const std::string target = (dir.path() / "written.txt").string();
  const std::string write = "Host.WriteText('" + target + "', 'code ran')";
  const std::string values[] = {
      "x\"; " + write + "; \"",
      "x'); " + write + "; ('",
      "x`+" + write + "+`${" + write + "}",
      "*/ " + write + "; /*",
      "\n" + write + "; //",
      "\\",
      "</script><script>" + write + "</script>",
  };
  const struct {
    std::string script;
    int echoes;  // how many times the value comes out
  } scripts[] = {
      {"var doc = \"%DOC\";\nHost.Echo(doc);\n", 1},
      {"Host.Echo(\"%DOC\");\nHost.Echo('%DOC');\nHost.Echo(%DOC);\nHost.Echo(`%DOC`);\n"
       "// %DOC\n/* %DOC */\nHost.Echo(/^%DOC$/.test(%DOC) ? 'matched' : 'missed');\n",
       4},
  };
  for (const auto& s : scripts) {
    const auto file = dir.write("show.js", s.script);
    for (const std::string& value : values) {
      SCOPED_TRACE(s.script + value);
      const auto r = RunProcess(
          {ProgramPath("wizconv-cli"), "script", file.string(), "--arg", "DOC=" + value});
      EXPECT_EQ(r.exitCode, 0) << r.err;
      std::string expected;
      for (int i = 0; i < s.echoes; ++i) expected += value + "\n";
      if (s.echoes > 1) expected += "matched\n";
      EXPECT_EQ(r.out, expected);
      EXPECT_FALSE(std::filesystem::exists(target));
      std::filesystem::remove(target);
    }
  }
}

TEST(ScriptCommand, CtrlCTermAndTheTimeLimitStopAScriptThatNeverEnds) {
  testsupport::TempDir dir;
  const auto file = dir.write("loop.js", "Host.Echo('started');\nwhile (true) {}\n");
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    bool signalled = false;
    const auto started = std::chrono::steady_clock::now();
    const auto r = RunProcess({ProgramPath("wizconv-cli"), "script", file.string()}, "", 20,
                              [&](int pid, const testsupport::ProcessResult& soFar) {
                                if (!signalled && soFar.out == "started\n") {
                                  kill(pid, signal);
                                  signalled = true;
                                }
                              });
    ASSERT_TRUE(signalled) << r.err;
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.err, "wizconv-cli script: stopped\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
  const auto started = std::chrono::steady_clock::now();
  const auto r =
      RunProcess({ProgramPath("wizconv-cli"), "script", file.string(), "--timeout", "0.4"}, "", 20);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "started\n");
  EXPECT_NE(r.err.find("ran longer than the 0.4 s"), std::string::npos) << r.err;
  EXPECT_GE(took, std::chrono::milliseconds(400));
  EXPECT_LT(took, std::chrono::seconds(10));
  for (const char* bad : {"-1", "soon", "", "nan"}) {
    const auto refused =
        RunProcess({ProgramPath("wizconv-cli"), "script", file.string(), "--timeout", bad});
    EXPECT_EQ(refused.exitCode, 2) << bad;
    EXPECT_EQ(refused.out, "") << bad;
  }
}
