#pragma once
// The branding file: the edition's name, version, offered formats, defaults, skin and help
// links. It is an INI text (section SYSTEM) whose bytes are stored complemented (b as
// 255 - b), line by line; the line breaks themselves are stored as they are. Plain C++.

#include <string>
#include <string_view>
#include <vector>

#include "appcore/AppSettings.h"

namespace app {

// The branding file's name in the executable's folder.
inline constexpr const char* kBrandingFileName = "dudozava.dll";

// exeDir + "dudozava.dll" (exeDir ends with a separator).
std::string BrandingFilePath(const std::string& exeDir);

// Reads the file and returns its decoded lines. Lines end at LF or CR LF. Throws AppError
// with the file-open text when the file cannot be read.
std::vector<std::string> LoadBrandingLines(const std::string& path);

// The decoded lines of the file's bytes.
std::vector<std::string> DecodeBrandingLines(std::string_view bytes);

// Plain text -> file bytes: every byte complemented except LF and the CR of a CR LF. Throws
// AppError when the text holds a byte (0xF2, 0xF5 or 0xFF) whose complement is CR, LF or
// NUL, which a reader of the file would take for a line break or an end of text.
std::string EncodeBrandingText(std::string_view plainText);

// File bytes -> plain text; the inverse of EncodeBrandingText, line breaks kept.
std::string DecodeBrandingText(std::string_view bytes);

inline constexpr const char* kDefaultServiceDomain = "youtube.com";

// The branding values, one field per key of section SYSTEM, named as the key. Flags are
// true only for exactly "True" or "Yes".
struct BrandingConfig {
  std::string Name;
  std::string Version;
  std::string Copyright;
  bool Download = false;
  bool Merge = false;
  int Skin = 0;
  std::string ResFolder;
  std::string HelpContectLink;
  std::string HelpHowTosTutorialVideosLink;
  std::string HelpHomePageLink;
  std::string HelpMoreFreeToolsLink;
  std::string HelpCheckForUpdatesLink;
  std::string HelpSupportLink;
  // The video service's domain: the address test, the watch-address pattern and the
  // information address of the download branch.
  std::string ServiceDomain = kDefaultServiceDomain;
  // Video target formats offered. The key "3GP" is not a C++ name: its field is _3GP.
  bool AVI = false;
  bool MP4 = false;
  bool FLV = false;
  bool SWF = false;
  bool MPEG = false;
  bool RM = false;
  bool WMV = false;
  bool MOV = false;
  bool _3GP = false;
  // Device target formats offered.
  bool IPOD = false;
  bool IPAD = false;
  bool ANDROID = false;
  bool IPHONE = false;
  bool APPLETV = false;
  bool PSP = false;
  bool BLACKBERRY = false;
  bool MOBILEPHONE = false;
  // Audio target formats offered.
  bool WAV = false;
  bool MP3 = false;
  bool WMA = false;
  bool OGG = false;
  bool AAC = false;
  bool M4A = false;
  bool FLAC = false;
  bool MP2 = false;
  int DefaultVideo = 0;
  int DefaultDevice = 0;
  int DefaultAudio = 0;
  int DefaultClass = 0;
};

// The 25 format-flag keys in the order the file lists them (video, device, audio).
extern const std::vector<std::string_view> kBrandingFormatKeys;

// The format flag of a key of kBrandingFormatKeys ("3GP", "IPOD", ...; exact spelling),
// or nullptr for any other key.
const bool* BrandingFormatFlag(const BrandingConfig& config, std::string_view key);
bool* BrandingFormatFlag(BrandingConfig& config, std::string_view key);

// Reads every key of section SYSTEM in the file's key order. A missing text is empty, a
// missing flag false. Skin and the four defaults are required decimal integers: a missing
// or malformed one throws AppError "'<value>' is not a valid integer value" (the first
// such key in key order).
BrandingConfig ReadBrandingConfig(const std::vector<std::string>& lines);

// The edition's default formats as the settings' start values (a settings file read later
// overrides them): the class only when it is 0, 1 or 2, the three formats as they are,
// kept to one byte each.
void ApplyBrandingDefaults(const BrandingConfig& config, AppSettings& settings);

}  // namespace app
