// wizconv-cli transcode -i IN [-i IN]... [--join] -o OUT [name=value]...: one job of the
// engine with raw options in its option vocabulary, for power users and benchmarks.
// Options are applied in the order given: those written before an -i apply to that input,
// those after the last -i apply to the output (wherever -o stands), all of them before
// the output is opened. Progress goes to standard error. Exit codes: 0 the job finished,
// 1 it failed (the reason on standard error), 2 bad arguments, 130 stopped by Ctrl+C or
// SIGTERM (the output is closed properly and stays).
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/CliCommand.h"
#include "cli/RunSupport.h"
#include "engine/CustomFFmpeg.h"
#include "engine/EncoderEvents.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

namespace {

constexpr const char* kUsage =
    "usage: wizconv-cli transcode [name=value]... -i IN [[name=value]... -i IN]... [--join] "
    "-o OUT [name=value]...\n"
    "  options before an -i apply to that input, the others to the output\n";

struct Option {
  std::string name, value;
};

struct Arguments {
  // inputOptions[k]: the options written before input k.
  std::vector<std::string> inputs;
  std::vector<std::vector<Option>> inputOptions;
  std::vector<Option> outputOptions;  // after the last input
  std::string output;
  bool join = false;
};

std::optional<Arguments> parse(const std::vector<std::string>& args) {
  Arguments a;
  std::vector<Option> pending;
  bool haveOutput = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "-i" || word == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return std::nullopt;
      const std::string& file = args[++i];
      if (word == "-i") {
        a.inputs.push_back(file);
        a.inputOptions.push_back(std::move(pending));
        pending.clear();
      } else {
        if (haveOutput) return std::nullopt;  // one output per job here
        a.output = file;
        haveOutput = true;
      }
    } else if (word == "--join") {
      a.join = true;
    } else {
      const size_t eq = word.find('=');
      if (eq == std::string::npos || eq == 0 || word[0] == '-') return std::nullopt;
      pending.push_back({word.substr(0, eq), word.substr(eq + 1)});
    }
  }
  a.outputOptions = std::move(pending);
  if (a.inputs.empty() || !haveOutput) return std::nullopt;
  return a;
}

class ProgressLine {
 public:
  void Show(int frameNumber, int fps, float quality, float bitRate, int64_t size,
            int64_t duration, int64_t total) {
    char line[256];
    int n = std::snprintf(line, sizeof line, "frame=%5d fps=%3d q=%4.1f size=%8lldkB time=%s "
                          "bitrate=%7.1fkbit/s",
                          frameNumber < 0 ? 0 : frameNumber, fps < 0 ? 0 : fps,
                          quality < 0 ? 0.0f : quality, static_cast<long long>(size / 1024),
                          cli::ClockText(duration).c_str(), bitRate);
    if (total > 0 && n > 0 && n < static_cast<int>(sizeof line)) {
      std::snprintf(line + n, sizeof line - n, " %3d%%", engine::ProgressPercent(duration, total));
    }
    std::cerr << (terminal_ ? "\r" : "") << line << (terminal_ ? "" : "\n") << std::flush;
    shown_ = true;
  }
  void End() {
    if (shown_ && terminal_) std::cerr << "\n";
    shown_ = false;
  }

 private:
  bool terminal_ = cli::ProgressOnTerminal();
  bool shown_ = false;
};

int fail(ProgressLine& progress, const std::string& text) {
  progress.End();
  std::cerr << "wizconv-cli transcode: " << text << "\n";
  return 1;
}

int transcode(const std::vector<std::string>& args) {
  const auto parsed = parse(args);
  if (!parsed) {
    std::cerr << kUsage;
    return 2;
  }
  const Arguments& a = *parsed;
  cli::LogEngineToStandardError(engine::llWarning);
  if (!engine::LoadEngineLibraries("lib")) {
    std::cerr << engine::LastLoadError() << "\n";
    return 1;
  }
  engine::TCustomFFmpeg job;
  ProgressLine progress;
  job.ProgressLink = [&progress](engine::TCustomFFmpeg&, int, int frameNumber, int fps,
                                 float quality, float bitRate, int64_t size, int64_t duration,
                                 int64_t total) {
    progress.Show(frameNumber, fps, quality, bitRate, size, duration, total);
  };
  cli::StopSignals signals(&job.StopRequested);
  try {
    auto apply = [&job](const std::vector<Option>& options) {
      for (const Option& o : options) job.SetOption(o.name, o.value);
    };
    for (size_t k = 0; k < a.inputs.size(); ++k) {
      apply(a.inputOptions[k]);
      if (!job.OpenInput(a.inputs[k])) {
        job.Cleanup();
        return fail(progress, a.inputs[k] + ": " + job.LastError);
      }
    }
    apply(a.outputOptions);
    if (job.OpenOutput(a.output, a.join) < 0) {
      job.Cleanup();
      return fail(progress, a.output + ": " + job.LastError);
    }
    if (a.join) job.JoinSetup();
  } catch (const engine::FFmpegException& e) {
    // An output opened before the failure is closed, and removed while still empty.
    job.Cleanup();
    return fail(progress, e.what());
  }
  // Runs in this thread; the run control records a failure in HasError / ErrorMessage,
  // closes every file and removes an output left empty.
  if (!cli::StopSignals::Interrupted()) job.Start(false);
  job.Cleanup();
  progress.End();
  if (cli::StopSignals::Interrupted()) {
    std::cerr << "wizconv-cli transcode: stopped; " << a.output << " holds what was converted\n";
    return cli::kInterruptedExit;
  }
  if (job.HasError) return fail(progress, job.ErrorMessage);
  if (!job.Finished) return fail(progress, "the job ended before the end of its input");
  return 0;
}

}  // namespace

WIZCONV_CLI_COMMAND("transcode",
                    "[name=value]... -i IN [-i IN]... [--join] -o OUT [name=value]...",
                    transcode);
