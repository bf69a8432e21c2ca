// wizconv-cli probe FILE...: one line of JSON per file with the decoder's records; a file
// that cannot be opened gets the decoder's error text on standard error, and the command
// exits 1 once every other file has been described. A source that stalls gives up after
// the engine's open time-out; Ctrl+C or SIGTERM stops at once (exit 130).
#include <iostream>

#include "cli/CliCommand.h"
#include "cli/RunSupport.h"
#include "decoder/FFDecoder.h"
#include "decoder/ProbeJson.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

namespace {

int probe(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << "usage: wizconv-cli probe FILE...\n";
    return 2;
  }
  engine::DefaultLogger().SetLogLevel(engine::llQuiet);
  if (!engine::LoadEngineLibraries("lib")) {
    std::cerr << engine::LastLoadError() << "\n";
    return 1;
  }
  int result = 0;
  engine::TFFDecoder decoder;
  cli::StopSignals signals(&decoder.StopRequested);
  for (const auto& file : args) {
    if (cli::StopSignals::Interrupted()) break;
    if (decoder.LoadFile(file)) {
      std::cout << engine::ProbeJson(decoder) << "\n" << std::flush;
    } else {
      std::cerr << decoder.LastErrorMessage() << "\n";
      result = 1;
    }
    decoder.CloseFile();
  }
  if (cli::StopSignals::Interrupted()) {
    std::cerr << "wizconv-cli probe: stopped\n";
    return cli::kInterruptedExit;
  }
  return result;
}

}  // namespace

WIZCONV_CLI_COMMAND("probe", "FILE...", probe);
