#pragma once
// Saving and restoring a window's place on the screen through the settings store. Qt.

#include <string>

#include "appcore/Settings.h"

class QWidget;

namespace app {

// The window's current placement (its normal geometry while maximized, so that the size
// it returns to is kept rather than the size of the screen).
WindowPlacement CurrentWindowPlacement(const QWidget* window);

// Writes the window's placement to `section` of the store's file. Throws AppError
// "Unable to write to <path>".
void SaveWindowPlacement(SettingsStore& store, const std::string& section, const QWidget* window);

// Reads the placement of `section` (missing values: the window's current ones), bounds it
// to the primary screen, moves the window there and makes it maximized or normal. The size
// is applied only to a resizable window; a fixed-size window is bounded with its own size.
// Returns true.
bool RestoreWindowPlacement(const SettingsStore& store, const std::string& section,
                            QWidget* window);

}  // namespace app
