#pragma once
// The busy cursor while the program works on the main thread. Qt.

namespace app {

// The busy cursor: BeginBusy shows it and counts; EndBusy counts down and restores the
// normal cursor when the count reaches 0; an EndBusy without BeginBusy does nothing.
void BeginBusy();
void EndBusy();
int BusyCount();

}  // namespace app
