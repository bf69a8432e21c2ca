#pragma once
// A QObject exposed to scripts (the main window as "Form"): reading a name gives the
// descendant object with that objectName as a new component object, or else the value of
// the property with that name; writing a name sets the property. Names are matched
// without regard to letter case. Enumerations and flags read and write as their names
// ("AlignLeft|AlignTop"). The object is not owned; once it is destroyed every access is
// an error.

#include <QObject>
#include <QPointer>

#include "script/Scriptlet.h"

namespace script {

class TComponentScriptlet : public TScriptlet {
 public:
  explicit TComponentScriptlet(QObject* component);

  QObject* Component() const { return component_; }
  void SetComponent(QObject* component) { component_ = component; }

  // The first descendant, nearest first, whose objectName equals name in any letter case.
  static QObject* FindChildComponent(QObject* component, const QString& name);

 protected:
  bool HasProperty(const QString& upperName) override;
  ScriptValue ReadProperty(const QString& upperName) override;
  void WriteProperty(const QString& upperName, const QVariantList& args) override;

 private:
  QObject* live() const;
  QPointer<QObject> component_;
};

// The owner's way to expose a component; an empty name takes the component's objectName.
// The main window exposes itself with
//   script.AddScriptlet(script::CreateComponentScriptlet(this, "Form"));
IScriptlet CreateComponentScriptlet(QObject* component, const QString& name = QString());

}  // namespace script
