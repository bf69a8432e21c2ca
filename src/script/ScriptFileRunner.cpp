#include "script/ScriptFileRunner.h"

#include <QFile>
#include <QRegularExpression>

#include "script/CustomScript.h"
#include "script/HostScriptlet.h"

namespace script {

QString SubstitutePlaceholders(const QString& text, const std::map<QString, QString>& values) {
  if (values.empty()) return text;
  QString result;
  result.reserve(text.size());
  qsizetype i = 0;
  while (i < text.size()) {
    const qsizetype percent = text.indexOf(QLatin1Char('%'), i);
    if (percent < 0) break;
    result += QStringView(text).mid(i, percent - i);
    const QString* value = nullptr;
    qsizetype nameLength = 0;
    for (const auto& [name, replacement] : values) {
      if (name.size() > nameLength && QStringView(text).mid(percent + 1).startsWith(name)) {
        value = &replacement;
        nameLength = name.size();
      }
    }
    if (value) {
      result += *value;
      i = percent + 1 + nameLength;
    } else {
      result += QLatin1Char('%');
      i = percent + 1;
    }
  }
  result += QStringView(text).mid(i);
  return result;
}

QStringList SplitLines(const QString& text) {
  QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
  // A final line break ends the last line; it does not start another.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

int RunScriptFile(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto usage = [&err] {
    err << "usage: wizconv-cli script " << kScriptUsage << "\n";
    return 2;
  };
  std::string fileName;
  std::map<QString, QString> values;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--arg") {
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

  QFile file(QString::fromStdString(fileName));
  if (!file.open(QIODevice::ReadOnly)) {
    err << "wizconv-cli script: cannot read " << fileName << ": "
        << file.errorString().toStdString() << "\n";
    return 1;
  }
  const QString text = QString::fromUtf8(file.readAll());

  TJavaScript host;
  const auto print = [&out](THostScriptlet&, const QString& line) {
    out << line.toStdString() << "\n";
    out.flush();
  };
  host.AddScriptlet(CreateHostScriptlet(print, print));
  bool failed = false;
  host.OnError = [&](TCustomScript&, const TScriptError& error) {
    failed = true;
    err << QStringLiteral("错误：行号 %1, %2")
               .arg(error.Line + 1)
               .arg(error.Description)
               .toStdString()
        << "\n";
  };
  host.Lines = SplitLines(SubstitutePlaceholders(text, values));
  host.Execute();
  return failed ? 1 : 0;
}

}  // namespace script
