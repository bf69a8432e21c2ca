// wizconv-cli fetch URL [-o FILE] [--range START-END] [--resume] [--user U:P]
// [--stall S]: one transfer through the HTTP component; no byte for S seconds (default
// 60) ends it as a time-out. The body goes to FILE (or to
// standard output), the response headers and the progress to standard error.
// Exit codes: 0 done, 1 HTTP error (status and page on standard error), 2 host
// unreachable, 3 aborted (Ctrl+C; the partial file stays for --resume), 4
// connection lost before the end (partial file kept), 5 output file error, 6
// refused (an answer that cannot continue the file, an unsafe setting, the memory
// limit; the reason on standard error), 64 bad arguments.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/CliCommand.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

namespace {

constexpr int kDone = 0, kHttpError = 1, kUnreachable = 2, kAborted = 3, kConnLost = 4,
              kOutputError = 5, kFailed = 6, kUsage = 64;

volatile std::sig_atomic_t interrupted = 0;
extern "C" void onInterrupt(int) { interrupted = 1; }

struct Options {
  std::string url;
  std::string output;
  uint32_t rangeStart = 0, rangeEnd = 0;
  bool range = false;
  bool resume = false;
  std::string user, password;
  bool credentials = false;
  uint32_t stallMs = 60000;
};

// Seconds as a plain decimal number ("60", "0.5"); 0 means no limit.
bool parseSeconds(const std::string& text, uint32_t& ms) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
      text.find('.') != text.rfind('.') || text == ".")
    return false;
  const double seconds = std::strtod(text.c_str(), nullptr);
  if (seconds > 86400.0 * 30) return false;
  ms = static_cast<uint32_t>(seconds * 1000.0 + 0.5);
  return true;
}

bool parseNumber(const std::string& text, uint32_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  try {
    const unsigned long long v = std::stoull(text);
    if (v > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
  } catch (...) {
    return false;
  }
}

std::optional<Options> parse(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "-o") {
      auto v = value();
      if (!v || v->empty()) return std::nullopt;
      o.output = *v;
    } else if (a == "--range") {
      auto v = value();
      if (!v) return std::nullopt;
      const size_t dash = v->find('-');
      if (dash == std::string::npos || !parseNumber(v->substr(0, dash), o.rangeStart))
        return std::nullopt;
      const std::string end = v->substr(dash + 1);
      if (!end.empty() && (!parseNumber(end, o.rangeEnd) || o.rangeEnd < o.rangeStart))
        return std::nullopt;
      o.range = true;
    } else if (a == "--stall") {
      auto v = value();
      if (!v || !parseSeconds(*v, o.stallMs)) return std::nullopt;
    } else if (a == "--resume") {
      o.resume = true;
    } else if (a == "--user") {
      auto v = value();
      if (!v) return std::nullopt;
      const size_t colon = v->find(':');
      o.user = v->substr(0, colon);
      if (colon != std::string::npos) o.password = v->substr(colon + 1);
      o.credentials = true;
    } else if (!a.empty() && a[0] == '-') {
      return std::nullopt;
    } else if (o.url.empty()) {
      o.url = a;
    } else {
      return std::nullopt;
    }
  }
  if (o.url.empty() || (o.resume && o.output.empty()) || (o.resume && o.range)) return std::nullopt;
  return o;
}

int fetch(const std::vector<std::string>& args) {
  const auto options = parse(args);
  if (!options) {
    std::cerr << "usage: wizconv-cli fetch URL [-o FILE] [--range START-END] "
                 "[--resume] [--user U:P] [--stall S]\n"
                 "  --resume needs -o and does not go with --range\n"
                 "  --stall S: no byte for S seconds ends the transfer (default 60, 0: never)\n";
    return kUsage;
  }
  const Options& o = *options;
  http::TWinHTTP h;
  h.URL = o.url;
  h.OutputFileName = o.output;
  // Blocks of 64 KiB: a progress hand-over per block costs two thread switches, which at
  // the 4 KB default would take more time than the bytes themselves; much bigger blocks
  // no longer fit the processor's cache between the socket and the file (measured: 256
  // KiB takes twice the system time).
  h.TransferBufferSize = 64 * 1024;
  h.StallTimeout = o.stallMs;
  if (o.credentials) {
    h.Username = o.user;
    h.Password = o.password;
  }
  if (o.range) {
    h.Range.StartRange = o.rangeStart;
    h.Range.EndRange = o.rangeEnd;
  }
  uint32_t startPos = 0;
  if (o.resume) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(o.output, ec);
    if (!ec) {
      if (size > 0xFFFFFFFFull) {
        std::cerr << "wizconv-cli fetch: " << o.output << " is too big to resume (4 GB or more)\n";
        return kOutputError;
      }
      startPos = static_cast<uint32_t>(size);
    }
  }

  std::optional<int> result;
  auto lastShown = std::chrono::steady_clock::time_point{};
  bool progressShown = false;
  auto endProgressLine = [&] {
    if (progressShown) std::cerr << "\n";
    progressShown = false;
  };
  h.OnHeaderInfo = [&](http::TCustomWinHTTP&, int, const std::string& raw, const std::string&,
                       const std::string&, const std::string&, int64_t, const std::string&,
                       http::TDateTime, http::TDateTime, http::TDateTime, const std::string&,
                       bool&) { std::cerr << raw; };
  h.OnProgress = [&](http::TCustomWinHTTP&, const std::string&, int64_t dataSize, int64_t bytesRead,
                     uint32_t, int32_t left, uint8_t percent, float rate, http::THttpStream*) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastShown < std::chrono::milliseconds(200) && bytesRead != dataSize) return;
    lastShown = now;
    progressShown = true;
    char line[160];
    if (dataSize > 0) {
      std::snprintf(line, sizeof line, "\r%3u%%  %lld / %lld bytes  %.1f KB/s  %d s left  ",
                    percent, static_cast<long long>(bytesRead), static_cast<long long>(dataSize),
                    rate, left);
    } else {
      std::snprintf(line, sizeof line, "\r%lld bytes  %.1f KB/s  ",
                    static_cast<long long>(bytesRead), rate);
    }
    std::cerr << line << std::flush;
  };
  h.OnDone = [&](http::TCustomWinHTTP&, const std::string&, int64_t size, http::THttpStream* s) {
    endProgressLine();
    if (s) {
      std::string chunk(64 * 1024, '\0');
      while (size_t n = s->Read(chunk.data(), chunk.size())) std::cout.write(chunk.data(), n);
      std::cout.flush();
    }
    std::cerr << "done: " << size << " bytes" << (o.output.empty() ? "" : " in " + o.output)
              << "\n";
    result = kDone;
  };
  h.OnHTTPError = [&](http::TCustomWinHTTP&, int code, http::THttpStream* s) {
    endProgressLine();
    std::cerr << "HTTP error " << code << "\n";
    if (s) {
      std::string page(static_cast<size_t>(s->Size()), '\0');
      page.resize(s->Read(page.data(), page.size()));
      std::cerr << page << (page.empty() || page.back() == '\n' ? "" : "\n");
    }
    result = kHttpError;
  };
  h.OnHostUnreachable = [&](http::TCustomWinHTTP& sender) {
    endProgressLine();
    std::cerr << "cannot reach " << o.url << ": " << sender.LastErrorText() << "\n";
    result = kUnreachable;
  };
  h.OnConnLost = [&](http::TCustomWinHTTP& sender, const std::string&, int64_t size,
                     int64_t bytesRead, http::THttpStream*) {
    endProgressLine();
    std::cerr << "connection lost after " << bytesRead << " of " << size << " bytes";
    if (!sender.LastErrorText().empty()) std::cerr << ": " << sender.LastErrorText();
    std::cerr << (o.output.empty() ? "" : " (run again with --resume to continue)") << "\n";
    result = kConnLost;
  };
  h.OnOutputFileError = [&](http::TCustomWinHTTP& sender) {
    endProgressLine();
    std::cerr << "cannot write " << o.output << ": " << sender.LastErrorText() << "\n";
    result = kOutputError;
  };
  h.OnAborted = [&](http::TCustomWinHTTP&) {
    endProgressLine();
    std::error_code ec;
    const bool kept = !o.output.empty() && std::filesystem::exists(o.output, ec);
    std::cerr << "aborted" << (kept ? "; " + o.output + " kept for --resume" : "") << "\n";
    result = kAborted;
  };
  h.OnAnyError = [&](http::TCustomWinHTTP& sender) {
    // Also raised for failures without an event of their own: an answer or a setting
    // that was refused, the memory limit, an unexpected exception.
    if (!result) {
      endProgressLine();
      std::cerr << "transfer failed: " << sender.LastErrorText() << "\n";
      result = kFailed;
    }
  };

  struct sigaction action {
  }, previous{};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  interrupted = 0;

  if (!h.StartTransferRange(startPos, 0)) {
    std::cerr << "wizconv-cli fetch: the transfer could not be started\n";
    sigaction(SIGINT, &previous, nullptr);
    return kHttpError;
  }
  bool abortAsked = false;
  core::MainThread::WaitWhileServing([&] {
    if (interrupted && !abortAsked && h.IsBusy()) {
      abortAsked = true;
      h.AbortTransfer(false, false);
    }
    return result.has_value() && !h.IsBusy();
  });
  sigaction(SIGINT, &previous, nullptr);
  return *result;
}

}  // namespace

WIZCONV_CLI_COMMAND("fetch",
                    "URL [-o FILE] [--range START-END] [--resume] [--user U:P] [--stall S]",
                    fetch);
