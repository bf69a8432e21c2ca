#pragma once
// A named object that scripts call: "Host", or a component such as the main window
// under "Form". Scripts reach it through name lookup and dispatch, as an automation
// object would be reached: every name is compared in upper case, methods have fixed
// identifiers (512 + index) and properties get identifiers (index - 512) as scripts ask
// for them. A scriptlet is used on the thread that runs the script host's Execute.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <optional>
#include <stdexcept>

#include "script/ScriptTypes.h"

namespace script {

class TScriptlet;
using IScriptlet = std::shared_ptr<TScriptlet>;

// What a call hands back to the script: nothing (an invalid QVariant), a plain value, or
// another named object (a child component).
struct ScriptValue {
  QVariant value;
  IScriptlet object;
};

enum class DispatchKind { Method, PropertyGet, PropertyPut };

// A failed lookup or call. The script sees it as a runtime error with this text.
class ScriptletError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TScriptlet {
 public:
  static constexpr int kMethodBase = 512;

  virtual ~TScriptlet() = default;
  TScriptlet(const TScriptlet&) = delete;
  TScriptlet& operator=(const TScriptlet&) = delete;

  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }

  // The identifier of a name, or nothing when the object has no such method or property.
  // A property name the object accepts is remembered from then on.
  std::optional<int> GetIdOfName(const QString& name);
  // The identifier of a method name, or nothing. Reads only the fixed method list, so it
  // may be called from any thread.
  std::optional<int> FindMethodId(const QString& name) const;
  static bool IsMethodId(int id) { return id >= kMethodBase; }

  // Runs a method or reads or writes a property. Arguments are in the script's order;
  // limits are those of the script that calls. Throws ScriptletError for an identifier
  // outside the lists, a method the limits do not offer or a write without value; any
  // exception of a handler passes through.
  ScriptValue Invoke(int id, DispatchKind kind, const QVariantList& args,
                     const TScriptLimits& limits);

  // Whether the method with identifier id exists for a script with these limits.
  virtual bool Offers(int id, const TScriptLimits& limits) const;

  const QStringList& MethodNames() const { return methodNames_; }
  const QStringList& PropertyNames() const { return propertyNames_; }

 protected:
  // methodNames are fixed for the class; they are kept in upper case.
  explicit TScriptlet(const QStringList& methodNames);

  virtual bool HasProperty(const QString& upperName);
  virtual ScriptValue CallMethod(int index, const QVariantList& args);
  // What Invoke calls for a method: CallMethod, unless a class needs to know the limits of
  // the script that calls.
  virtual ScriptValue CallMethodWithin(int index, const QVariantList& args,
                                       const TScriptLimits& limits);
  virtual ScriptValue ReadProperty(const QString& upperName);
  virtual void WriteProperty(const QString& upperName, const QVariantList& args);

 private:
  QStringList methodNames_;
  QStringList propertyNames_;
  QString name_;
};

}  // namespace script
