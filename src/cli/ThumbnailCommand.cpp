// wizconv-cli thumbnail FILE OUT.bmp [--at SECONDS]: writes the picture the task list shows
// for FILE (half the duration unless --at says otherwise) as a 24-bit BMP. A source that
// stalls gives up after the engine's open time-out; Ctrl+C or SIGTERM stops at once
// (exit 130).
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "cli/CliCommand.h"
#include "cli/RunSupport.h"
#include "decoder/FFDecoder.h"
#include "decoder/Thumbnail.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

namespace {

constexpr const char* kUsage = "usage: wizconv-cli thumbnail FILE OUT.bmp [--at SECONDS]\n";

// Seconds as microseconds; -1 when the text is not a time of zero or more.
int64_t parseSeconds(const std::string& text) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 1e9)
    return -1;
  return static_cast<int64_t>(std::llround(seconds * 1e6));
}

int thumbnail(const std::vector<std::string>& args) {
  int64_t at = -1;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--at") {
      if (i + 1 >= args.size() || (at = parseSeconds(args[i + 1])) < 0) {
        std::cerr << "wizconv-cli thumbnail: --at needs a time in seconds\n" << kUsage;
        return 2;
      }
      ++i;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) {
    std::cerr << kUsage;
    return 2;
  }
  engine::DefaultLogger().SetLogLevel(engine::llQuiet);
  if (!engine::LoadEngineLibraries("lib")) {
    std::cerr << engine::LastLoadError() << "\n";
    return 1;
  }
  engine::TFFDecoder decoder;
  cli::StopSignals signals(&decoder.StopRequested);
  auto stopped = [] {
    std::cerr << "wizconv-cli thumbnail: stopped\n";
    return cli::kInterruptedExit;
  };
  if (!decoder.LoadFile(files[0])) {
    if (cli::StopSignals::Interrupted()) return stopped();
    std::cerr << decoder.LastErrorMessage() << "\n";
    return 1;
  }
  engine::TBitmap bitmap;
  if (!engine::GrabThumbnail(decoder, bitmap, at)) {
    if (cli::StopSignals::Interrupted()) return stopped();
    std::cerr << files[0] << ": " << decoder.LastErrorMessage() << "\n";
    return 1;
  }
  if (!engine::WriteBmpFile(bitmap, files[1])) {
    std::cerr << "cannot write " << files[1] << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

WIZCONV_CLI_COMMAND("thumbnail", "FILE OUT.bmp [--at SECONDS]", thumbnail);
