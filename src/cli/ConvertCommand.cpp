// wizconv-cli convert [--class video|device|audio] --format NAME [--preset N] [--merge]
// [--out DIR] [--jobs N|auto] FILE...: the conversion workflow without windows. The jobs
// are built by the same code as the window's and run by the window's run controller, so
// both count and end jobs alike; --jobs sets how many run at once (auto, the default, as
// the window: every core when each job encodes on one thread, else one). The per-file
// lines come in the files' order whatever order the jobs end in. Progress and the time
// left go to standard error, the path of every finished output to standard output (one
// per line), and at the end the run's counts ("3 total, 2 succeeded, 1 failed") to
// standard error.
// `convert --list` prints the classes, formats and preset texts.
// Exit codes: 0 every file converted, 1 a file could not be converted (each one named on
// standard error), 2 bad arguments, 130 stopped by Ctrl+C or SIGTERM (the output being
// written is closed properly).
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/RunSupport.h"
#include "convert/BatchBuilder.h"
#include "convert/ConversionRun.h"
#include "convert/FormatCatalogue.h"
#include "convert/OutputOptionBuilder.h"
#include "convert/PresetTable.h"
#include "core/MainThread.h"
#include "engine/FFEncoder.h"
#include "log/FFLogger.h"

namespace {

constexpr const char* kUsage =
    "usage: wizconv-cli convert [--class video|device|audio] --format NAME [--preset N] "
    "[--merge] [--out DIR] [--jobs N|auto] FILE...\n"
    "       wizconv-cli convert --list\n"
    "       wizconv-cli convert [--class C] --format NAME [--preset N] [--merge] --show-options\n"
    "  NAME as --list spells it (letter case ignored); the preset is the format's default\n"
    "  when not given; the output folder is the current folder when --out is not given\n";

constexpr std::string_view kClassNames[] = {"video", "device", "audio"};

struct Arguments {
  bool list = false;
  bool showOptions = false;
  int formatClass = -1;  // -1: found from the format's name
  std::string formatName;
  int preset = -1;  // -1: the format's default
  bool merge = false;
  int jobs = 0;  // 0: auto
  std::string outputDir;
  std::vector<std::string> files;
};

std::string lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The fields of an output record that differ from a reset one, one "Field=value" per line
// (the extra option text one line per option, as "ExtOptions: name=value").
void showOptions(std::ostream& out, const engine::TOutputOptions& o) {
  engine::TOutputOptions d;
  d.Reset();
  auto text = [&](const char* name, const std::string& v, const std::string& dv) {
    if (v != dv) out << name << "=" << v << "\n";
  };
  auto number = [&](const char* name, long long v, long long dv) {
    if (v != dv) out << name << "=" << v << "\n";
  };
  text("ForceFormat", o.ForceFormat, d.ForceFormat);
  text("AudioCodec", o.AudioCodec, d.AudioCodec);
  text("AudioPreset", o.AudioPreset, d.AudioPreset);
  number("DisableAudio", o.DisableAudio, d.DisableAudio);
  number("AudioChannels", o.AudioChannels, d.AudioChannels);
  number("AudioSampleRate", o.AudioSampleRate, d.AudioSampleRate);
  number("AudioBitrate", o.AudioBitrate, d.AudioBitrate);
  text("VideoCodec", o.VideoCodec, d.VideoCodec);
  text("VideoPreset", o.VideoPreset, d.VideoPreset);
  number("DisableVideo", o.DisableVideo, d.DisableVideo);
  text("FrameRate", o.FrameRate, d.FrameRate);
  text("FrameSize", o.FrameSize, d.FrameSize);
  text("FrameAspectRatio", o.FrameAspectRatio, d.FrameAspectRatio);
  number("VideoBitrate", o.VideoBitrate, d.VideoBitrate);
  number("VideoMaxRate", o.VideoMaxRate, d.VideoMaxRate);
  number("VideoMinRate", o.VideoMinRate, d.VideoMinRate);
  number("VideoBufferSize", o.VideoBufferSize, d.VideoBufferSize);
  text("VideoTag", o.VideoTag, d.VideoTag);
  number("Target", o.Target, d.Target);
  number("TargetNorm", o.TargetNorm, d.TargetNorm);
  number("Join", o.Join, d.Join);
  for (const engine::OptionLine& line : engine::SplitOptionText(o.ExtOptions))
    out << "ExtOptions: " << line.Name << "=" << line.Value << "\n";
}

// Parses the words; false with the reason in `error`.
bool parse(const std::vector<std::string>& args, Arguments& a, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (word == "--list") {
      a.list = true;
    } else if (word == "--show-options") {
      a.showOptions = true;
    } else if (word == "--merge") {
      a.merge = true;
    } else if (word == "--class" || word == "--format" || word == "--preset" || word == "--out" ||
               word == "--jobs") {
      auto v = value();
      if (!v || v->empty()) {
        error = word + " needs a value";
        return false;
      }
      if (word == "--class") {
        const auto it = std::find(std::begin(kClassNames), std::end(kClassNames), lower(*v));
        if (it == std::end(kClassNames)) {
          error = "unknown class '" + *v + "' (video, device or audio)";
          return false;
        }
        a.formatClass = static_cast<int>(it - std::begin(kClassNames));
      } else if (word == "--format") {
        a.formatName = *v;
      } else if (word == "--preset") {
        if (v->find_first_not_of("0123456789") != std::string::npos || v->size() > 4) {
          error = "--preset needs a preset number";
          return false;
        }
        a.preset = std::stoi(*v);
      } else if (word == "--jobs") {
        if (lower(*v) == "auto") {
          a.jobs = 0;
        } else if (v->find_first_not_of("0123456789") != std::string::npos || v->size() > 3 ||
                   std::stoi(*v) < 1) {
          error = "--jobs needs a number of jobs from 1 to 999, or auto";
          return false;
        } else {
          a.jobs = std::stoi(*v);
        }
      } else {
        a.outputDir = *v;
      }
    } else if (word == "--") {
      a.files.insert(a.files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (word.size() > 1 && word[0] == '-') {
      error = "unknown option " + word;
      return false;
    } else {
      a.files.push_back(word);
    }
  }
  if (a.list) return true;
  if (a.formatName.empty()) {
    error = "--format is missing";
    return false;
  }
  if (a.files.empty() && !a.showOptions) {
    error = "no input file";
    return false;
  }
  return true;
}

void listCatalogue(std::ostream& out) {
  for (int c = 0; c < convert::kFormatClassCount; ++c) {
    out << kClassNames[c] << " (" << convert::ClassCaption(c) << ")\n";
    for (const convert::FormatInfo& f : convert::Catalogue()) {
      if (f.formatClass != c) continue;
      out << "  " << f.name << " (" << f.extension << ")\n";
      for (int p = 0; p < f.PresetCount(); ++p) {
        out << "    " << (p == f.defaultPreset ? "*" : " ") << p << ": " << f.presets[p] << "\n";
      }
    }
  }
  out << "(* the default preset)\n";
}

const convert::FormatInfo* findFormat(const Arguments& a, std::string& error) {
  const convert::FormatInfo* found = nullptr;
  for (const convert::FormatInfo& f : convert::Catalogue()) {
    if (lower(f.name) != lower(a.formatName)) continue;
    if (a.formatClass >= 0 && f.formatClass != a.formatClass) continue;
    found = &f;
    break;
  }
  if (!found) {
    error = "unknown format '" + a.formatName + "'" +
            (a.formatClass >= 0 ? " in class " + std::string(kClassNames[a.formatClass]) : "") +
            " (see --list)";
  }
  return found;
}

// The progress of the job being converted, on one line of standard error.
class Progress {
 public:
  explicit Progress(const convert::BatchPlan& plan) : plan_(plan) {}

  // A job's clock starts when it starts: the first `count` at the start of the queue, each
  // later one when an earlier one ended (the first report of a job comes only after the
  // report interval).
  void QueueStarts(int count) {
    for (int i = 0; i < count; ++i) NextStarts();
  }
  void NextStarts() { starts_[next_++] = std::chrono::steady_clock::now(); }

  void Show(int taskIndex, int64_t currentUs, int64_t totalUs) {
    if (taskIndex < 0 || taskIndex >= static_cast<int>(plan_.Jobs.size())) return;
    const convert::BatchJob& job = plan_.Jobs[taskIndex];
    if (totalUs <= 0) totalUs = job.Duration;
    const auto now = std::chrono::steady_clock::now();
    const auto start = starts_.try_emplace(taskIndex, now).first->second;
    const int64_t elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(now - start).count();
    std::string name = job.Inputs.size() == 1 ? convert::FileNameOf(job.Inputs.front())
                                              : convert::FileNameOf(job.Output);
    char line[512];
    if (totalUs > 0) {
      const int percent = engine::ProgressPercent(currentUs, totalUs);
      std::snprintf(line, sizeof line, "[%d/%zu] %s  %3d%%  %s of %s  time left %s", taskIndex + 1,
                    plan_.Jobs.size(), name.c_str(), percent, cli::ClockText(currentUs).c_str(),
                    cli::ClockText(totalUs).c_str(),
                    cli::ClockText(cli::TimeLeftUs(elapsed, currentUs, totalUs)).c_str());
    } else {
      std::snprintf(line, sizeof line, "[%d/%zu] %s  %s  time left unknown", taskIndex + 1,
                    plan_.Jobs.size(), name.c_str(), cli::ClockText(currentUs).c_str());
    }
    std::lock_guard<std::mutex> lock(Mutex());
    std::cerr << (terminal_ ? "\r" : "") << line << (terminal_ ? "\033[K" : "\n") << std::flush;
    shown_ = terminal_;
  }

  // Ends an overwritten line before other text; call with Mutex() held.
  void EndLine() {
    if (shown_) std::cerr << "\n";
    shown_ = false;
  }

  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }

 private:
  const convert::BatchPlan& plan_;
  std::map<int, std::chrono::steady_clock::time_point> starts_;
  int next_ = 0;
  bool terminal_ = cli::ProgressOnTerminal();
  bool shown_ = false;
};

int convertFiles(const std::vector<std::string>& args) {
  Arguments a;
  std::string error;
  if (!parse(args, a, error)) {
    std::cerr << "wizconv-cli convert: " << error << "\n" << kUsage;
    return 2;
  }
  if (a.list) {
    listCatalogue(std::cout);
    return 0;
  }
  const convert::FormatInfo* format = findFormat(a, error);
  if (!format) {
    std::cerr << "wizconv-cli convert: " << error << "\n";
    return 2;
  }
  const int preset = a.preset < 0 ? format->defaultPreset : a.preset;
  if (preset >= format->PresetCount()) {
    std::cerr << "wizconv-cli convert: " << format->name << " has the presets 0 to "
              << format->PresetCount() - 1 << " (see --list)\n";
    return 2;
  }
  if (a.showOptions) {
    // What the preset table asks for, for a file without known facts (per file).
    engine::TOutputOptions o;
    o.Reset();
    convert::ApplyPresetTable(o, format->formatClass, format->code, preset,
                              a.merge ? convert::BuildMode::Merge : convert::BuildMode::PerFile,
                              convert::SourceFacts{});
    if (a.merge) o.Join = true;
    showOptions(std::cout, o);
    return 0;
  }
  std::error_code ec;
  std::string outputDir = a.outputDir.empty() ? std::filesystem::current_path(ec).string()
                                              : std::filesystem::absolute(a.outputDir, ec).string();
  if (!std::filesystem::is_directory(outputDir, ec)) {
    std::cerr << "wizconv-cli convert: the output folder " << outputDir << " does not exist\n";
    return 1;
  }
  std::vector<std::string> files;
  for (const std::string& f : a.files) {
    // Inputs by full path, as the window's file list holds them.
    files.push_back(std::filesystem::absolute(f, ec).lexically_normal().string());
  }

  cli::LogEngineToStandardError(engine::llWarning);
  engine::TFFEncoder encoder;
  if (!encoder.EngineLibrariesLoaded() && !encoder.LoadEngineLibraries("lib")) {
    std::cerr << encoder.LastErrorMessage() << "\n";
    return 1;
  }

  // From here on Ctrl+C is a polite stop: while the batch is built too, since every job
  // built has its output file already created.
  cli::StopSignals signals;
  const app::AppSettings settings =
      convert::SettingsForChoice(format->formatClass, format->code, preset, outputDir);
  // The window's run controller: the same jobs, counters and ends as the window shows.
  convert::ConversionRun run(encoder);
  run.JobsAsked = a.jobs;
  const bool built = run.Build(settings, a.merge, files);
  const convert::BatchPlan& plan = run.Plan();
  for (const convert::SkippedFile& s : plan.Skipped)
    std::cerr << "wizconv-cli convert: " << s.File << ": " << s.Reason << "\n";

  bool failed = !plan.Skipped.empty();
  if (cli::StopSignals::Interrupted()) {
    // Stopped before anything ran: the jobs go, and with them their empty outputs.
    run.Discard();
  } else if (built) {
    Progress progress(plan);
    run.OnProgress = [&progress](const engine::TProgressInfo& info) {
      progress.Show(info.TaskIndex, info.CurrentDuration, info.TotalDuration);
    };
    // Each job's end comes on the main thread in the order the jobs end (one at a time);
    // its line waits until the jobs before it have ended, so the lines keep the files'
    // order.
    std::map<int, engine::TTerminateInfo> ends;
    int nextLine = 0;
    auto printEnd = [&](const engine::TTerminateInfo& e) {
      const convert::BatchJob& job = plan.Jobs[e.TaskIndex];
      if (e.Finished && !e.Failed) {
        std::cout << job.Output << "\n" << std::flush;
      } else if (e.Failed) {
        for (const std::string& in : job.Inputs)
          std::cerr << "wizconv-cli convert: " << in << ": " << e.ErrorMessage << "\n";
      } else {
        std::cerr << "wizconv-cli convert: stopped: " << job.Output
                  << (std::filesystem::exists(job.Output) ? " holds what was converted"
                                                          : " was not written")
                  << "\n";
      }
    };
    run.OnJobEnded = [&](const engine::TTerminateInfo& e) {
      if (e.TaskIndex < 0 || e.TaskIndex >= static_cast<int>(plan.Jobs.size())) return;
      progress.NextStarts();
      ends[e.TaskIndex] = e;
      std::lock_guard<std::mutex> out(Progress::Mutex());
      progress.EndLine();
      for (auto it = ends.find(nextLine); it != ends.end(); it = ends.find(nextLine)) {
        printEnd(it->second);
        ends.erase(it);
        ++nextLine;
      }
    };
    convert::RunSummary summary;
    bool ended = false;
    run.OnRunEnded = [&](const convert::RunSummary& s) {
      summary = s;
      ended = true;
    };
    bool stopAsked = false;
    run.Start();
    progress.QueueStarts(run.JobsAtOnce());
    core::MainThread::WaitWhileServing([&] {
      if (cli::StopSignals::Interrupted() && !stopAsked) {
        stopAsked = true;
        run.Cancel(false);
      }
      return ended;
    });
    {
      std::lock_guard<std::mutex> out(Progress::Mutex());
      progress.EndLine();
      std::cerr << "wizconv-cli convert: " << summary.FileCount << " total, " << summary.Succeeded
                << " succeeded, " << summary.Failed << " failed\n";
    }
    if (summary.Succeeded != summary.FileCount) failed = true;
  }
  if (cli::StopSignals::Interrupted()) return cli::kInterruptedExit;
  return failed ? 1 : 0;
}

}  // namespace

WIZCONV_CLI_COMMAND("convert",
                    "[--class video|device|audio] --format NAME [--preset N] [--merge] "
                    "[--out DIR] [--jobs N|auto] FILE... | --list",
                    convertFiles);
