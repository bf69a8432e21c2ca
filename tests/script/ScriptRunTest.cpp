// Running a script: states, errors with their positions, stopping a script that does not
// end, runs that follow each other, and input that must not bring the host down.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJSEngine>
#include <random>

#include "ScriptRecorder.h"

namespace {

using script::TCustomScript;
using script::TScriptError;

TEST(ScriptRun, StatesEnterAndLeaveFollowTheRunAndClose) {
  ScriptRecorder r(true);
  EXPECT_EQ(r.run("Host.Echo('body');"),
            QStringList({"state:ssUninitialized", "state:ssInitialized", "state:ssStarted", "enter",
                         "echo:body", "leave", "state:ssConnected"}));
  r.events.clear();
  r.host.Close();
  EXPECT_EQ(r.events, QStringList({"state:ssDisconnected", "state:ssClosed"}));
  r.events.clear();
  r.host.Close();  // nothing left to close
  EXPECT_TRUE(r.events.isEmpty());
}

TEST(ScriptRun, ASecondExecuteClosesTheFirstEngineAndStartsAFreshOne) {
  ScriptRecorder r(true);
  r.run("var leftOver = 1; Host.Echo('one');");
  // Lines and the named objects persist; the engine's globals do not.
  EXPECT_EQ(r.run("Host.Echo(typeof leftOver);"),
            QStringList({"state:ssDisconnected", "state:ssClosed", "state:ssUninitialized",
                         "state:ssInitialized", "state:ssStarted", "enter", "echo:undefined",
                         "leave", "state:ssConnected"}));
  r.events.clear();
  r.host.Execute();
  EXPECT_TRUE(r.events.contains("echo:undefined"));
}

TEST(ScriptRun, ASyntaxErrorIsOneErrorWithItsPositionAndNothingRuns) {
  ScriptRecorder r(true);
  const QStringList events = r.run("Host.Echo('must not run');\nvar b = ;\nHost.Echo('nor this');");
  ASSERT_EQ(events.size(), 3);
  EXPECT_EQ(events.mid(0, 2), QStringList({"state:ssUninitialized", "state:ssInitialized"}));
  EXPECT_TRUE(events[2].startsWith("error:1:8:SyntaxError: ")) << events[2].toStdString();
  r.events.clear();
  r.host.Close();
  EXPECT_EQ(r.events, QStringList({"state:ssClosed"}));
}

TEST(ScriptRun, SyntaxErrorsThatTryToRunCodeAnywayRunNothing) {
  // Texts that would run their first statements if they were compiled piecewise or inside
  // a wrapper function.
  const char* texts[] = {
      "Host.Echo('x'); }); Host.Echo('y'); (function () {",
      "} Host.Echo('y'); {",
      "Host.Echo('x');\n}\nHost.Echo('y');\nfunction f() {",
      "Host.Echo('x'); return;",
      "Host.Echo('x');\n/* unterminated comment",
      "Host.Echo('x'); '\n';",
  };
  for (const char* text : texts) {
    ScriptRecorder r;
    r.run(text);
    EXPECT_EQ(r.errors.size(), 1u) << text;
    EXPECT_TRUE(r.echoes.isEmpty()) << text;
  }
}

TEST(ScriptRun, RuntimeErrorsReportTheLineWhereTheyHappenAndEndTheScript) {
  struct Case {
    const char* text;
    int line;
    const char* descriptionPart;
    QStringList echoes;
  };
  const Case cases[] = {
      {"Host.Echo('1');\nHost.Echo('2');\nnoSuchFunction();\nHost.Echo('4');",
       2,
       "not defined",
       {"1", "2"}},
      {"function f() {\n  return null.x;\n}\nHost.Echo('1');\nf();\nHost.Echo('6');",
       1,
       "TypeError",
       {"1"}},
      {"Host.Echo('1');\nthrow new Error('own words');\nHost.Echo('3');", 1, "own words", {"1"}},
      {"Host.Echo('1');\n\nthrow 'plain text';", 2, "plain text", {"1"}},
      {"Host.Echo('1');\nJSON.parse('{');", 1, "SyntaxError", {"1"}},
      {"Host.Echo('1');\nHost.Unknown();", 1, "doesn't support", {"1"}},
  };
  for (const Case& c : cases) {
    ScriptRecorder r(true);
    r.run(c.text);
    ASSERT_EQ(r.errors.size(), 1u) << c.text;
    EXPECT_EQ(r.errors[0].Line, c.line) << c.text;
    EXPECT_EQ(r.errors[0].Column, 0) << c.text;
    EXPECT_TRUE(r.errors[0].Description.contains(c.descriptionPart))
        << c.text << " -> " << r.errors[0].Description.toStdString();
    EXPECT_EQ(r.echoes, c.echoes) << c.text;
    // The run still ends as a whole: the error comes inside it and it is left normally.
    EXPECT_EQ(r.events.mid(r.events.size() - 3),
              QStringList({r.events[r.events.size() - 3], "leave", "state:ssConnected"}));
    EXPECT_TRUE(r.events[r.events.size() - 3].startsWith("error:")) << c.text;
  }
}

TEST(ScriptRun, LinesAreJoinedSoThatEachLineBreakCountsOnce) {
  ScriptRecorder r;
  r.host.Lines = QStringList{"var s = 'a\\", "b';", "Host.Echo(escape(s));", "Host.Echo(x);"};
  r.host.Execute();
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].Line, 3);
  EXPECT_EQ(r.echoes, QStringList({"ab"}));
}

TEST(ScriptRun, QueryContinueIsAskedOftenAndStopsAScriptThatNeverEnds) {
  ScriptRecorder r(true);
  QElapsedTimer clock;
  std::vector<qint64> asked;
  qint64 entered = -1;
  r.host.OnQueryContinue = [&](TCustomScript&, bool& allow) {
    EXPECT_TRUE(allow);
    asked.push_back(clock.elapsed());
    allow = clock.elapsed() < 500;
  };
  const auto noteEnter = r.host.OnEnter;
  r.host.OnEnter = [&](TCustomScript& sender) {
    entered = clock.elapsed();
    noteEnter(sender);
  };
  clock.start();
  r.run("Host.Echo('start');\nvar i = 0;\nwhile (true) { i++; }\nHost.Echo('never');");
  const qint64 took = clock.elapsed();
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_TRUE(r.errors[0].Description.contains("Interrupted"));
  EXPECT_EQ(r.echoes, QStringList({"start"}));
  EXPECT_TRUE(r.events.contains("leave"));
  EXPECT_GE(took, 500);
  EXPECT_LT(took, 2000);
  ASSERT_GE(asked.size(), 5u);
  ASSERT_GE(entered, 0);
  qint64 longestGap = asked.front() - entered;  // the script runs from OnEnter on
  for (size_t i = 1; i < asked.size(); ++i)
    longestGap = std::max(longestGap, asked[i] - asked[i - 1]);
  EXPECT_LE(longestGap, 100) << "OnQueryContinue asked " << asked.size() << " times";
  std::cout << "[ measured ] OnQueryContinue asked " << asked.size() << " times in " << took
            << " ms, longest gap " << longestGap << " ms\n";

  // The host is usable again afterwards.
  r.host.OnQueryContinue = nullptr;
  r.run("Host.Echo('again');");
  EXPECT_EQ(r.echoes, QStringList({"again"}));
  EXPECT_TRUE(r.errors.empty());
}

TEST(ScriptRun, QueryContinueStopsALoopThatKeepsCallingTheHost) {
  ScriptRecorder r;
  int asked = 0;
  r.host.OnQueryContinue = [&](TCustomScript&, bool& allow) { allow = ++asked < 3; };
  r.run("for (var i = 0; ; ++i) Host.Echo(i);");
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_GT(r.echoes.size(), 1);
  EXPECT_EQ(asked, 3);
}

TEST(ScriptRun, CloseFromAHandlerStopsTheScriptAndSilencesTheHost) {
  ScriptRecorder r(true);
  auto host = std::static_pointer_cast<script::THostScriptlet>(r.host.FindScriptlet("Host"));
  const auto echo = host->OnEcho;
  host->OnEcho = [&](script::THostScriptlet& sender, const QString& text) {
    echo(sender, text);
    if (text == "stop") r.host.Close();
  };
  r.run("Host.Echo('go');\nHost.Echo('stop');\nwhile (true) Host.Echo('more');");
  EXPECT_EQ(r.events, QStringList({"state:ssUninitialized", "state:ssInitialized",
                                   "state:ssStarted", "enter", "echo:go", "echo:stop"}));
  r.run("Host.Echo('later');");
  EXPECT_TRUE(r.events.contains("echo:later"));

  // Closing from an event before the script starts: it never runs, even a loop that
  // would ask nobody whether to go on.
  for (auto closeOn : {script::TScriptState::ssUninitialized, script::TScriptState::ssInitialized,
                       script::TScriptState::ssStarted}) {
    ScriptRecorder early(true);
    const auto note = early.host.OnStateChange;
    early.host.OnStateChange = [&](TCustomScript& sender, script::TScriptState state) {
      note(sender, state);
      if (state == closeOn) sender.Close();
    };
    const QStringList events = early.run("Host.Echo('x');\nwhile (true) {}");
    EXPECT_EQ(events.last(), QStringLiteral("state:") + script::ScriptStateName(closeOn));
    EXPECT_TRUE(early.echoes.isEmpty());
  }
}

TEST(ScriptRun, ExecuteFromItsOwnHandlerIsAScriptError) {
  ScriptRecorder r;
  auto host = std::static_pointer_cast<script::THostScriptlet>(r.host.FindScriptlet("Host"));
  host->OnAlert = [&](script::THostScriptlet&, const QString&) { r.host.Execute(); };
  r.run("Host.Alert('again');\nHost.Echo('not reached');");
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_TRUE(r.errors[0].Description.contains("already running"));
  EXPECT_TRUE(r.echoes.isEmpty());
}

class BrokenEngineScript : public TCustomScript {
 public:
  bool throwInstead = false;

 protected:
  std::unique_ptr<QJSEngine> CreateEngine() override {
    if (throwInstead) throw std::runtime_error("no engine here");
    return nullptr;
  }
};

TEST(ScriptRun, AnEngineThatCannotBeMadeRaisesFromExecute) {
  for (bool throwInstead : {false, true}) {
    BrokenEngineScript broken;
    broken.throwInstead = throwInstead;
    bool errorEvent = false;
    broken.OnError = [&](TCustomScript&, const TScriptError&) { errorEvent = true; };
    broken.Lines = QStringList{"1;"};
    EXPECT_THROW(broken.Execute(), std::runtime_error);
    EXPECT_FALSE(errorEvent);
    broken.Close();
  }
}

TEST(ScriptRun, ErrorsWithoutAnErrorHandlerAreDropped) {
  script::TJavaScript host;
  for (const char* text : {"var = ;", "undefinedThing();", "throw 1;"}) {
    host.Lines = QStringList{text};
    EXPECT_NO_THROW(host.Execute()) << text;
  }
}

TEST(ScriptRunBadInput, RandomBytesGiveOneErrorReport) {
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    std::mt19937 random(seed);
    QByteArray bytes;
    for (int i = 0; i < 8192; ++i) bytes.append(char(random() & 0xFF));
    ScriptRecorder r;
    r.host.Lines = QStringList{QString::fromUtf8(bytes)};
    r.host.Execute();
    EXPECT_EQ(r.errors.size(), 1u) << "seed " << seed;
    EXPECT_TRUE(r.echoes.isEmpty());
  }
}

TEST(ScriptRunBadInput, AOneMegabyteStringLiteralPassesThroughWhole) {
  QString big;
  big.reserve(1 << 20);
  for (int i = 0; i < (1 << 20); ++i) big.append(QChar(u'a' + i % 26));
  ScriptRecorder r;
  r.run("var s = '" + big + "';\nHost.Echo(s.length);\nHost.Echo(s);");
  ASSERT_TRUE(r.errors.empty());
  ASSERT_EQ(r.echoes.size(), 2);
  EXPECT_EQ(r.echoes[0], "1048576");
  EXPECT_TRUE(r.echoes[1] == big);
}

TEST(ScriptRunBadInput, SelfContainingAndDeeplyNestedArraysDoNotCrash) {
  struct Case {
    const char* text;
    const char* echo;  // nullptr: the script ends with a RangeError instead
  };
  const Case cases[] = {
      {"var a = [1, 2]; a.push(a);\nHost.Echo(String(a));", "1,2,"},
      {"var a = [1]; a.push(a);\nHost.Echo(a.join('-'));", "1-"},
      {"var a = [1]; a.push(a);\nHost.Echo(a.toLocaleString());", "1,"},
      {"var a = [3, 1]; a.push(a);\nHost.Echo(a.sort().length);", "3"},
      {"var a = [[1, [2]], 3, , null, undefined];\nHost.Echo(a.join('|') + ';' + a);",
       "1,2|3|||;1,2,3,,,"},
      {"Host.Echo([1, [2, [3, [4]]]].flat(Infinity).join());", "1,2,3,4"},
      {"Host.Echo([1, [2, [3]]].flat().length);", "3"},
      {"Host.Echo(Array.prototype.join.call({length: 2, 0: 'x', 1: 'y'}, '+'));", "x+y"},
      {"var x = []; for (var i = 0; i < 1000000; i++) x = [x];\nHost.Echo(String(x).length);",
       nullptr},
      {"var a = [1]; a.push(a);\nHost.Echo(a.flat(Infinity).length);", nullptr},
  };
  for (const Case& c : cases) {
    ScriptRecorder r;
    r.run(c.text);
    if (c.echo) {
      EXPECT_TRUE(r.errors.empty()) << c.text;
      EXPECT_EQ(r.echoes, QStringList({c.echo})) << c.text;
    } else {
      ASSERT_EQ(r.errors.size(), 1u) << c.text;
      EXPECT_TRUE(r.errors[0].Description.startsWith("RangeError")) << c.text;
    }
  }
}

TEST(ScriptRunBadInput, DeeplyNestedRegularExpressionsDoNotCrash) {
  // The expression compiler recurses once per group; 120000 groups overflowed an
  // ordinary 8 MB thread stack.
  const QString groups =
      QString(120000, QLatin1Char('(')) + "a" + QString(120000, QLatin1Char(')'));
  const QString texts[] = {
      "var r = new RegExp('" + groups + "');\nHost.Echo(r.test('a'));",
      "var r = /" + groups + "/;\nHost.Echo(r.test('b'));",
  };
  const QStringList expected[] = {{"true"}, {"false"}};
  for (int i = 0; i < 2; ++i) {
    ScriptRecorder r;
    r.run(texts[i]);
    EXPECT_TRUE(r.errors.empty()) << i;
    EXPECT_EQ(r.echoes, expected[i]) << i;
  }
  // Beyond the compiler's own size limit it is a syntax error.
  ScriptRecorder r;
  r.run("new RegExp('" + QString(600000, QLatin1Char('(')) + "');");
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_TRUE(r.errors[0].Description.startsWith("SyntaxError"))
      << r.errors[0].Description.toStdString();
}

TEST(ScriptRunBadInput, DeepRecursionIsAnErrorReport) {
  const char* texts[] = {
      "function f(n) { return f(n + 1) + 1; }\nf(0);",
      "function g(n) { if (n % 1000 == 0) Host.Echo(n); return g(n + 1); }\ng(0);",
      "var o = {}; o.toString = function () { return String(o); };\nString(o);",
  };
  for (const char* text : texts) {
    ScriptRecorder r;
    r.run(text);
    ASSERT_EQ(r.errors.size(), 1u) << text;
    EXPECT_EQ(r.errors[0].Description, "RangeError: Maximum call stack size exceeded.") << text;
  }
}

}  // namespace

namespace {

// A time limit ends a script that loops on its own and one that calls the host without
// pause, with a text that says why; a script within its time is not touched.
TEST(ScriptRun, ATimeLimitStopsAScriptThatRunsTooLong) {
  const char* loops[] = {"Host.Echo('start');\nwhile (true) {}",
                         "Host.Echo('start');\nfor (var i = 0; ; ++i) Host.Alert(i);"};
  for (const char* text : loops) {
    ScriptRecorder r;
    r.host.Limits.TimeLimit = std::chrono::milliseconds(300);
    int asked = 0;
    r.host.OnQueryContinue = [&](TCustomScript&, bool& allow) {
      EXPECT_TRUE(allow);
      ++asked;
    };
    QElapsedTimer clock;
    clock.start();
    r.run(text);
    const qint64 took = clock.elapsed();
    ASSERT_EQ(r.errors.size(), 1u) << text;
    EXPECT_EQ(r.errors[0].Description,
              "Interrupted: the script ran longer than the 0.3 s it may take");
    EXPECT_EQ(r.echoes, QStringList({"start"}));
    EXPECT_GE(took, 300) << text;
    EXPECT_LT(took, 1500) << text;
    EXPECT_GE(asked, 2) << "the owner is still asked while the limit runs";
    std::cout << "[ measured ] stopped after " << took << " ms (limit 300 ms)\n";
  }
  ScriptRecorder quick;
  quick.host.Limits.TimeLimit = std::chrono::milliseconds(300);
  quick.run("var t = Date.now();\nwhile (Date.now() - t < 150) {}\nHost.Echo('done');");
  EXPECT_EQ(quick.echoes, QStringList({"done"}));
  EXPECT_TRUE(quick.errors.empty());
  // Each run has its own time: two short runs in a row are both within the limit.
  quick.run("var t = Date.now();\nwhile (Date.now() - t < 150) {}\nHost.Echo('again');");
  EXPECT_EQ(quick.echoes, QStringList({"again"}));
}

}  // namespace
