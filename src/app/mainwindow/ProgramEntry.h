#pragma once
// The windowed program's entry: branding title and icon, log window, main window, event
// loop. Split into a start that tests can drive and the loop that only the program runs.

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/mainwindow/MainWindow.h"
#include "log/window/FormLog.h"

namespace app {

struct Program {
  std::unique_ptr<logwindow::TFormLog> logWindow;
  std::unique_ptr<TFormMain> mainWindow;
};

// Everything before the event loop, for the executable's folder `exeDir` (with a trailing
// separator). On a missing branding file or icon, shows the file-open error and returns
// nothing. The main window is created (and its start-up run) but not shown yet.
std::unique_ptr<Program> StartProgram(const std::string& exeDir,
                                      MainWindowEnvironment environment = {});

// The files named on the command line: every argument after the program's own name (Qt
// has taken out its own options already), made absolute against `currentFolder`; a
// "file:" link becomes its local path and a link to elsewhere is skipped. The command
// line carries nothing else.
std::vector<std::string> CommandLineFiles(const QStringList& arguments,
                                          const QString& currentFolder);

// The program: needs a QApplication. Opens on step 1 with the files of the command line.
// Returns the exit code.
int RunProgram();

}  // namespace app
