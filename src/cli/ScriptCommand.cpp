// wizconv-cli script FILE [--arg NAME=VALUE]...: runs a script with the "Host" object.
#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "cli/CliCommand.h"
#include "script/ScriptFileRunner.h"

namespace {

int runScript(const std::vector<std::string>& args) {
  // The script engine expects an application object.
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "wizconv-cli";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  return script::RunScriptFile(args, std::cout, std::cerr);
}

}  // namespace

WIZCONV_CLI_COMMAND("script", script::kScriptUsage, runScript);
