#pragma once
// The host's side of one engine run: the engine asks it for named objects and tells it
// about state changes, errors, entering and leaving script code and whether to go on.
// It forwards all of that to the TCustomScript that made it, until Close() detaches it;
// from then on it answers as a script host without handlers, named objects or window.

#include <QWidget>

#include "script/ScriptTypes.h"
#include "script/Scriptlet.h"

namespace script {

class TScriptSite {
 public:
  explicit TScriptSite(TCustomScript& owner) : owner_(&owner) {}

  void Detach() { owner_ = nullptr; }

  // The named object for a name, or nothing.
  IScriptlet GetItemInfo(const QString& name) const;
  // The window the engine may use as parent of its own dialogs; false when there is none.
  bool GetWindow(QWidget*& window) const;
  void OnStateChange(TScriptState state);
  void OnScriptError(const TScriptError& error);
  void OnEnterScript();
  void OnLeaveScript();
  // Whether the running script may go on.
  bool QueryContinue();

 private:
  TCustomScript* owner_;
};

}  // namespace script
