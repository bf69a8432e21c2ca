#pragma once
// The settings file: the user's choices (section "System") and the window placements
// (sections "Form", "FormLog"), read once at start-up and written when the main window
// closes. Plain C++.

#include <string>

#include "appcore/AppSettings.h"

namespace app {

// Where and how big a window was; x and y are its left and top.
struct WindowPlacement {
  int x = 0;
  int y = 0;
  int height = 0;
  int width = 0;
  bool maximized = false;
  bool operator==(const WindowPlacement&) const = default;
};

// Brings a stored placement back onto a screen of the given size: a size larger than the
// screen shrinks to it, a window hanging over the right or bottom edge moves back, and a
// negative left or top becomes 0.
WindowPlacement BoundPlacement(WindowPlacement placement, int screenWidth, int screenHeight);

// The folder of the settings file: appDataFolder/<title with "/" as blanks>/, created when
// missing. When it cannot be created (or a file of that name is in the way) the settings
// live in the app-data folder itself. Always ends with "/".
std::string SettingsFolder(const std::string& appDataFolder, const std::string& title);

// "~system2.dat"
std::string SettingsFileName();

class SettingsStore {
 public:
  explicit SettingsStore(std::string path);
  const std::string& Path() const { return path_; }

  // When the file exists, reads every key of section "System" into `settings`, each with
  // the field's current value as its default, and returns true. Integers are decimal or
  // "0x" hexadecimal; a malformed one keeps the current value, and so does a byte outside
  // 0 to 255; a flag is true for any non-zero integer. When the file does not exist, writes it with
  // the current values and returns false (throws like SaveSettings).
  bool LoadSettings(AppSettings& settings) const;

  // Writes every field to section "System" in key order, keeping the file's other
  // sections. Throws AppError "Unable to write to <path>" when the file cannot be written
  // (or exists but cannot be read, so that nothing in it is lost).
  void SaveSettings(const AppSettings& settings) const;

  // A window's placement as keys x, y, height, width, maximized of `section`. An empty
  // fileName means the settings file. Throws like SaveSettings.
  void SaveWindowPlacement(const std::string& section, const WindowPlacement& placement,
                           const std::string& fileName = "") const;
  // The stored placement; each missing or malformed value is taken from `current`, except
  // maximized, which is false unless stored. The result is not bounded to a screen.
  WindowPlacement ReadWindowPlacement(const std::string& section, const WindowPlacement& current,
                                      const std::string& fileName = "") const;

 private:
  std::string path_;
};

}  // namespace app
