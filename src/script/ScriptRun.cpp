#include "script/ScriptRun.h"

#include <QJSEngine>

#include "script/CustomScript.h"
#include "script/ScriptSite.h"

namespace script {
namespace {

// The name under which the script text is compiled; frames of the host's own helper code
// carry another name and are skipped when an error is located.
const QString kScriptFile = QStringLiteral("script");
const QString kHelperFile = QStringLiteral("wizconv-host");

// Makes a Proxy that sends every name a script uses on a named object to its bridge.
// Method arguments travel as strings; undefined and null become "".
const char kProxyFactory[] = R"JS(
(function (bridge) {
  "use strict";
  var builtins = Object.prototype;
  function unsupported(name) {
    return new TypeError("Object doesn't support this property or method: " + name);
  }
  return new Proxy({}, {
    get: function (target, name) {
      if (typeof name !== "string") return undefined;
      var found = bridge.get(name);
      if (found.method !== undefined) {
        var id = found.method;
        return function () {
          var args = [];
          for (var i = 0; i < arguments.length; ++i) {
            var a = arguments[i];
            args.push(a === undefined || a === null ? "" : String(a));
          }
          return bridge.call(id, args);
        };
      }
      if (found.found) return found.value;
      if (name in builtins) return builtins[name];
      throw unsupported(name);
    },
    set: function (target, name, value) {
      // Only plain values travel: objects as their text, undefined and null as "".
      if (value === undefined || value === null) value = "";
      else if (typeof value === "object" || typeof value === "function" ||
               typeof value === "symbol") value = String(value);
      if (typeof name !== "string" || !bridge.put(name, value)) throw unsupported(String(name));
      return true;
    }
  });
})
)JS";

// The engine's own Array join, toString, toLocaleString and flat recurse in native code
// without a depth check, so a self-containing array ("a.push(a); String(a)") overflows
// the thread's stack and takes the program down. These script versions behave the same
// for ordinary arrays, print a self-reference as "" as browsers do, and run into the
// engine's checked call-depth limit (a RangeError) where nesting is too deep.
const char kArrayRepairs[] = R"JS(
(function () {
  "use strict";
  var visiting = [];
  function joinWith(array, separator, text) {
    var o = Object(array);
    if (visiting.indexOf(o) >= 0) return "";
    var length = o.length >>> 0;
    var sep = separator === undefined ? "," : String(separator);
    visiting.push(o);
    try {
      var out = "";
      for (var i = 0; i < length; i++) {
        if (i > 0) out += sep;
        var e = o[i];
        if (e !== undefined && e !== null) out += text(e);
      }
      return out;
    } finally {
      visiting.pop();
    }
  }
  function define(name, fn) {
    Object.defineProperty(Array.prototype, name,
                          {value: fn, writable: true, configurable: true, enumerable: false});
  }
  define("join", function join(separator) { return joinWith(this, separator, String); });
  define("toString", function toString() {
    var join = this.join;
    return typeof join === "function" ? join.call(this) : Object.prototype.toString.call(this);
  });
  define("toLocaleString", function toLocaleString() {
    return joinWith(this, ",", function (e) { return e.toLocaleString(); });
  });
  define("flat", function flat(depth) {
    var levels = depth === undefined ? 1 : Number(depth);
    if (levels !== levels) levels = 0;
    var out = [];
    (function add(source, level) {
      var length = source.length >>> 0;
      for (var i = 0; i < length; i++) {
        if (!(i in source)) continue;
        var e = source[i];
        if (level >= 1 && Array.isArray(e)) add(e, level - 1);
        else out.push(e);
      }
    })(Object(this), levels);
    return out;
  });
})();
)JS";

struct Frame {
  int line = 0;
  int column = 0;
};

// A stack-trace entry reads "function:line:column:file", the file as a URL; line and
// column are 1-based, the column is -1 when unknown.
std::optional<Frame> parseFrame(const QString& entry) {
  const QStringList parts = entry.split(QLatin1Char(':'));
  if (parts.size() < 4) return std::nullopt;
  const QString file = parts.mid(3).join(QLatin1Char(':'));
  if (file != kScriptFile && file != QStringLiteral("file:") + kScriptFile) return std::nullopt;
  Frame frame;
  frame.line = std::max(0, parts[1].toInt() - 1);
  frame.column = std::max(0, parts[2].toInt() - 1);
  return frame;
}

QString describe(const QJSValue& thrown, bool interrupted, std::chrono::milliseconds timeLimit) {
  if (interrupted && timeLimit.count() > 0) {
    return QStringLiteral("Interrupted: the script ran longer than the %1 s it may take")
        .arg(double(timeLimit.count()) / 1000.0);
  }
  if (interrupted) return QStringLiteral("Interrupted: the script was stopped");
  if (!thrown.isError()) return QStringLiteral("Uncaught exception: ") + thrown.toString();
  const QString name = thrown.property(QStringLiteral("name")).toString();
  const QString message = thrown.property(QStringLiteral("message")).toString();
  if (name.isEmpty() || name == QLatin1String("Error")) return message;
  return name + QStringLiteral(": ") + message;
}

}  // namespace

ScriptRun::ScriptRun(std::shared_ptr<TScriptSite> site, ScriptEngineThread::EngineFactory create,
                     TScriptLimits limits)
    : site_(std::move(site)), limits_(std::move(limits)), thread_(std::move(create)) {
  run([this](QJSEngine& engine) {
    engine_ = &engine;
    const QJSValue repaired = engine.evaluate(QString::fromUtf8(kArrayRepairs), kHelperFile);
    if (repaired.isError()) {
      throw std::runtime_error("the script engine cannot be prepared: " +
                               repaired.toString().toStdString());
    }
    makeProxy_ = engine.evaluate(QString::fromUtf8(kProxyFactory), kHelperFile);
    if (!makeProxy_.isCallable()) {
      const std::string reason = makeProxy_.toString().toStdString();
      makeProxy_ = QJSValue();  // script values go before their engine does
      throw std::runtime_error("the script engine cannot make host objects: " + reason);
    }
  });
}

ScriptRun::~ScriptRun() {
  // Script values belong to the engine's thread and must go before the engine does.
  try {
    run([this](QJSEngine&) { makeProxy_ = QJSValue(); });
  } catch (...) {
  }
}

void ScriptRun::run(const std::function<void(QJSEngine&)>& task) {
  thread_.Run(task, nullptr, std::chrono::milliseconds(1000));
}

void ScriptRun::CallOwner(const std::function<void()>& fn) {
  if (!hostCalls_)
    throw ScriptletError("Named objects are not available while the text is checked");
  thread_.CallOwner(fn);
}

QJSValue ScriptRun::Wrap(const IScriptlet& scriptlet) {
  QJSValue bridge = engine_->newQObject(new ScriptletBridge(scriptlet, *this));
  return makeProxy_.call({bridge});
}

void ScriptRun::AddNamedItems(const QStringList& names) {
  hostCalls_ = true;
  run([&](QJSEngine& engine) {
    for (const QString& name : names) {
      IScriptlet scriptlet;
      CallOwner([&] { scriptlet = site_->GetItemInfo(name); });
      if (scriptlet) engine.globalObject().setProperty(name, Wrap(scriptlet));
    }
  });
}

bool ScriptRun::CheckSyntax(const QString& text) {
  bool valid = false;
  hostCalls_ = false;
  // The Function constructor compiles a body without running any of it.
  run([&](QJSEngine& engine) {
    const QJSValue compiled =
        engine.globalObject().property(QStringLiteral("Function")).callAsConstructor({text});
    valid = !compiled.isError() && compiled.isCallable();
  });
  return valid;
}

std::optional<TScriptError> ScriptRun::Evaluate(const QString& text, bool hostCalls) {
  std::optional<TScriptError> error;
  if (stopped_) return error;
  hostCalls_ = hostCalls;
  std::atomic<bool> outOfTime{false};  // set on this thread, read on the engine's
  const auto started = std::chrono::steady_clock::now();
  auto task = [&](QJSEngine& engine) {
    QStringList trace;
    const QJSValue result = engine.evaluate(text, kScriptFile, 1, &trace);
    const bool interrupted = engine.isInterrupted();
    if (trace.isEmpty() && !interrupted) return;
    TScriptError report;
    report.Description =
        describe(result, interrupted, outOfTime ? limits_.TimeLimit : std::chrono::milliseconds(0));
    std::optional<Frame> frame;
    for (const QString& entry : trace) {
      if ((frame = parseFrame(entry))) break;
    }
    if (frame) {
      report.Line = frame->line;
      report.Column = frame->column;
    } else if (result.isError()) {
      report.Line = std::max(0, result.property(QStringLiteral("lineNumber")).toInt() - 1);
    }
    error = report;
  };
  auto keepGoing = [&]() {
    if (limits_.TimeLimit.count() > 0 &&
        std::chrono::steady_clock::now() - started >= limits_.TimeLimit) {
      outOfTime = true;
      return false;
    }
    try {
      return site_->QueryContinue();
    } catch (...) {
      return false;  // a handler that fails cannot vouch for the script
    }
  };
  thread_.Run(task, keepGoing, std::chrono::milliseconds(TCustomScript::kQueryContinueIntervalMs));
  hostCalls_ = false;
  if (stopped_) error.reset();  // stopped by Close: nobody is listening any more
  return error;
}

}  // namespace script
