// wizconv-cli download [--out DIR] [--default-quality] [--order default|best]
//                      [--service DOMAIN] URL...
// Downloads videos over the same download run as the window: one progress line per file
// on standard error, the summary after the run, the saved paths on standard output.
// Ctrl+C cancels the run as the window's Exit button does. Exit codes: 0 every entry
// saved, 1 some entry not saved, 2 usage errors.
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "appcore/Branding.h"
#include "cli/CliCommand.h"
#include "cli/RunSupport.h"
#include "core/MainThread.h"
#include "download/AddressList.h"
#include "download/DownloadRun.h"

namespace {

constexpr const char* kUsage =
    "[--out DIR] [--default-quality] [--order default|best] [--service DOMAIN] URL...";

struct Options {
  std::string folder = ".";
  bool highQuality = true;
  bool bestOrder = false;
  std::optional<std::string> service;
  std::vector<std::string> urls;
};

std::optional<Options> parse(const std::vector<std::string>& args, std::string& error) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = a + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };
    if (a == "--out") {
      auto v = value();
      if (!v) return std::nullopt;
      o.folder = *v;
    } else if (a == "--default-quality") {
      o.highQuality = false;
    } else if (a == "--order") {
      auto v = value();
      if (!v) return std::nullopt;
      if (*v != "default" && *v != "best") {
        error = "--order is default or best, not '" + *v + "'";
        return std::nullopt;
      }
      o.bestOrder = *v == "best";
    } else if (a == "--service") {
      auto v = value();
      if (!v) return std::nullopt;
      o.service = *v;
    } else if (a == "--") {
      o.urls.insert(o.urls.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + a;
      return std::nullopt;
    } else {
      o.urls.push_back(a);
    }
  }
  if (o.urls.empty()) {
    error = "no address given";
    return std::nullopt;
  }
  return o;
}

std::string executableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("./") : exe.parent_path().string() + "/";
}

// The edition's name and service, or the defaults when no branding file is beside us.
app::BrandingConfig edition() {
  try {
    return app::ReadBrandingConfig(app::LoadBrandingLines(app::BrandingFilePath(executableDir())));
  } catch (const std::exception&) {
    app::BrandingConfig c;
    c.Name = "Wizconv";
    return c;
  }
}

int usageError(const std::string& error) {
  std::cerr << "wizconv-cli download: " << error << "\nusage: wizconv-cli download " << kUsage
            << "\n";
  return 2;
}

// The progress line of the current file: status, size, speed, percent, time left.
class ProgressPrinter {
 public:
  explicit ProgressPrinter(const download::DownloadRun& run)
      : run_(run), terminal_(cli::ProgressOnTerminal()) {}

  void Update(bool force = false) {
    const int i = run_.CurrentIndex();
    if (i < 0 || i >= static_cast<int>(run_.Rows().size())) return;
    const download::DownloadRow& row = run_.Rows()[i];
    // A new status always shows; progress at most every 200 ms on a terminal, every
    // second elsewhere.
    const auto now = std::chrono::steady_clock::now();
    if (!force && row.Status == lastStatus_ &&
        now - last_ < std::chrono::milliseconds(terminal_ ? 200 : 1000))
      return;
    last_ = now;
    lastStatus_ = row.Status;
    const download::DownloadLabels& l = run_.Labels();
    std::string line = "[" + std::to_string(i + 1) + "/" + std::to_string(run_.TotalCount()) +
                       "] " + row.Status + "  " + row.Size + "  " + row.Speed + "  " +
                       row.Progress + "  " + l.TimeLeft;
    if (terminal_) {
      std::cerr << "\r" << line << "\033[K" << std::flush;
      open_ = true;
    } else {
      std::cerr << line << "\n" << std::flush;
    }
  }
  void EndLine() {
    if (open_) std::cerr << "\n";
    open_ = false;
  }

 private:
  const download::DownloadRun& run_;
  bool terminal_;
  bool open_ = false;
  std::string lastStatus_;
  std::chrono::steady_clock::time_point last_{};
};

int runDownload(const std::vector<std::string>& args) {
  std::string error;
  const std::optional<Options> options = parse(args, error);
  if (!options) return usageError(error);
  const app::BrandingConfig brand = edition();
  std::string domain = options->service.value_or(brand.ServiceDomain);
  for (char& c : domain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  // The same tests as pasting in the window: an address that is not the service's is a
  // usage error, a repeated one is dropped with a note.
  download::AddressList list(domain);
  for (const std::string& url : options->urls) {
    if (!download::IsVideoAddress(url, domain)) {
      return usageError(url + ": " + download::kNotAVideoAddress + " (not an address of " +
                        domain + ")");
    }
    list.Paste(url, [&](const std::string&) {
      std::cerr << "wizconv-cli download: " << url << ": " << download::kAlreadyListed << "\n";
      return true;
    });
  }
  std::string folder = options->folder;
  if (!download::PrepareDownloadFolder(folder)) {
    std::cerr << "wizconv-cli download: cannot create the folder " << folder << "\n";
    return 2;
  }

  // The script engine expects an application object.
  std::unique_ptr<QCoreApplication> qapp;
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "wizconv-cli";
    static char* argv[] = {name, nullptr};
    qapp = std::make_unique<QCoreApplication>(argc, argv);
  }

  download::DownloadRunOptions runOptions;
  runOptions.ServiceDomain = domain;
  runOptions.Agent = "[" + (brand.Name.empty() ? std::string("Wizconv") : brand.Name) + "]";
  // The script host has finished when it returns: there is nothing to wait for.
  runOptions.PauseAfterExtraction = std::chrono::milliseconds(0);
  download::DownloadRun run(runOptions);
  download::QualityPreference quality;
  quality.HighQuality = options->highQuality;
  quality.Order = options->bestOrder ? download::kBestAvailableOrder : download::kDefaultOrder;

  ProgressPrinter progress(run);
  bool finished = false;
  run.OnLabelsChanged = [&] { progress.Update(); };
  run.OnEntryEnded = [&](int entry) {
    progress.EndLine();
    const download::EntryResult& r = run.Results()[entry];
    std::cerr << "[" << entry + 1 << "/" << run.TotalCount() << "] " << r.Status << " "
              << (r.SavedPath.empty() ? r.Address : r.SavedPath)
              << (r.Error.empty() ? "" : ": " + r.Error) << "\n";
  };
  run.OnLog = [](const std::string& line) {
    if (line.rfind("links:", 0) == 0 || line.rfind("saved ", 0) == 0) return;
    std::cerr << "download: " << line << "\n";
  };
  run.OnScriptError = [](const std::string& message) { std::cerr << message << "\n"; };
  run.OnFinished = [&] { finished = true; };

  std::atomic<bool> stop{false};
  cli::StopSignals stopSignals(&stop);
  run.StartDownloadRun(list.Entries(), folder, quality);
  bool cancelAsked = false;
  core::MainThread::WaitWhileServing(
      [&] {
        if (stop && !cancelAsked) {
          cancelAsked = true;
          run.Cancel();
        }
        return finished && run.Idle();
      },
      std::chrono::milliseconds(-1));
  progress.EndLine();

  std::cerr << "总文件：" << run.TotalCount() << "  成功：" << run.SucceededCount()
            << "  失败：" << run.FailedCount() << (cancelAsked ? "  (cancelled)" : "") << "\n";
  for (const std::string& path : run.DownloadedFiles()) std::cout << path << "\n";
  std::cout.flush();
  return run.SucceededCount() == run.TotalCount() ? 0 : 1;
}

}  // namespace

WIZCONV_CLI_COMMAND("download", kUsage, runDownload);
