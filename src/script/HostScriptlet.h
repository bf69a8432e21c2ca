#pragma once
// "Host": how a script talks back to the program.
//   Host.Alert(text), Host.Echo(text)   hand the text to OnAlert / OnEcho
//   Host.CreateObject(progID)           asks OnCreateObject, returns nothing
//   Host.ReadText(fileName)             the file's text (see HostTextFile.h)
//   Host.WriteText(fileName, text)      replaces the file with text
// Method names are matched without regard to letter case. A call with any other number
// of arguments does nothing and returns nothing. Arguments arrive as strings. The script
// host's limits decide which files ReadText and WriteText may touch (a file outside them
// is a script error) and whether CreateObject exists.

#include <functional>

#include "script/Scriptlet.h"

namespace script {

class THostScriptlet : public TScriptlet {
 public:
  using TextEvent = std::function<void(THostScriptlet& sender, const QString& text)>;
  using CreateObjectEvent =
      std::function<void(THostScriptlet& sender, const QString& progId, bool& allow)>;

  THostScriptlet();

  TextEvent OnAlert;
  CreateObjectEvent OnCreateObject;
  TextEvent OnEcho;

 protected:
  bool Offers(int id, const TScriptLimits& limits) const override;
  ScriptValue CallMethodWithin(int index, const QVariantList& args,
                               const TScriptLimits& limits) override;
};

// The owner's way to make the "Host" object.
IScriptlet CreateHostScriptlet(THostScriptlet::TextEvent onAlert, THostScriptlet::TextEvent onEcho);

}  // namespace script
