#pragma once
// Values shared by the script host and its owner: run states, error reports and the
// event signatures.

#include <QString>
#include <functional>

namespace script {

class TCustomScript;

// The states a run passes through, in this order: a fresh engine is uninitialized, it is
// initialized once its named objects are in place, started while the global code runs,
// connected afterwards, and disconnected and closed by Close().
enum class TScriptState {
  ssUninitialized,
  ssInitialized,
  ssStarted,
  ssConnected,
  ssDisconnected,
  ssClosed
};

const char* ScriptStateName(TScriptState state);

struct TScriptError {
  QString Description;  // the engine's text, e.g. "ReferenceError: x is not defined"
  int Line = 0;         // 0-based line of the script text
  int Column = 0;       // 0-based position within the line; 0 when the engine does not know it
};

using TScriptErrorEvent = std::function<void(TCustomScript& sender, const TScriptError& error)>;
using TNotifyEvent = std::function<void(TCustomScript& sender)>;
using TScriptContinueEvent = std::function<void(TCustomScript& sender, bool& allow)>;
using TScriptStateEvent = std::function<void(TCustomScript& sender, TScriptState state)>;

}  // namespace script
