// The "Host" object as scripts see it: method names, argument counts and conversions,
// the named-object list, and what reaches the owner.
#include <gtest/gtest.h>

#include "ScriptRecorder.h"

namespace {

using script::CreateHostScriptlet;
using script::THostScriptlet;

TEST(HostObject, TwoEchoesArriveInOrderOnTheCallingThreadBeforeExecuteReturns) {
  ScriptRecorder r;
  r.run("Host.Echo('first');\nHost.Echo('second');");
  EXPECT_EQ(r.events, QStringList({"echo:first", "echo:second"}));
  EXPECT_TRUE(r.handlersOnCallingThread);
}

TEST(HostObject, MethodNamesIgnoreCaseAndArgumentCountsMustMatch) {
  struct Case {
    const char* script;
    QStringList expected;
  };
  const Case cases[] = {
      {"Host.echo('lower')", {"echo:lower"}},
      {"Host.ECHO('upper')", {"echo:upper"}},
      {"Host.eChO('mixed')", {"echo:mixed"}},
      {"Host.alert('careful')", {"alert:careful"}},
      {"Host.Echo()", {}},
      {"Host.Echo('a', 'b')", {}},
      {"Host.Alert()", {}},
      {"Host.Alert('a', 'b')", {}},
      {"Host.WriteText('only-one-argument')", {}},
      // Arguments arrive as strings; undefined and null as empty text.
      {"Host.Echo(42)", {"echo:42"}},
      {"Host.Echo(1.5)", {"echo:1.5"}},
      {"Host.Echo(true)", {"echo:true"}},
      {"Host.Echo(undefined)", {"echo:"}},
      {"Host.Echo(null)", {"echo:"}},
      {"Host.Echo([1, 2])", {"echo:1,2"}},
      {"Host.Echo({toString: function () { return 'custom'; }})", {"echo:custom"}},
      // Calls without a result, and wrong counts, give an empty value.
      {"Host.Echo(typeof Host.Echo('x'))", {"echo:x", "echo:undefined"}},
      {"Host.Echo(typeof Host.Echo())", {"echo:undefined"}},
      {"Host.Echo(typeof Host.ReadText())", {"echo:undefined"}},
      {"var e = Host.Echo; e('detached')", {"echo:detached"}},
      {"Host.Echo(typeof Host.Echo)", {"echo:function"}},
  };
  for (const Case& c : cases) {
    ScriptRecorder r;
    EXPECT_EQ(r.run(c.script), c.expected) << c.script;
  }
}

TEST(HostObject, ObjectNameIsExactAndUnknownMethodsAreRuntimeErrors) {
  const char* scripts[] = {
      "host.Echo('x');\nHost.Echo('not reached')", "HOST.Echo('x');\nHost.Echo('not reached')",
      "Host.Print('x');\nHost.Echo('not reached')", "Host.Echo = 1;\nHost.Echo('not reached')"};
  for (const char* text : scripts) {
    ScriptRecorder r;
    r.run(text);
    ASSERT_EQ(r.errors.size(), 1u) << text;
    EXPECT_TRUE(r.echoes.isEmpty()) << text;
    EXPECT_EQ(r.errors[0].Line, 0) << text;
    EXPECT_FALSE(r.errors[0].Description.isEmpty()) << text;
  }
}

TEST(HostObject, HostCanBeUsedAsAnOrdinaryValue) {
  ScriptRecorder r;
  r.run(
      "Host.Echo(String(Host) != '');\nHost.Echo(typeof Host);\nvar h = Host; h.Echo('via alias')");
  EXPECT_EQ(r.echoes, QStringList({"true", "object", "via alias"}));
  EXPECT_TRUE(r.errors.empty());
}

TEST(HostObject, ASecondObjectWithTheSameNameIsIgnored) {
  ScriptRecorder r;
  QStringList second;
  auto other =
      CreateHostScriptlet(nullptr, [&](THostScriptlet&, const QString& t) { second.push_back(t); });
  auto first = r.host.FindScriptlet("Host");
  r.host.AddScriptlet(other);
  EXPECT_EQ(r.host.FindScriptlet("Host"), first);
  EXPECT_EQ(r.host.FindScriptlet("host"), nullptr);

  // Under another name the same kind of object is a second named object.
  other->SetName("Other");
  r.host.AddScriptlet(other);
  EXPECT_EQ(r.host.FindScriptlet("Other"), other);
  r.run("Host.Echo('to first');\nOther.Echo('to other')");
  EXPECT_EQ(r.echoes, QStringList({"to first"}));
  EXPECT_EQ(second, QStringList({"to other"}));
}

TEST(HostObject, CreateObjectAsksTheOwnerAndReturnsNothing) {
  ScriptRecorder r;
  r.host.Limits.CreateObject = true;
  QStringList asked;
  auto host = std::static_pointer_cast<THostScriptlet>(r.host.FindScriptlet("Host"));
  host->OnCreateObject = [&](THostScriptlet&, const QString& progId, bool& allow) {
    EXPECT_TRUE(allow);
    asked.push_back(progId);
  };
  r.run(
      "var o = Host.CreateObject('Scripting.FileSystemObject');\nHost.Echo(typeof o);\n"
      "Host.createobject('A', 'B');");
  EXPECT_EQ(asked, QStringList({"Scripting.FileSystemObject"}));
  EXPECT_EQ(r.echoes, QStringList({"undefined"}));
  EXPECT_TRUE(r.errors.empty());
}

TEST(HostObject, AFailingHandlerBecomesAScriptErrorThatStopsTheScript) {
  ScriptRecorder r;
  auto host = std::static_pointer_cast<THostScriptlet>(r.host.FindScriptlet("Host"));
  host->OnEcho = [](THostScriptlet&, const QString& text) {
    if (text == "bad") throw std::runtime_error("'x' is not a valid integer value");
  };
  r.run("Host.Echo('good');\nHost.Echo('bad');\nHost.Alert('not reached');");
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].Line, 1);
  EXPECT_EQ(r.errors[0].Description, "'x' is not a valid integer value");
  EXPECT_FALSE(r.events.contains("alert:not reached"));
}

TEST(HostObject, ScriptsCanCatchAFailedHostCall) {
  ScriptRecorder r;
  auto host = std::static_pointer_cast<THostScriptlet>(r.host.FindScriptlet("Host"));
  host->OnAlert = [](THostScriptlet&, const QString&) { throw 17; };
  r.run("try { Host.Alert('x'); } catch (e) { Host.Echo('caught ' + e.message); }");
  EXPECT_EQ(r.echoes, QStringList({"caught Unspecified error"}));
  EXPECT_TRUE(r.errors.empty());
}

}  // namespace

namespace {

TEST(HostObject, CreateObjectIsThereOnlyWhenTheHostOffersIt) {
  for (const bool offered : {false, true}) {
    ScriptRecorder r;
    r.host.Limits.CreateObject = offered;
    int asked = 0;
    auto host = std::static_pointer_cast<THostScriptlet>(r.host.FindScriptlet("Host"));
    host->OnCreateObject = [&](THostScriptlet&, const QString&, bool&) { ++asked; };
    r.run(
        "try { Host.CreateObject('WScript.Shell'); Host.Echo('called'); }\n"
        "catch (e) { Host.Echo(e.message); }\n"
        "try { Host.createobject('x'); } catch (e) { Host.Echo('lower case: ' + e.message); }");
    if (offered) {
      EXPECT_EQ(r.echoes, QStringList({"called"}));
      EXPECT_EQ(asked, 2);
    } else {
      // The same error as for any name the object does not have.
      ASSERT_EQ(r.echoes.size(), 2);
      EXPECT_TRUE(r.echoes[0].contains(
          "Object doesn't support this property or method: CreateObject"))
          << r.echoes[0].toStdString();
      EXPECT_TRUE(r.echoes[1].startsWith("lower case: "));
      EXPECT_TRUE(
          r.echoes[1].contains("Object doesn't support this property or method: createobject"));
      EXPECT_EQ(asked, 0);
    }
  }
}

}  // namespace
