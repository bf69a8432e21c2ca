#include "script/ScriptletBridge.h"

#include <QJSEngine>

namespace script {

ScriptletBridge::ScriptletBridge(IScriptlet scriptlet, BridgeHost& host)
    : scriptlet_(std::move(scriptlet)), host_(host) {}

bool ScriptletBridge::onOwner(const std::function<void()>& fn) {
  QString failure;
  try {
    host_.CallOwner(fn);
    return true;
  } catch (const std::exception& e) {
    failure = QString::fromUtf8(e.what());
  } catch (...) {
  }
  if (failure.isEmpty()) failure = QStringLiteral("Unspecified error");
  host_.Engine().throwError(failure);
  return false;
}

QJSValue ScriptletBridge::toScript(const ScriptValue& value) {
  if (value.object) return host_.Wrap(value.object);
  if (!value.value.isValid()) return QJSValue(QJSValue::UndefinedValue);
  return host_.Engine().toScriptValue(value.value);
}

QJSValue ScriptletBridge::get(const QString& name) {
  // Method names are fixed, so a method call needs just one trip to the owner's thread.
  std::optional<int> id = scriptlet_->FindMethodId(name);
  // A method the script is not offered is a name the object does not have.
  if (id && !scriptlet_->Offers(*id, host_.Limits())) return host_.Engine().newObject();
  ScriptValue value;
  if (!id && !onOwner([&] {
        id = scriptlet_->GetIdOfName(name);
        if (id && !TScriptlet::IsMethodId(*id)) {
          value = scriptlet_->Invoke(*id, DispatchKind::PropertyGet, {}, host_.Limits());
        }
      })) {
    return {};
  }
  QJSValue answer = host_.Engine().newObject();
  if (!id) return answer;
  if (TScriptlet::IsMethodId(*id)) {
    answer.setProperty(QStringLiteral("method"), *id);
  } else {
    answer.setProperty(QStringLiteral("found"), true);
    answer.setProperty(QStringLiteral("value"), toScript(value));
  }
  return answer;
}

QJSValue ScriptletBridge::call(int id, const QJSValue& args) {
  QVariantList arguments;
  const int count = args.property(QStringLiteral("length")).toInt();
  for (int i = 0; i < count; ++i) arguments.push_back(args.property(quint32(i)).toString());
  ScriptValue result;
  if (!onOwner([&] {
        result = scriptlet_->Invoke(id, DispatchKind::Method, arguments, host_.Limits());
      }))
    return {};
  return toScript(result);
}

bool ScriptletBridge::put(const QString& name, const QJSValue& value) {
  const QVariant argument = value.toVariant();
  bool known = false;
  if (!onOwner([&] {
        const std::optional<int> id = scriptlet_->GetIdOfName(name);
        known = id && !TScriptlet::IsMethodId(*id);
        if (known) scriptlet_->Invoke(*id, DispatchKind::PropertyPut, {argument}, host_.Limits());
      })) {
    return true;  // the exception is already on its way
  }
  return known;
}

}  // namespace script
