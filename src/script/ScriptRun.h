#pragma once
// One run of a JavaScript text: the engine on its thread, the named objects placed in
// its global scope, a syntax check that runs nothing, and the run itself with its error
// report. Used by TCustomScript::Execute; everything here is called on the owner's
// thread unless it says otherwise.

#include <QJSValue>
#include <QStringList>
#include <atomic>
#include <optional>

#include "script/ScriptEngineThread.h"
#include "script/ScriptTypes.h"
#include "script/ScriptletBridge.h"

namespace script {

class TScriptSite;

class ScriptRun : public BridgeHost {
 public:
  // Creates the engine (on its thread, through create). Throws when that fails.
  ScriptRun(std::shared_ptr<TScriptSite> site, ScriptEngineThread::EngineFactory create,
            TScriptLimits limits);
  ~ScriptRun() override;

  // Asks the site for each name's object and makes it a global of that name.
  void AddNamedItems(const QStringList& names);
  // True when text is a valid program; nothing of it runs.
  bool CheckSyntax(const QString& text);
  // Runs text; the error that ended it, if any. With hostCalls false every call of a named
  // object fails instead of reaching the program (used to locate a syntax error).
  std::optional<TScriptError> Evaluate(const QString& text, bool hostCalls);
  // Stops the running script for good: from now on no call of a named object reaches the
  // program and Evaluate runs nothing.
  void Interrupt() {
    stopped_ = true;
    hostCalls_ = false;
    thread_.Interrupt();
  }

  // BridgeHost, engine thread.
  QJSEngine& Engine() override { return *engine_; }
  void CallOwner(const std::function<void()>& fn) override;
  QJSValue Wrap(const IScriptlet& scriptlet) override;
  const TScriptLimits& Limits() const override { return limits_; }

 private:
  void run(const std::function<void(QJSEngine&)>& task);

  std::shared_ptr<TScriptSite> site_;
  const TScriptLimits limits_;
  ScriptEngineThread thread_;
  QJSEngine* engine_ = nullptr;  // owned by thread_
  QJSValue makeProxy_;           // engine thread: function(bridge) -> proxy object
  std::atomic<bool> hostCalls_{false};
  std::atomic<bool> stopped_{false};
};

}  // namespace script
