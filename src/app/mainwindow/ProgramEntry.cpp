#include "app/mainwindow/ProgramEntry.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QMetaObject>
#include <QPointer>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/mainwindow/PreviewWindows.h"
#include "appcore/AppError.h"
#include "appcore/Branding.h"
#include "appcore/FileNames.h"
#include "appcore/FileBytes.h"
#include "appcore/IniFile.h"
#include "appcore/QtMessages.h"
#include "appcore/Settings.h"
#include "appcore/WindowPlacementQt.h"
#include "core/MainThread.h"
#include "core/Messages.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"
#include "log/window/FormLog.h"

namespace app {
namespace {

// The application title from the branding file.
std::string ReadTitle(const std::string& exeDir) {
  const IniFile ini = IniFile::FromLines(LoadBrandingLines(BrandingFilePath(exeDir)));
  return ini.ReadString("SYSTEM", "Name", "");
}

// The icon must be there; a file that cannot be read is a file-open error.
QIcon LoadIcon(const std::string& exeDir) {
  const std::string path = exeDir + "icon.ico";
  ReadFileBytes(path);  // throws the file-open error with the system's reason
  QIcon icon(QString::fromStdString(path));
  if (icon.isNull() || icon.availableSizes().isEmpty()) {
    throw AppError(FileOpenErrorText(path, "The file is not a valid icon."));
  }
  return icon;
}

// The log window stores its placement in the settings file of the main window.
void WirePlacement(logwindow::TFormLog* log, TFormMain* main) {
  log->RestorePlacement = [main](QWidget* w) {
    if (!main->SettingsLoaded()) return;
    RestoreWindowPlacement(SettingsStore(main->SettingsFilePath()), "FormLog", w);
  };
  log->SavePlacement = [main](QWidget* w) {
    if (!main->SettingsLoaded()) return;
    try {
      SettingsStore store(main->SettingsFilePath());
      SaveWindowPlacement(store, "FormLog", w);
    } catch (const std::exception& e) {
      core::Messages::Error(e.what());
    }
  };
}

// SIGTERM and SIGINT (the session ends, Ctrl+C in a terminal) close the main window as
// its close button does, so that the settings are saved. The handler only writes to a
// pipe; the event loop does the rest.
int terminationPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(terminationPipe[1], &byte, 1);
}

// The handler is installed before anything else starts, so that a signal arriving during
// the start-up is kept in the pipe and closes the window as soon as it exists.
void CatchTerminationSignals() {
  if (pipe(terminationPipe) != 0) return;
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

void CloseOnTerminationSignals(TFormMain* window) {
  if (terminationPipe[0] < 0) return;
  auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    char byte;
    [[maybe_unused]] const ssize_t n = read(terminationPipe[0], &byte, 1);
    window->CloseWithoutAsking();
  });
}

}  // namespace

std::unique_ptr<Program> StartProgram(const std::string& exeDir,
                                      MainWindowEnvironment environment) {
  auto program = std::make_unique<Program>();
  QIcon icon;
  try {
    const std::string title = ReadTitle(exeDir);
    core::Messages::SetTitle(title);
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
    icon = LoadIcon(exeDir);
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    core::Messages::Error(e.what());
    return nullptr;
  }
  QApplication::setWindowIcon(icon);

  // The log window comes first, so that the main window's start-up can already log
  // (a codec library that fails to load).
  auto* log = new logwindow::TFormLog;
  program->logWindow.reset(log);

  // Engine and library log lines arrive on the main thread.
  engine::DefaultLogger().OnLog = [log = QPointer<logwindow::TFormLog>(log)](
                                      const void*, uint32_t threadId, engine::TLogLevel level,
                                      const std::string& message) {
    if (log) log->AppendLogEvent(threadId, static_cast<int>(level), message);
  };

  if (!environment.loadEngineLibraries) {
    environment.engineLibrariesLoaded = [] { return engine::EngineLibrariesLoaded(); };
    environment.loadEngineLibraries = [](const std::string& folder, std::string& error) {
      if (engine::LoadEngineLibraries(folder)) return true;
      error = engine::LastLoadError();
      return false;
    };
  }
  environment.exeDir = exeDir;
  environment.logWindow = log;
  environment.appendLog = [log](const std::string& line) { log->AppendLine(line); };
  program->mainWindow = std::make_unique<TFormMain>(std::move(environment));
  WirePlacement(log, program->mainWindow.get());
  return program;
}

std::vector<std::string> CommandLineFiles(const QStringList& arguments,
                                          const QString& currentFolder) {
  std::vector<std::string> files;
  const QDir folder(currentFolder);
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    QString path = arguments[i];
    if (path.isEmpty()) continue;
    static const QRegularExpression remoteLink(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
    if (path.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
      const QUrl url(path);
      if (!url.isLocalFile()) continue;
      path = url.toLocalFile();
    } else if (remoteLink.match(path).hasMatch()) {
      continue;  // a link to elsewhere is no file
    }
    files.push_back(QDir::cleanPath(folder.absoluteFilePath(path)).toStdString());
  }
  return files;
}

int RunProgram() {
  CatchTerminationSignals();
  core::MainThread::SetCurrentAsMain();
  // Calls handed to the main thread run from its event loop.
  core::MainThread::SetWaker([] {
    QMetaObject::invokeMethod(
        qApp, [] { core::MainThread::ProcessPending(); }, Qt::QueuedConnection);
  });
  QtMessages messages;
  core::Messages::Install(&messages);
  InstallPreviewWindows();

  QFont font("WenQuanYi Micro Hei");
  font.setPixelSize(12);
  QApplication::setFont(font);

  const std::string exeDir =
      WithTrailingSeparator(QCoreApplication::applicationDirPath().toStdString());
  auto program = StartProgram(exeDir);
  if (!program) return 1;
  // The log window may still be open: closing the main window ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(program->mainWindow.get(), &TFormMain::Closed, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  CloseOnTerminationSignals(program->mainWindow.get());
  program->mainWindow->OpenFiles(
      CommandLineFiles(QCoreApplication::arguments(), QDir::currentPath()));
  program->mainWindow->show();
  const int code = QApplication::exec();
  RemovePreviewWindows();
  core::MainThread::SetWaker(nullptr);
  core::Messages::Install(nullptr);
  return code;
}

}  // namespace app
