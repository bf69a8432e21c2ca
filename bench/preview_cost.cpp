// The cost of the encoding preview: one engine job converts the same input again and
// again, with the preview window on and off in turn (the order swapped every pair), the
// main thread running the Qt event loop as in the windowed program. Prints every run and
// the median wall time and processor time (user + system, all threads) of each side and
// their ratios; on a busy machine the processor time is the steadier of the two.
//
//   preview_cost INPUT OUTPUT_FOLDER PAIRS
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/MainThread.h"
#include "decoder/preview/Previewer.h"
#include "engine/FFEncoder.h"

namespace {

// What the windowed program installs (app/mainwindow/PreviewWindows.cpp).
class JobPreview : public engine::IPreviewWindow {
 public:
  bool Show(const engine::TBitmap& bitmap, int frameNumber, int64_t pts) override {
    ++frames;
    return previewer_.ShowFrame(bitmap, frameNumber, pts);
  }
  static inline std::atomic<int> frames{0};

 private:
  preview::TPreviewer previewer_;
};

double ProcessorSeconds() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Times {
  double wall = -1, processor = -1;
};

// One conversion; negative times when it failed.
Times Convert(const std::string& input, const std::string& output, bool preview) {
  engine::TFFEncoder encoder;
  if (!encoder.LoadEngineLibraries("lib")) return {};
  encoder.SetPreview(preview);
  const int task = encoder.AddTask(input);
  if (task < 0 || !encoder.SetOutputFile(task, output)) {
    std::fprintf(stderr, "preview_cost: %s\n", encoder.LastErrorMessage().c_str());
    return {};
  }
  QEventLoop loop;
  std::atomic<bool> failed{false};
  encoder.OnTerminate = [&](engine::TCustomEncoder&, const engine::TTerminateInfo& info) {
    if (info.Failed) failed = true;
    if (info.TaskIndex == -1) QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  };
  const auto start = std::chrono::steady_clock::now();
  const double processorStart = ProcessorSeconds();
  encoder.StartTask(1);
  loop.exec();
  Times times;
  times.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  times.processor = ProcessorSeconds() - processorStart;
  encoder.WaitForNotifiers();
  return failed ? Times{} : times;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: preview_cost INPUT OUTPUT_FOLDER PAIRS\n");
    return 2;
  }
  core::MainThread::SetCurrentAsMain();
  QApplication app(argc, argv);
  core::MainThread::SetWaker([] {
    QMetaObject::invokeMethod(
        qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
  });
  engine::SetPreviewWindowFactory([] { return std::make_unique<JobPreview>(); });

  const std::string input = argv[1];
  const std::string output = std::string(argv[2]) + "/preview_cost.avi";
  const int pairs = std::max(1, std::atoi(argv[3]));
  std::vector<double> wallOn, wallOff, processorOn, processorOff;
  for (int i = 0; i < pairs; ++i) {
    for (const bool preview : {i % 2 == 0, i % 2 != 0}) {
      JobPreview::frames = 0;
      const Times t = Convert(input, output, preview);
      if (t.wall < 0) {
        std::fprintf(stderr, "preview_cost: the conversion failed\n");
        return 1;
      }
      (preview ? wallOn : wallOff).push_back(t.wall);
      (preview ? processorOn : processorOff).push_back(t.processor);
      std::printf("run %d preview %-3s wall %.3f s  processor %.3f s  %d frames shown\n", i + 1,
                  preview ? "on" : "off", t.wall, t.processor, JobPreview::frames.load());
      std::fflush(stdout);
    }
  }
  const auto report = [](const char* what, double off, double on) {
    std::printf("median %-9s preview off %.3f s, on %.3f s, on/off %.3f (%+.1f%%)\n", what, off,
                on, on / off, (on / off - 1) * 100);
  };
  report("wall", Median(wallOff), Median(wallOn));
  report("processor", Median(processorOff), Median(processorOn));
  engine::SetPreviewWindowFactory(nullptr);
  core::MainThread::SetWaker(nullptr);
  return 0;
}
