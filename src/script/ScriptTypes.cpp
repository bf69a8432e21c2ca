#include "script/ScriptTypes.h"

namespace script {

const char* ScriptStateName(TScriptState state) {
  switch (state) {
    case TScriptState::ssUninitialized:
      return "ssUninitialized";
    case TScriptState::ssInitialized:
      return "ssInitialized";
    case TScriptState::ssStarted:
      return "ssStarted";
    case TScriptState::ssConnected:
      return "ssConnected";
    case TScriptState::ssDisconnected:
      return "ssDisconnected";
    case TScriptState::ssClosed:
      return "ssClosed";
  }
  return "?";
}

}  // namespace script
