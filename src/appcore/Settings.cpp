#include "appcore/Settings.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

#include "appcore/AppError.h"
#include "appcore/FileNames.h"
#include "appcore/IniFile.h"
#include "appcore/IntegerText.h"

namespace app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemSection = "System";

using Field = std::variant<std::string AppSettings::*, uint8_t AppSettings::*, int AppSettings::*,
                           bool AppSettings::*>;

struct Key {
  const char* name;
  Field field;
};

// The keys of section "System" in the order they are written.
const Key kKeys[] = {
    {"LastOpenDir", &AppSettings::LastOpenDir},
    {"OutputFileDir", &AppSettings::OutputFileDir},
    {"OutputURLDir", &AppSettings::OutputURLDir},
    {"OutputFormatClass", &AppSettings::OutputFormatClass},
    {"OutputAudioFormat", &AppSettings::OutputAudioFormat},
    {"OutputVideoFormat", &AppSettings::OutputVideoFormat},
    {"OutputDeviceFormat", &AppSettings::OutputDeviceFormat},
    {"OutputWAVPreset", &AppSettings::OutputWAVPreset},
    {"OutputMP3Preset", &AppSettings::OutputMP3Preset},
    {"OutputWMAPreset", &AppSettings::OutputWMAPreset},
    {"OutputOGGPreset", &AppSettings::OutputOGGPreset},
    {"OutputM4APreset", &AppSettings::OutputM4APreset},
    {"OutputAACPreset", &AppSettings::OutputAACPreset},
    {"OutputFLACPreset", &AppSettings::OutputFLACPreset},
    {"OutputMP2Preset", &AppSettings::OutputMP2Preset},
    {"OutputAVIPreset", &AppSettings::OutputAVIPreset},
    {"OutputMP4Preset", &AppSettings::OutputMP4Preset},
    {"OutputFLVPreset", &AppSettings::OutputFLVPreset},
    {"OutputSWFPreset", &AppSettings::OutputSWFPreset},
    {"OutputMPEGPreset", &AppSettings::OutputMPEGPreset},
    {"OutputRMPreset", &AppSettings::OutputRMPreset},
    {"OutputWMVPreset", &AppSettings::OutputWMVPreset},
    {"OutputMOVPreset", &AppSettings::OutputMOVPreset},
    {"Output3GPPreset", &AppSettings::Output3GPPreset},
    {"OutputiPodPreset", &AppSettings::OutputiPodPreset},
    {"OutputiPhonePreset", &AppSettings::OutputiPhonePreset},
    {"OutputAppleTVPreset", &AppSettings::OutputAppleTVPreset},
    {"OutputPSPPreset", &AppSettings::OutputPSPPreset},
    {"OutputBlackBerryPreset", &AppSettings::OutputBlackBerryPreset},
    {"OutputMobilePhonePreset", &AppSettings::OutputMobilePhonePreset},
    {"OutputiPadPreset", &AppSettings::OutputiPadPreset},
    {"OutputAndroidPreset", &AppSettings::OutputAndroidPreset},
    {"PlayASoundWhenFinished", &AppSettings::PlayASoundWhenFinished},
    {"ShutDownWhenFinished", &AppSettings::ShutDownWhenFinished},
    {"PreferYouTubeQuality", &AppSettings::PreferYouTubeQuality},
    {"PreferYouTube1", &AppSettings::PreferYouTube1},
    {"PreferYouTube2", &AppSettings::PreferYouTube2},
    {"PreferYouTube3", &AppSettings::PreferYouTube3},
    {"PreferYouTube4", &AppSettings::PreferYouTube4},
    {"PreferYouTube5", &AppSettings::PreferYouTube5},
    {"PreferYouTube6", &AppSettings::PreferYouTube6},
    {"PreferYouTube7", &AppSettings::PreferYouTube7},
    {"PreferYouTube18", &AppSettings::PreferYouTube18},
};

// Blanks around a value and a pair of enclosing quotes are dropped when an INI value is
// read, so such texts (a folder " x" is legal here) are written in quotes.
std::string quoteIfNeeded(const std::string& text) {
  if (text.empty()) return text;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const bool enclosed = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (blank(text.front()) || blank(text.back()) || enclosed) return "\"" + text + "\"";
  return text;
}

std::string unquote(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

int readInteger(const IniFile& ini, const char* section, const char* key, int current) {
  const std::optional<std::string> value = ini.Value(section, key);
  if (!value) return current;
  return ParseSettingsInteger(*value).value_or(current);
}

std::string resolve(const std::string& fileName, const std::string& settingsPath) {
  return fileName.empty() ? settingsPath : fileName;
}

// The file as it is, to be changed and written back; a new file when there is none. A file
// that exists but cannot be read is not overwritten.
IniFile loadForUpdate(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return IniFile();
  if (fs::is_symlink(fs::symlink_status(path, ec)) && !fs::exists(fs::status(path, ec))) {
    return IniFile();  // a link to a file not yet made
  }
  try {
    return IniFile::Load(path);
  } catch (const AppError&) {
    throw AppError(WriteErrorText(path));
  }
}

// The file's content for reading; an unreadable or missing file reads as empty.
IniFile loadForReading(const std::string& path) {
  try {
    return IniFile::Load(path);
  } catch (const AppError&) {
    return IniFile();
  }
}

}  // namespace

namespace {
// One axis of the bounding, in 64 bits: stored values are any 32-bit integers and their
// sums must not overflow.
void boundAxis(int& position, int& size, int screenSize) {
  if (size > screenSize) size = screenSize;
  int64_t start = position;
  if (start + size > screenSize) start = int64_t{screenSize} - size;
  if (start < 0) start = 0;
  position = static_cast<int>(std::min<int64_t>(start, INT32_MAX));
}
}  // namespace

WindowPlacement BoundPlacement(WindowPlacement p, int screenWidth, int screenHeight) {
  boundAxis(p.x, p.width, screenWidth);
  boundAxis(p.y, p.height, screenHeight);
  return p;
}

std::string SettingsFolder(const std::string& appDataFolder, const std::string& title) {
  const std::string appData = WithTrailingSeparator(appDataFolder);
  std::string name = title;
  for (char& c : name) {
    if (c == '/') c = ' ';
  }
  const std::string folder = WithTrailingSeparator(appData + name);
  std::error_code ec;
  // A fresh account may not have the app-data folder yet (it is made on first use here).
  fs::create_directories(appData, ec);
  if (fs::is_directory(folder, ec)) return folder;
  fs::create_directory(folder, ec);
  return !ec && fs::is_directory(folder, ec) ? folder : appData;
}

std::string SettingsFileName() { return "~system2.dat"; }

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

bool SettingsStore::LoadSettings(AppSettings& settings) const {
  std::error_code ec;
  if (!fs::exists(path_, ec)) {
    SaveSettings(settings);
    return false;
  }
  const IniFile ini = loadForReading(path_);
  for (const Key& key : kKeys) {
    std::visit(
        [&](auto member) {
          auto& field = settings.*member;
          using T = std::remove_reference_t<decltype(field)>;
          if constexpr (std::is_same_v<T, std::string>) {
            if (auto value = ini.Value(kSystemSection, key.name)) field = unquote(*value);
          } else if constexpr (std::is_same_v<T, bool>) {
            field = readInteger(ini, kSystemSection, key.name, field ? 1 : 0) != 0;
          } else if constexpr (std::is_same_v<T, uint8_t>) {
            // A value a byte cannot hold keeps the default: cutting it to its low bits
            // would choose another class or format than the one written (300 is not 44).
            const int value = readInteger(ini, kSystemSection, key.name, field);
            if (value >= 0 && value <= 0xFF) field = static_cast<uint8_t>(value);
          } else {
            field = readInteger(ini, kSystemSection, key.name, field);
          }
        },
        key.field);
  }
  return true;
}

void SettingsStore::SaveSettings(const AppSettings& settings) const {
  IniFile ini = loadForUpdate(path_);
  for (const Key& key : kKeys) {
    std::visit(
        [&](auto member) {
          const auto& field = settings.*member;
          using T = std::remove_cv_t<std::remove_reference_t<decltype(field)>>;
          if constexpr (std::is_same_v<T, std::string>) {
            // A text with a line break cannot be stored; the key keeps what it had.
            ini.Write(kSystemSection, key.name, quoteIfNeeded(field));
          } else if constexpr (std::is_same_v<T, bool>) {
            ini.Write(kSystemSection, key.name, field ? "1" : "0");
          } else {
            ini.Write(kSystemSection, key.name, std::to_string(static_cast<int>(field)));
          }
        },
        key.field);
  }
  ini.Save(path_);
}

void SettingsStore::SaveWindowPlacement(const std::string& section,
                                        const WindowPlacement& placement,
                                        const std::string& fileName) const {
  const std::string path = resolve(fileName, path_);
  IniFile ini = loadForUpdate(path);
  ini.Write(section, "x", std::to_string(placement.x));
  ini.Write(section, "y", std::to_string(placement.y));
  ini.Write(section, "height", std::to_string(placement.height));
  ini.Write(section, "width", std::to_string(placement.width));
  ini.Write(section, "maximized", placement.maximized ? "1" : "0");
  ini.Save(path);
}

WindowPlacement SettingsStore::ReadWindowPlacement(const std::string& section,
                                                   const WindowPlacement& current,
                                                   const std::string& fileName) const {
  const IniFile ini = loadForReading(resolve(fileName, path_));
  const char* s = section.c_str();
  WindowPlacement p;
  p.maximized = readInteger(ini, s, "maximized", 0) != 0;
  p.x = readInteger(ini, s, "x", current.x);
  p.y = readInteger(ini, s, "y", current.y);
  p.height = readInteger(ini, s, "height", current.height);
  p.width = readInteger(ini, s, "width", current.width);
  return p;
}

}  // namespace app
