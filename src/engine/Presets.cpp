// Presets: a built-in x264 preset or a file of key=value lines.

#include <filesystem>

#include "engine/CustomFFmpeg.h"
#include "engine/X264Presets.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/ReadWholeFile.h"

namespace engine {
namespace {

std::string TrimText(std::string_view text) {
  const char* space = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(space);
  return std::string(text.substr(first, last - first + 1));
}

std::string Lower(std::string text) {
  for (auto& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return text;
}

// Preset files are small; a bigger file is not a preset.
constexpr std::uintmax_t kMaxPresetFileSize = 1 << 20;

}  // namespace

void TCustomFFmpeg::LoadPreset(const std::string& kind, const std::string& value) {
  std::string presetName;
  std::string text;
  if (kind == "a" || kind == "v" || kind == "s") {
    const TBuiltInPreset* preset = FindBuiltInPreset(value);
    const std::string& pending = kind == "a"   ? AudioCodecName
                                 : kind == "v" ? VideoCodecName
                                               : SubtitleCodecName;
    if (!preset && !pending.empty()) preset = FindBuiltInPreset(pending + "-" + value);
    if (preset) {
      presetName = preset->Name;
      text = preset->Text;
    }
  }
  if (presetName.empty()) {
    std::error_code error;
    if (value.empty() || !std::filesystem::is_regular_file(value, error))
      throw FFmpegException("Preset \"" + value + "\" not found");
    if (std::filesystem::file_size(value, error) > kMaxPresetFileSize || error)
      throw FFmpegException("Preset \"" + value + "\" is too large for a preset file");
    LibraryBuffer buffer;
    size_t size = 0;
    if (ReadWholeFile(value, buffer, size) != 0)
      throw FFmpegException("Preset \"" + value + "\" not found");
    text.assign(reinterpret_cast<const char*>(buffer.get()), size > 0 ? size - 1 : 0);
    presetName = value;
  }
  // Line breaks CR LF, CR and LF all end a line.
  std::string normalized;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      normalized += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      normalized += text[i];
    }
  }
  size_t pos = 0;
  while (pos < normalized.size()) {
    size_t end = normalized.find('\n', pos);
    if (end == std::string::npos) end = normalized.size();
    const std::string line = TrimText(std::string_view(normalized).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    // A NUL byte would silently cut the value short: a text preset never holds one.
    if (size_t nul = line.find('\0'); nul != std::string::npos)
      throw FFmpegException(presetName + ": Invalid syntax: \"" + line.substr(0, nul) + "\"");
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == line.size())
      throw FFmpegException(presetName + ": Invalid syntax: \"" + line + "\"");
    const std::string key = line.substr(0, eq);
    const std::string keyValue = line.substr(eq + 1);
    const std::string lowerKey = Lower(key);
    if (lowerKey == "acodec" || lowerKey == "vcodec" || lowerKey == "scodec") {
      SetOption(lowerKey, keyValue);
    } else if (!SetLibraryOption(key, keyValue) && RaiseOnOptionError) {
      throw FFmpegException(LastOptionError() + "\r\n" + presetName +
                            ": Invalid option or argument: \"" + line + "\", parsed as \"" + key +
                            "\" = \"" + keyValue + "\"");
    }
  }
}

}  // namespace engine
