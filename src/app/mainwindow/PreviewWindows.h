#pragma once
// The engine's preview windows: while the encoder's Preview switch is on, every running job
// shows the frames it encodes in a window of its own (a TPreviewer). The windowed program
// installs them at start-up; without them the engine shows no window.

namespace app {

void InstallPreviewWindows();
void RemovePreviewWindows();

}  // namespace app
