#include "script/ScriptFileRunner.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <cstdlib>

#include "script/CustomScript.h"
#include "script/HostScriptlet.h"
#include "script/ScriptLiteral.h"

namespace script {

QStringList SplitLines(const QString& text) {
  QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
  // A final line break ends the last line; it does not start another.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

int RunScriptFile(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::atomic<bool>* stop) {
  const auto usage = [&err] {
    err << "usage: wizconv-cli script " << kScriptUsage << "\n";
    return 2;
  };
  std::string fileName;
  std::map<QString, QString> values;
  TScriptLimits limits;
  limits.AllFiles = true;
  limits.CreateObject = true;
  bool noFiles = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--timeout") {
      if (i + 1 >= args.size()) return usage();
      const std::string& text = args[++i];
      char* end = nullptr;
      const double seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 ||
          seconds > 1e6) {
        err << "wizconv-cli script: --timeout needs a number of seconds, got \"" << text
            << "\"\n";
        return 2;
      }
      limits.TimeLimit = std::chrono::milliseconds(std::llround(seconds * 1000));
      if (seconds > 0 && limits.TimeLimit.count() == 0) limits.TimeLimit = std::chrono::milliseconds(1);
    } else if (args[i] == "--files") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return usage();
      limits.FileFolders.push_back(QString::fromStdString(args[++i]));
      limits.AllFiles = false;
    } else if (args[i] == "--no-files") {
      noFiles = true;
    } else if (args[i] == "--arg") {
      if (i + 1 >= args.size()) return usage();
      const QString pair = QString::fromStdString(args[++i]);
      const qsizetype equals = pair.indexOf(QLatin1Char('='));
      if (equals <= 0) {
        err << "wizconv-cli script: --arg needs NAME=VALUE, got \"" << args[i] << "\"\n";
        return 2;
      }
      values[pair.left(equals)] = pair.mid(equals + 1);
    } else if (fileName.empty() && !args[i].empty() && args[i].rfind("--", 0) != 0) {
      fileName = args[i];
    } else {
      return usage();
    }
  }
  if (fileName.empty()) return usage();
  if (noFiles) {
    if (!limits.FileFolders.isEmpty()) {
      err << "wizconv-cli script: --no-files and --files exclude each other\n";
      return 2;
    }
    limits.AllFiles = false;
  }

  QFile file(QString::fromStdString(fileName));
  if (!file.open(QIODevice::ReadOnly)) {
    err << "wizconv-cli script: cannot read " << fileName << ": "
        << file.errorString().toStdString() << "\n";
    return 1;
  }
  const QString text = QString::fromUtf8(file.readAll());

  TJavaScript host;
  host.Limits = limits;
  if (stop) host.OnQueryContinue = [stop](TCustomScript&, bool& allow) { allow = !*stop; };
  const auto print = [&out](THostScriptlet&, const QString& line) {
    out << line.toStdString() << "\n";
    out.flush();
  };
  host.AddScriptlet(CreateHostScriptlet(print, print));
  bool failed = false;
  host.OnError = [&](TCustomScript&, const TScriptError& error) {
    failed = true;
    if (stop && *stop) return;  // the stop is reported by the caller
    err << QStringLiteral("错误：行号 %1, %2")
               .arg(error.Line + 1)
               .arg(error.Description)
               .toStdString()
        << "\n";
  };
  host.Lines = SplitLines(SubstitutePlaceholders(text, values));
  host.Execute();
  if (stop && *stop) return 130;
  return failed ? 1 : 0;
}

}  // namespace script
