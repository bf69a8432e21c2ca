#pragma once
// The fixed vocabulary of what the converter produces: three format classes, 25 target
// formats and each format's ordered list of quality presets. The numeric codes are what the
// settings file and the branding file store, so they never change. Plain C++.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "appcore/AppSettings.h"

namespace convert {

enum TFormatClass : uint8_t { fcVideo = 0, fcDevice = 1, fcAudio = 2 };

enum TVideoFormat : uint8_t {
  vfAVI = 0,
  vfMP4 = 1,
  vfFLV = 2,
  vfSWF = 3,
  vfMPEG = 4,
  vfRM = 5,
  vfWMV = 6,
  vfMOV = 7,
  vf3GP = 8,
};

enum TDeviceFormat : uint8_t {
  dfiPod = 0,
  dfiPhone = 1,
  dfAppleTV = 2,
  dfPSP = 3,
  dfBlackBerry = 4,
  dfMobilePhone = 5,
  dfiPad = 6,
  dfAndroid = 7,
};

enum TAudioFormat : uint8_t {
  afWAV = 0,
  afMP3 = 1,
  afWMA = 2,
  afOGG = 3,
  afAAC = 4,
  afM4A = 5,
  afFLAC = 6,
  afMP2 = 7,
};

constexpr int kFormatClassCount = 3;
constexpr int kFormatCount = 25;

// One target format. `presetField` points at the settings field holding its preset index.
struct FormatInfo {
  TFormatClass formatClass;
  int code;                        // TVideoFormat, TDeviceFormat or TAudioFormat
  std::string_view name;           // "AVI", "iPod", "FLAC"
  std::string_view buttonName;     // objectName of its button on step 2
  std::string_view brandingKey;    // the branding flag that offers it
  std::string_view presetSetting;  // the settings key of its preset index
  int app::AppSettings::*presetField;
  std::string_view extension;  // with its dot
  std::span<const std::string_view> presets;
  int defaultPreset;

  int PresetCount() const { return static_cast<int>(presets.size()); }
  // objectName of its preset list: "ImageComboBox" + name + "Presets".
  std::string PresetListName() const;
};

// Every format, video codes first, then device, then audio, each class in code order. The
// position in this array is the "catalogue index" used by the flag and preset arrays.
const std::array<FormatInfo, kFormatCount>& Catalogue();

// Number of formats of a class; 0 for a class out of range.
int FormatCount(int formatClass);

// Catalogue index of (class, code), -1 when either is out of range.
int CatalogueIndex(int formatClass, int code);

// nullptr when the class or the code is out of range.
const FormatInfo* FindFormat(int formatClass, int code);

// Looks a format up by its name, letter case ignored ("mp3", "IPOD"); nullptr if unknown.
const FormatInfo* FindFormatByName(std::string_view name);

// The settings field that remembers the current format of a class; nullptr out of range.
uint8_t app::AppSettings::*CurrentFormatField(int formatClass);

// The class's current format code as stored (may be out of range), -1 for a bad class.
int CurrentFormatCode(const app::AppSettings& settings, int formatClass);

// The current class's current format, nullptr when either code is out of range.
const FormatInfo* CurrentFormat(const app::AppSettings& settings);

// Extension of the current class's current format; empty when either code is out of range
// (the caller then keeps its file name as it is).
std::string OutputExtension(const app::AppSettings& settings);

// Caption of a class ("视频", "设备", "音频"); empty out of range.
std::string_view ClassCaption(int formatClass);

}  // namespace convert
