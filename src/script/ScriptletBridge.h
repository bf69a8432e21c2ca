#pragma once
// The script-side face of a named object. A JavaScript Proxy turns every property read,
// write and method call on the object into calls of this bridge, which passes them to the
// scriptlet on the owner's thread. Lives on the engine thread; owned by the engine's
// garbage collector.

#include <QJSValue>
#include <QObject>
#include <functional>

#include "script/Scriptlet.h"

class QJSEngine;

namespace script {

// What a bridge needs from the run it belongs to.
class BridgeHost {
 public:
  virtual ~BridgeHost() = default;
  virtual QJSEngine& Engine() = 0;
  // Runs fn on the owner's thread; throws ScriptletError when calls into the program are
  // not allowed right now (a text that is only being checked).
  virtual void CallOwner(const std::function<void()>& fn) = 0;
  // A new script object for a named object.
  virtual QJSValue Wrap(const IScriptlet& scriptlet) = 0;
  // What the running script may reach; fixed for the run, read on any thread.
  virtual const TScriptLimits& Limits() const = 0;
};

class ScriptletBridge : public QObject {
  Q_OBJECT
 public:
  ScriptletBridge(IScriptlet scriptlet, BridgeHost& host);

  // {method: id} for a method, {found: true, value: v} for a property, {} for an unknown name.
  Q_INVOKABLE QJSValue get(const QString& name);
  // Runs method id with the arguments (already strings) of the array args.
  Q_INVOKABLE QJSValue call(int id, const QJSValue& args);
  // Writes a property; false for an unknown name.
  Q_INVOKABLE bool put(const QString& name, const QJSValue& value);

 private:
  // Runs fn on the owner's thread; a failure becomes a script exception.
  bool onOwner(const std::function<void()>& fn);
  QJSValue toScript(const ScriptValue& value);

  IScriptlet scriptlet_;
  BridgeHost& host_;
};

}  // namespace script
