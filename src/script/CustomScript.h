#pragma once
// The script host: owns a script text and the named objects scripts can call, runs the
// text in a fresh engine on each Execute and reports through events.
//
//   script::TJavaScript script;
//   script.AddScriptlet(script::CreateHostScriptlet(onAlert, onEcho));
//   script.OnError = [](script::TCustomScript&, const script::TScriptError& e) { ... };
//   script.Lines = QStringList{"Host.Echo('hello');"};
//   script.Execute();  // every Echo has arrived when this returns
//
// The engine runs on a thread of its own, but every event and every named object is
// called on the thread that called Execute, and Execute returns only when the script has
// ended. While the script runs, OnQueryContinue is asked at least every 100 ms; setting
// Allow to false stops the script with an error. Limits says what scripts may reach
// (files, CreateObject) and how long they may run; a new host allows no file and no
// CreateObject, and sets no time limit. Execute does not serve the event loop
// or other threads' hand-overs meanwhile (a handler may, e.g. by showing a dialog); the
// engine thread waits only for this thread, so no hand-over can deadlock on it. A handler
// may call Close but must not destroy the host.

#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "script/ScriptTypes.h"
#include "script/Scriptlet.h"

class QJSEngine;

namespace script {

class ScriptRun;
class TScriptSite;

class TCustomScript {
 public:
  TCustomScript();
  virtual ~TCustomScript();
  TCustomScript(const TCustomScript&) = delete;
  TCustomScript& operator=(const TCustomScript&) = delete;

  // Appends a named object unless one of the same name (compared exactly) is already there.
  void AddScriptlet(const IScriptlet& scriptlet);
  // The first named object whose name equals name exactly, or nothing.
  IScriptlet FindScriptlet(const QString& name) const;

  // Runs Lines, joined with CR LF, in a fresh engine. A syntax error is reported through
  // OnError and nothing runs; a runtime error is reported through OnError and ends the
  // script. Both return normally. Throws std::runtime_error when the engine cannot be set
  // up, and std::logic_error when called while this host is already running a script
  // (from one of its own handlers).
  void Execute();
  // Ends the engine of the last run. Called from a handler during a run, it stops the
  // script and no further event reaches this object. The destructor closes without
  // raising any event.
  void Close();

  // The interval at which OnQueryContinue is asked while a script runs.
  static constexpr int kQueryContinueIntervalMs = 50;

  QStringList Lines;
  TScriptLimits Limits;  // read when Execute starts; a change applies from the next run
  QWidget* WindowHandle = nullptr;  // parent for the engine's own dialogs; none when null
  TScriptErrorEvent OnError;
  TNotifyEvent OnEnter;
  TNotifyEvent OnLeave;
  TScriptContinueEvent OnQueryContinue;
  TScriptStateEvent OnStateChange;

 protected:
  // Makes the engine; called on the engine's own thread, once per Execute.
  virtual std::unique_ptr<QJSEngine> CreateEngine() = 0;

 private:
  std::vector<IScriptlet> scriptlets_;
  std::shared_ptr<TScriptSite> site_;
  std::unique_ptr<ScriptRun> run_;
  bool connected_ = false;
  bool running_ = false;
  bool closeRequested_ = false;
};

// The host with a JavaScript engine.
class TJavaScript : public TCustomScript {
 protected:
  std::unique_ptr<QJSEngine> CreateEngine() override;
};

}  // namespace script
