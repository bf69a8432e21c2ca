// Adding many files to step 1 of the real main window (offscreen): how long the main
// thread is held up at most while the files are probed, how long the whole add takes, and
// the memory before and after. For bench/task_add.sh.
//
//   wizconv-task-add EXE_DIR FILE...
//
// EXE_DIR is the run-time folder (build/bin). The longest stall is the longest gap between
// two turns of a 1 ms timer on the main thread while the files are added.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/mainwindow/ProgramEntry.h"
#include "appcore/QtMessages.h"
#include "core/MainThread.h"
#include "core/Messages.h"

namespace {

// A "VmXXX:" line of /proc/self/status in KiB.
long StatusKiB(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  core::MainThread::SetCurrentAsMain();
  QApplication application(argc, argv);
  core::MainThread::SetWaker([] {
    QMetaObject::invokeMethod(
        qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
  });
  if (argc < 3) {
    std::fprintf(stderr, "usage: wizconv-task-add EXE_DIR FILE...\n");
    return 2;
  }
  app::QtMessages messages;
  core::Messages::Install(&messages);
  std::string exeDir = argv[1];
  if (exeDir.back() != '/') exeDir += '/';
  std::vector<std::string> files(argv + 2, argv + argc);

  auto program = app::StartProgram(exeDir);
  if (!program || !program->mainWindow->StartupError().empty()) return 1;
  app::TFormMain& window = *program->mainWindow;
  window.show();
  QCoreApplication::processEvents();
  const long rssBefore = StatusKiB("VmRSS");

  QElapsedTimer clock, sinceTick;
  qint64 longest = 0;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    longest = std::max(longest, sinceTick.elapsed());
    sinceTick.restart();
    if (!window.AddingFiles()) QCoreApplication::exit(0);  // quit() would close the windows
  });
  QTimer::singleShot(0, [&] {
    clock.start();
    sinceTick.start();
    window.OpenFiles(files);
    // The call itself counts as a stall too.
    longest = std::max(longest, sinceTick.elapsed());
    sinceTick.restart();
    tick.start(1);
  });
  QApplication::exec();
  const qint64 total = clock.elapsed();
  std::printf("files added: %d of %zu\n", window.TaskCount(), files.size());
  std::printf("whole add: %.2f s\n", total / 1000.0);
  std::printf("longest main-thread stall: %lld ms\n", static_cast<long long>(longest));
  std::printf("memory: %ld MiB before, %ld MiB after, peak %ld MiB\n", rssBefore / 1024,
              StatusKiB("VmRSS") / 1024, StatusKiB("VmHWM") / 1024);
  std::fflush(stdout);
  const bool complete = window.TaskCount() == static_cast<int>(files.size());
  window.CloseWithoutAsking();
  program.reset();
  core::Messages::Install(nullptr);
  core::MainThread::SetWaker(nullptr);
  return complete ? 0 : 1;
}
