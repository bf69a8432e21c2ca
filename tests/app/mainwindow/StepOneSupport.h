#pragma once
// Adding real files to a main window in a test: the codec libraries, and waiting while
// the window probes them.

#include <functional>
#include <string>
#include <vector>

#include "app/mainwindow/MainWindow.h"

namespace mwtest {

// Runs the event loop and the calls workers hand to the main thread until done() is
// true; false after the timeout.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000);
// Loads the codec libraries once.
void LoadCodecs();
// AddFiles and wait until every file is probed.
void AddAndWait(app::TFormMain& window, const std::vector<std::string>& paths);

}  // namespace mwtest
