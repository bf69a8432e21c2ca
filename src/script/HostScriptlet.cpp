#include "script/HostScriptlet.h"

#include "script/HostTextFile.h"

namespace script {
namespace {

enum HostMethod { kAlert, kCreateObject, kEcho, kReadText, kWriteText };
constexpr int kArgumentCounts[] = {1, 1, 1, 1, 2};

}  // namespace

THostScriptlet::THostScriptlet()
    : TScriptlet({"Alert", "CreateObject", "Echo", "ReadText", "WriteText"}) {
  SetName("Host");
}

bool THostScriptlet::Offers(int id, const TScriptLimits& limits) const {
  return id - kMethodBase != kCreateObject || limits.CreateObject;
}

ScriptValue THostScriptlet::CallMethodWithin(int index, const QVariantList& args,
                                             const TScriptLimits& limits) {
  if (index < 0 || index > kWriteText || args.size() != kArgumentCounts[index]) return {};
  const QString first = args[0].toString();
  switch (index) {
    case kAlert:
      if (OnAlert) OnAlert(*this, first);
      return {};
    case kEcho:
      if (OnEcho) OnEcho(*this, first);
      return {};
    case kCreateObject: {
      bool allow = true;
      if (OnCreateObject) OnCreateObject(*this, first, allow);
      // There are no automation objects on this platform: nothing can be created.
      return {};
    }
    case kReadText: {
      const std::optional<QString> path = ContainedPath(first, limits);
      return {path ? ReadHostText(*path) : QString(), nullptr};
    }
    case kWriteText: {
      const QString text = args[1].toString();
      if (text.isEmpty()) return {};
      const std::optional<QString> path = ContainedPath(first, limits);
      if (!path) {
        throw ScriptletError(QStringLiteral("Cannot write file \"%1\": its folder does not exist")
                                 .arg(first)
                                 .toStdString());
      }
      WriteHostText(*path, text);
      return {};
    }
  }
  return {};
}

IScriptlet CreateHostScriptlet(THostScriptlet::TextEvent onAlert,
                               THostScriptlet::TextEvent onEcho) {
  auto host = std::make_shared<THostScriptlet>();
  host->OnAlert = std::move(onAlert);
  host->OnEcho = std::move(onEcho);
  return host;
}

}  // namespace script
