#pragma once
// Values shared by the script host and its owner: run states, error reports and the
// event signatures.

#include <QString>
#include <QStringList>
#include <chrono>
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

// What a script may reach outside its engine. A new host allows nothing: no file, no
// object creation. Scripts built from text that came from outside (a downloaded
// document) must keep it that way and have a time limit.
struct TScriptLimits {
  // Folders whose files, at any depth, Host.ReadText and Host.WriteText may touch. A path
  // is judged once "..", "." and symbolic links are resolved, so none of them leads out;
  // a file that does not exist yet is judged by its resolved folder, and the file is then
  // read or written under the resolved path.
  QStringList FileFolders;
  // Any file the program itself may touch.
  bool AllFiles = false;
  // Whether Host.CreateObject is there at all; without it the name is unknown to scripts.
  bool CreateObject = false;
  // A script still running after this long is stopped with an error; 0 means no limit.
  // It is checked where OnQueryContinue is asked, so it holds to within that interval.
  std::chrono::milliseconds TimeLimit{0};
};

using TScriptErrorEvent = std::function<void(TCustomScript& sender, const TScriptError& error)>;
using TNotifyEvent = std::function<void(TCustomScript& sender)>;
using TScriptContinueEvent = std::function<void(TCustomScript& sender, bool& allow)>;
using TScriptStateEvent = std::function<void(TCustomScript& sender, TScriptState state)>;

}  // namespace script
