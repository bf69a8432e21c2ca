#include "script/ScriptSite.h"

#include "script/CustomScript.h"

namespace script {

IScriptlet TScriptSite::GetItemInfo(const QString& name) const {
  return owner_ ? owner_->FindScriptlet(name) : nullptr;
}

bool TScriptSite::GetWindow(QWidget*& window) const {
  window = owner_ ? owner_->WindowHandle : nullptr;
  return window != nullptr;
}

void TScriptSite::OnStateChange(TScriptState state) {
  if (owner_ && owner_->OnStateChange) owner_->OnStateChange(*owner_, state);
}

void TScriptSite::OnScriptError(const TScriptError& error) {
  if (owner_ && owner_->OnError) owner_->OnError(*owner_, error);
}

void TScriptSite::OnEnterScript() {
  if (owner_ && owner_->OnEnter) owner_->OnEnter(*owner_);
}

void TScriptSite::OnLeaveScript() {
  if (owner_ && owner_->OnLeave) owner_->OnLeave(*owner_);
}

bool TScriptSite::QueryContinue() {
  bool allow = true;
  if (owner_ && owner_->OnQueryContinue) owner_->OnQueryContinue(*owner_, allow);
  return allow;
}

}  // namespace script
