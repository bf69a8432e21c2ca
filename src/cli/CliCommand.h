#pragma once
// wizconv-cli is a set of subcommands; each .cpp file of this folder registers one with
// WIZCONV_CLI_COMMAND and main() dispatches on the first argument.

#include <string>
#include <vector>

namespace cli {

// args holds the words after the subcommand's name. Returns the exit code.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
  std::string name;
  std::string usage;  // one line: the arguments, e.g. "encode PLAIN OUT | decode FILE"
  CommandFn run;
};

std::vector<Command>& Commands();

struct Registrar {
  Registrar(const char* name, const char* usage, CommandFn run) {
    Commands().push_back({name, usage, run});
  }
};

}  // namespace cli

#define WIZCONV_CLI_CONCAT2(a, b) a##b
#define WIZCONV_CLI_CONCAT(a, b) WIZCONV_CLI_CONCAT2(a, b)
#define WIZCONV_CLI_COMMAND(name, usage, fn) \
  static ::cli::Registrar WIZCONV_CLI_CONCAT(cliRegistrar_, __LINE__)(name, usage, fn)
