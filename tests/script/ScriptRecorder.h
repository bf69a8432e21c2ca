#pragma once
// A script host wired to record everything it reports, in order, as text lines:
// "echo:TEXT", "alert:TEXT", "error:LINE:COLUMN:DESCRIPTION", "state:NAME", "enter", "leave".

#include <QStringList>
#include <ostream>
#include <thread>

#include "script/CustomScript.h"
#include "script/HostScriptlet.h"

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// The host is the first member on purpose: it is destroyed after the lists its handlers
// write to, so a host that raised events while being destroyed would be caught.
struct ScriptRecorder {
  script::TJavaScript host;
  QStringList events;
  QStringList echoes;
  std::vector<script::TScriptError> errors;
  bool handlersOnCallingThread = true;
  std::thread::id callingThread = std::this_thread::get_id();

  explicit ScriptRecorder(bool withStates = false) {
    auto note = [this](const QString& line) {
      if (std::this_thread::get_id() != callingThread) handlersOnCallingThread = false;
      events.push_back(line);
    };
    host.AddScriptlet(script::CreateHostScriptlet(
        [note](script::THostScriptlet&, const QString& t) { note("alert:" + t); },
        [this, note](script::THostScriptlet&, const QString& t) {
          echoes.push_back(t);
          note("echo:" + t);
        }));
    host.OnError = [this, note](script::TCustomScript&, const script::TScriptError& e) {
      errors.push_back(e);
      note(QStringLiteral("error:%1:%2:%3").arg(e.Line).arg(e.Column).arg(e.Description));
    };
    if (withStates) {
      host.OnStateChange = [note](script::TCustomScript&, script::TScriptState s) {
        note(QStringLiteral("state:") + script::ScriptStateName(s));
      };
      host.OnEnter = [note](script::TCustomScript&) { note("enter"); };
      host.OnLeave = [note](script::TCustomScript&) { note("leave"); };
    }
  }

  // Runs text (lines separated by \n) and returns the events of this run.
  QStringList run(const QString& text) {
    events.clear();
    echoes.clear();
    errors.clear();
    host.Lines = text.split(QLatin1Char('\n'));
    host.Execute();
    return events;
  }
};
