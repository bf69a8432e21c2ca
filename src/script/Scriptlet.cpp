#include "script/Scriptlet.h"

namespace script {

TScriptlet::TScriptlet(const QStringList& methodNames) {
  for (const QString& name : methodNames) methodNames_.push_back(name.toUpper());
}

std::optional<int> TScriptlet::FindMethodId(const QString& name) const {
  const qsizetype method = methodNames_.indexOf(name.toUpper());
  if (method < 0) return std::nullopt;
  return kMethodBase + int(method);
}

std::optional<int> TScriptlet::GetIdOfName(const QString& name) {
  if (const std::optional<int> method = FindMethodId(name)) return method;
  const QString upper = name.toUpper();
  qsizetype property = propertyNames_.indexOf(upper);
  if (property < 0) {
    if (!HasProperty(upper)) return std::nullopt;
    propertyNames_.push_back(upper);
    property = propertyNames_.size() - 1;
  }
  return int(property) - kMethodBase;
}

ScriptValue TScriptlet::Invoke(int id, DispatchKind kind, const QVariantList& args,
                               const TScriptLimits& limits) {
  if (kind == DispatchKind::Method) {
    const int index = id - kMethodBase;
    if (index < 0 || index >= methodNames_.size() || !Offers(id, limits)) {
      throw ScriptletError("Object doesn't support this method");
    }
    return CallMethodWithin(index, args, limits);
  }
  const int index = id + kMethodBase;
  if (index < 0 || index >= propertyNames_.size()) {
    throw ScriptletError("Object doesn't support this property");
  }
  const QString name = propertyNames_[index];
  if (kind == DispatchKind::PropertyGet) return ReadProperty(name);
  if (args.isEmpty()) throw ScriptletError("Wrong number of arguments");
  WriteProperty(name, args);
  return {};
}

bool TScriptlet::HasProperty(const QString&) { return false; }
bool TScriptlet::Offers(int, const TScriptLimits&) const { return true; }
ScriptValue TScriptlet::CallMethod(int, const QVariantList&) { return {}; }
ScriptValue TScriptlet::CallMethodWithin(int index, const QVariantList& args,
                                         const TScriptLimits&) {
  return CallMethod(index, args);
}
ScriptValue TScriptlet::ReadProperty(const QString&) { return {}; }
void TScriptlet::WriteProperty(const QString&, const QVariantList&) {}

}  // namespace script
