// wizconv-cli: the converter's workflows without windows.
#include <algorithm>
#include <iostream>

#include "cli/CliCommand.h"
#include "core/MainThread.h"

namespace cli {
std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace cli

namespace {
int usage(std::ostream& out) {
  out << "usage: wizconv-cli COMMAND [ARGS...]\n\ncommands:\n";
  auto commands = cli::Commands();
  std::sort(commands.begin(), commands.end(),
            [](const cli::Command& a, const cli::Command& b) { return a.name < b.name; });
  for (const auto& c : commands) out << "  " << c.name << " " << c.usage << "\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  core::MainThread::SetCurrentAsMain();
  if (argc < 2) return usage(std::cerr);
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    usage(std::cout);
    return 0;
  }
  for (const auto& c : cli::Commands()) {
    if (c.name == name) {
      std::vector<std::string> args(argv + 2, argv + argc);
      try {
        return c.run(args);
      } catch (const std::exception& e) {
        std::cerr << "wizconv-cli " << name << ": " << e.what() << std::endl;
        return 1;
      }
    }
  }
  std::cerr << "wizconv-cli: unknown command '" << name << "'\n";
  return usage(std::cerr);
}
