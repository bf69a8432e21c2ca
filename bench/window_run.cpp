// A conversion batch as the window runs it: steps 3 and 4 as widgets (offscreen), the run
// controller, the main thread's calls served by the Qt event loop. Prints the outputs'
// folder contents count and the wall time of the run, for bench/convert_vs_ffmpeg.sh.
//
//   wizconv-window-run --format NAME [--preset N] [--hold SECONDS] --out DIR FILE...
//
// --hold keeps the window open that long after the summary (to look at it, or for a
// screenshot).
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "appcore/PowerActions.h"
#include "convert/BatchBuilder.h"
#include "convert/ConversionPages.h"
#include "convert/FormatCatalogue.h"
#include "core/MainThread.h"
#include "engine/FFEncoder.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  core::MainThread::SetCurrentAsMain();
  QApplication app(argc, argv);
  core::MainThread::SetWaker([] {
    QMetaObject::invokeMethod(
        qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
  });
  // A countdown left to run out is only told: this helper never powers the machine off.
  app::SetPowerActionHandler([](int kind) {
    std::printf("power action %d asked (not performed here)\n", kind);
    std::fflush(stdout);
  });
  std::string formatName, outputDir;
  int preset = -1;
  int holdSeconds = 0;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--format" && i + 1 < argc) {
      formatName = argv[++i];
    } else if (word == "--preset" && i + 1 < argc) {
      preset = std::atoi(argv[++i]);
    } else if (word == "--hold" && i + 1 < argc) {
      holdSeconds = std::atoi(argv[++i]);
    } else if (word == "--out" && i + 1 < argc) {
      outputDir = argv[++i];
    } else {
      files.push_back(std::filesystem::absolute(word).string());
    }
  }
  const convert::FormatInfo* format = convert::FindFormatByName(formatName);
  if (!format || outputDir.empty() || files.empty()) {
    std::fprintf(stderr, "usage: wizconv-window-run --format NAME [--preset N] --out DIR FILE...\n");
    return 2;
  }
  engine::TFFEncoder encoder;
  if (!encoder.EngineLibrariesLoaded() && !encoder.LoadEngineLibraries("lib")) {
    std::fprintf(stderr, "%s\n", encoder.LastErrorMessage().c_str());
    return 1;
  }
  app::AppSettings settings = convert::SettingsForChoice(
      format->formatClass, format->code, preset < 0 ? format->defaultPreset : preset,
      std::filesystem::absolute(outputDir).string() + "/");
  QWidget window;
  window.setWindowTitle("wizconv: steps 3 and 4");
  window.resize(553, 860);
  auto* step3 = new QWidget(&window);
  step3->setGeometry(0, 0, 553, 426);
  auto* step4 = new QWidget(&window);
  step4->setGeometry(0, 430, 553, 426);
  int succeeded = 0, total = 0;
  QEventLoop loop;
  {
    convert::ConversionPages pages(step3, step4, settings, encoder);
    pages.SetAppTitle("Wizconv");
    window.show();
    QObject::connect(&pages, &convert::ConversionPages::SummaryShown, &loop, [&] {
      total = pages.Run().FileCount();
      succeeded = pages.Run().SucceededCount();
      loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    if (!pages.StartRun(files, false)) {
      std::fprintf(stderr, "no job could be built\n");
      return 1;
    }
    loop.exec();
    std::printf("%d of %d files converted in %.2f s\n", succeeded, total,
                static_cast<double>(clock.nsecsElapsed()) / 1e9);
    std::fflush(stdout);
    if (holdSeconds > 0) {
      QTimer::singleShot(holdSeconds * 1000, &loop, &QEventLoop::quit);
      loop.exec();
    }
  }
  core::MainThread::SetWaker(nullptr);
  return succeeded == total ? 0 : 1;
}
