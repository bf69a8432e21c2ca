// wizconv-cli script FILE [--arg NAME=VALUE]... [--timeout S] [--files DIR]... [--no-files]:
// runs a script with the "Host" object. Ctrl+C and SIGTERM stop the script (exit 130).
#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "cli/CliCommand.h"
#include "cli/RunSupport.h"
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
  std::atomic<bool> stop{false};
  cli::StopSignals stopSignals(&stop);
  const int code = script::RunScriptFile(args, std::cout, std::cerr, &stop);
  if (code == cli::kInterruptedExit) std::cerr << "wizconv-cli script: stopped\n";
  return code;
}

}  // namespace

WIZCONV_CLI_COMMAND("script", script::kScriptUsage, runScript);
