#include "script/CustomScript.h"

#include <QJSEngine>
#include <stdexcept>

#include "script/ScriptRun.h"
#include "script/ScriptSite.h"

namespace script {

TCustomScript::TCustomScript() = default;

TCustomScript::~TCustomScript() {
  // The owner is going away and its handlers may already refer to destroyed members:
  // close without telling anyone.
  if (site_) site_->Detach();
  Close();
}

void TCustomScript::AddScriptlet(const IScriptlet& scriptlet) {
  if (!scriptlet || FindScriptlet(scriptlet->Name())) return;
  scriptlets_.push_back(scriptlet);
}

IScriptlet TCustomScript::FindScriptlet(const QString& name) const {
  for (const IScriptlet& scriptlet : scriptlets_) {
    if (scriptlet->Name() == name) return scriptlet;
  }
  return nullptr;
}

void TCustomScript::Execute() {
  if (running_) throw std::logic_error("The script host is already running a script");
  Close();
  running_ = true;
  closeRequested_ = false;
  struct EndOfRun {
    TCustomScript& script;
    ~EndOfRun() {
      script.running_ = false;
      if (script.closeRequested_) script.Close();
    }
  } endOfRun{*this};

  site_ = std::make_shared<TScriptSite>(*this);
  try {
    run_ = std::make_unique<ScriptRun>(site_, [this] { return CreateEngine(); }, Limits);
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("Cannot set up the script engine: ") + e.what());
  }
  const std::shared_ptr<TScriptSite> site = site_;
  site->OnStateChange(TScriptState::ssUninitialized);
  QStringList names;
  for (const IScriptlet& scriptlet : scriptlets_) names.push_back(scriptlet->Name());
  run_->AddNamedItems(names);
  site->OnStateChange(TScriptState::ssInitialized);

  const QString text = Lines.join(QStringLiteral("\r\n"));
  if (!run_->CheckSyntax(text)) {
    // Compiling again with every named object cut off gives the engine's own description
    // and position; a text that fails to compile runs nothing.
    const std::optional<TScriptError> error = run_->Evaluate(text, false);
    site->OnScriptError(error ? *error : TScriptError{QStringLiteral("Syntax error"), 0, 0});
    return;
  }
  site->OnStateChange(TScriptState::ssStarted);
  site->OnEnterScript();
  const std::optional<TScriptError> error = run_->Evaluate(text, true);
  if (error) site->OnScriptError(*error);
  site->OnLeaveScript();
  connected_ = true;
  site->OnStateChange(TScriptState::ssConnected);
}

void TCustomScript::Close() {
  if (running_) {
    // Called from a handler of the running script: cut the script off now and finish
    // closing when Execute unwinds.
    closeRequested_ = true;
    if (site_) site_->Detach();
    if (run_) run_->Interrupt();
    return;
  }
  if (run_) {
    if (site_ && connected_) site_->OnStateChange(TScriptState::ssDisconnected);
    if (site_) site_->OnStateChange(TScriptState::ssClosed);
    run_.reset();
  }
  connected_ = false;
  if (site_) {
    site_->Detach();
    site_.reset();
  }
}

std::unique_ptr<QJSEngine> TJavaScript::CreateEngine() { return std::make_unique<QJSEngine>(); }

}  // namespace script
