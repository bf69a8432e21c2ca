#include "appcore/Branding.h"

#include <cstdio>
#include <utility>

#include "appcore/AppError.h"
#include "appcore/FileBytes.h"
#include "appcore/IniFile.h"
#include "appcore/IntegerText.h"

namespace app {

namespace {

constexpr const char* kSection = "SYSTEM";

char complement(char c) { return static_cast<char>(~static_cast<unsigned char>(c)); }

// Complements every byte except the line breaks (LF, and CR directly before LF).
std::string complementKeepingLineBreaks(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const bool lineBreak =
        out[i] == '\n' || (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n');
    if (!lineBreak) out[i] = complement(out[i]);
  }
  return out;
}

struct FlagKey {
  std::string_view key;
  bool BrandingConfig::*field;
};

const FlagKey kFlagKeys[] = {
    {"AVI", &BrandingConfig::AVI},
    {"MP4", &BrandingConfig::MP4},
    {"FLV", &BrandingConfig::FLV},
    {"SWF", &BrandingConfig::SWF},
    {"MPEG", &BrandingConfig::MPEG},
    {"RM", &BrandingConfig::RM},
    {"WMV", &BrandingConfig::WMV},
    {"MOV", &BrandingConfig::MOV},
    {"3GP", &BrandingConfig::_3GP},
    {"IPOD", &BrandingConfig::IPOD},
    {"IPAD", &BrandingConfig::IPAD},
    {"ANDROID", &BrandingConfig::ANDROID},
    {"IPHONE", &BrandingConfig::IPHONE},
    {"APPLETV", &BrandingConfig::APPLETV},
    {"PSP", &BrandingConfig::PSP},
    {"BLACKBERRY", &BrandingConfig::BLACKBERRY},
    {"MOBILEPHONE", &BrandingConfig::MOBILEPHONE},
    {"WAV", &BrandingConfig::WAV},
    {"MP3", &BrandingConfig::MP3},
    {"WMA", &BrandingConfig::WMA},
    {"OGG", &BrandingConfig::OGG},
    {"AAC", &BrandingConfig::AAC},
    {"M4A", &BrandingConfig::M4A},
    {"FLAC", &BrandingConfig::FLAC},
    {"MP2", &BrandingConfig::MP2},
};

}  // namespace

std::string BrandingFilePath(const std::string& exeDir) { return exeDir + kBrandingFileName; }

std::string EncodeBrandingText(std::string_view plainText) {
  for (size_t i = 0; i < plainText.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(plainText[i]);
    if (b == 0xF2 || b == 0xF5 || b == 0xFF) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "The branding text holds the byte 0x%02X at offset %zu; it cannot be stored "
                    "in the branding file",
                    b, i);
      throw AppError(text);
    }
  }
  return complementKeepingLineBreaks(plainText);
}

std::string DecodeBrandingText(std::string_view bytes) {
  // The same rule both ways: the complement of a kept line break is never a line break.
  return complementKeepingLineBreaks(bytes);
}

std::vector<std::string> DecodeBrandingLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == bytes.npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string decoded(line);
    for (char& c : decoded) c = complement(c);
    lines.push_back(std::move(decoded));
  }
  return lines;
}

std::vector<std::string> LoadBrandingLines(const std::string& path) {
  return DecodeBrandingLines(ReadFileBytes(path));
}

const std::vector<std::string_view> kBrandingFormatKeys = [] {
  std::vector<std::string_view> keys;
  for (const FlagKey& f : kFlagKeys) keys.push_back(f.key);
  return keys;
}();

const bool* BrandingFormatFlag(const BrandingConfig& config, std::string_view key) {
  for (const FlagKey& f : kFlagKeys) {
    if (f.key == key) return &(config.*f.field);
  }
  return nullptr;
}

bool* BrandingFormatFlag(BrandingConfig& config, std::string_view key) {
  return const_cast<bool*>(BrandingFormatFlag(std::as_const(config), key));
}

BrandingConfig ReadBrandingConfig(const std::vector<std::string>& lines) {
  const IniFile ini = IniFile::FromLines(lines);

  const auto readText = [&](const char* key) { return ini.ReadString(kSection, key, ""); };
  const auto readFlag = [&](std::string_view key) {
    const std::string value = ini.ReadString(kSection, key, "");
    return value == "True" || value == "Yes";
  };
  const auto readInteger = [&](const char* key) {
    const std::string value = ini.ReadString(kSection, key, "");
    const std::optional<int> number = ParseDecimalInteger(value);
    if (!number) throw AppError(InvalidIntegerText(value));
    return *number;
  };

  BrandingConfig c;
  c.Name = readText("Name");
  c.Version = readText("Version");
  c.Copyright = readText("Copyright");
  c.Download = readFlag("Download");
  c.Merge = readFlag("Merge");
  c.Skin = readInteger("Skin");
  c.ResFolder = readText("ResFolder");
  c.HelpContectLink = readText("HelpContectLink");
  c.HelpHowTosTutorialVideosLink = readText("HelpHowTosTutorialVideosLink");
  c.HelpHomePageLink = readText("HelpHomePageLink");
  c.HelpMoreFreeToolsLink = readText("HelpMoreFreeToolsLink");
  c.HelpCheckForUpdatesLink = readText("HelpCheckForUpdatesLink");
  c.HelpSupportLink = readText("HelpSupportLink");
  c.ServiceDomain = ini.ReadString(kSection, "ServiceDomain", kDefaultServiceDomain);
  // The address test compares lower-cased addresses with it.
  for (char& ch : c.ServiceDomain) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  if (c.ServiceDomain.empty()) c.ServiceDomain = kDefaultServiceDomain;
  for (const FlagKey& f : kFlagKeys) c.*f.field = readFlag(f.key);
  c.DefaultVideo = readInteger("DefaultVideo");
  c.DefaultDevice = readInteger("DefaultDevice");
  c.DefaultAudio = readInteger("DefaultAudio");
  c.DefaultClass = readInteger("DefaultClass");
  return c;
}

void ApplyBrandingDefaults(const BrandingConfig& config, AppSettings& settings) {
  if (config.DefaultClass >= 0 && config.DefaultClass <= 2) {
    settings.OutputFormatClass = static_cast<uint8_t>(config.DefaultClass);
  }
  settings.OutputVideoFormat = static_cast<uint8_t>(config.DefaultVideo);
  settings.OutputDeviceFormat = static_cast<uint8_t>(config.DefaultDevice);
  settings.OutputAudioFormat = static_cast<uint8_t>(config.DefaultAudio);
}

}  // namespace app
