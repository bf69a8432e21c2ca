// wizconv-cli: the converter's workflows without windows.
//
// Built twice: wizconv-cli-all holds every command; wizconv-cli holds only those that
// need neither the media libraries nor Qt (fetch) and hands every other command line to
// wizconv-cli-all beside it. Loading the media libraries costs a tenth of a second per
// start, which a quick transfer should not pay.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
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

#ifdef WIZCONV_CLI_OTHERS
// Runs the program that holds every command in place of this one, with the same words.
int handOver(char** argv) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::string program = (self.parent_path() / WIZCONV_CLI_OTHERS).string();
  execv(program.c_str(), argv);
  std::cerr << "wizconv-cli: cannot run " << program << ": " << std::strerror(errno) << "\n";
  return 127;
}
#endif

int main(int argc, char** argv) {
#ifdef WIZCONV_CLI_OTHERS
  const bool here = argc >= 2 && std::any_of(cli::Commands().begin(), cli::Commands().end(),
                                             [&](const cli::Command& c) { return c.name == argv[1]; });
  if (!here) return handOver(argv);
#endif
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
