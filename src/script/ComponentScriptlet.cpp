#include "script/ComponentScriptlet.h"

#include <QMetaEnum>
#include <QMetaProperty>
#include <QQueue>

namespace script {
namespace {

// The property whose name equals upperName in any letter case; invalid when there is none.
QMetaProperty findProperty(const QObject* object, const QString& upperName) {
  const QMetaObject* meta = object->metaObject();
  for (int i = 0; i < meta->propertyCount(); ++i) {
    const QMetaProperty property = meta->property(i);
    if (QString::fromLatin1(property.name()).compare(upperName, Qt::CaseInsensitive) == 0) {
      return property;
    }
  }
  return {};
}

QVariant readValue(const QObject* object, const QMetaProperty& property) {
  const QVariant value = property.read(object);
  if (property.isEnumType()) {
    const QMetaEnum enumerator = property.enumerator();
    const int number = value.toInt();
    const QByteArray names = enumerator.isFlag() ? enumerator.valueToKeys(number)
                                                 : QByteArray(enumerator.valueToKey(number));
    // A value outside the declared names still reads as something useful: its number.
    if (names.isEmpty() && !(enumerator.isFlag() && number == 0)) return number;
    return QString::fromLatin1(names);
  }
  switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::QString:
      return value;
    default:
      break;
  }
  if (value.canConvert<QString>()) return value.toString();
  return {};
}

QVariant enumFromScript(const QMetaProperty& property, const QVariant& argument) {
  const QMetaEnum enumerator = property.enumerator();
  bool isNumber = false;
  const int number = argument.toInt(&isNumber);
  if (argument.metaType().id() != QMetaType::QString && isNumber) return number;
  const QByteArray names = argument.toString().trimmed().toLatin1();
  bool ok = false;
  const int value = enumerator.isFlag()
                        ? (names.isEmpty() ? (ok = true, 0) : enumerator.keysToValue(names, &ok))
                        : enumerator.keyToValue(names, &ok);
  if (!ok) {
    throw ScriptletError(QStringLiteral("Invalid value \"%1\" for property %2")
                             .arg(argument.toString(), QString::fromLatin1(property.name()))
                             .toStdString());
  }
  return value;
}

}  // namespace

TComponentScriptlet::TComponentScriptlet(QObject* component)
    : TScriptlet({}), component_(component) {}

QObject* TComponentScriptlet::FindChildComponent(QObject* component, const QString& name) {
  if (!component || name.isEmpty()) return nullptr;
  QQueue<QObject*> pending;
  pending.enqueue(component);
  while (!pending.isEmpty()) {
    for (QObject* child : pending.dequeue()->children()) {
      if (child->objectName().compare(name, Qt::CaseInsensitive) == 0) return child;
      pending.enqueue(child);
    }
  }
  return nullptr;
}

QObject* TComponentScriptlet::live() const {
  if (!component_) throw ScriptletError("The component no longer exists");
  return component_;
}

bool TComponentScriptlet::HasProperty(const QString& upperName) {
  QObject* object = live();
  return FindChildComponent(object, upperName) || findProperty(object, upperName).isValid();
}

ScriptValue TComponentScriptlet::ReadProperty(const QString& upperName) {
  QObject* object = live();
  if (QObject* child = FindChildComponent(object, upperName)) {
    return {QVariant(), CreateComponentScriptlet(child)};
  }
  const QMetaProperty property = findProperty(object, upperName);
  if (!property.isValid()) return {};
  return {readValue(object, property), nullptr};
}

void TComponentScriptlet::WriteProperty(const QString& upperName, const QVariantList& args) {
  if (args.size() != 1) return;
  QObject* object = live();
  if (FindChildComponent(object, upperName)) return;
  const QMetaProperty property = findProperty(object, upperName);
  if (!property.isValid()) return;
  const QString name = QString::fromLatin1(property.name());
  if (!property.isWritable()) {
    throw ScriptletError(QStringLiteral("Property %1 is read-only").arg(name).toStdString());
  }
  QVariant value = property.isEnumType() ? enumFromScript(property, args[0]) : args[0];
  if (!property.isEnumType() && !value.convert(property.metaType())) {
    throw ScriptletError(QStringLiteral("Invalid value \"%1\" for property %2")
                             .arg(args[0].toString(), name)
                             .toStdString());
  }
  if (!property.write(object, value)) {
    throw ScriptletError(QStringLiteral("Cannot set property %1").arg(name).toStdString());
  }
}

IScriptlet CreateComponentScriptlet(QObject* component, const QString& name) {
  auto scriptlet = std::make_shared<TComponentScriptlet>(component);
  scriptlet->SetName(name.isEmpty() && component ? component->objectName() : name);
  return scriptlet;
}

}  // namespace script
