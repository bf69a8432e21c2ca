// The option vocabulary of a job: each name either sets a switch of the engine context,
// runs a handler, or goes to the libraries' option objects.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <unordered_map>

#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

namespace engine {
namespace {

[[noreturn]] void Raise(const std::string& text) { throw FFmpegException(text); }

std::string Trim(std::string_view text) {
  const char* space = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(space);
  return std::string(text.substr(first, last - first + 1));
}

// Decimal, or hexadecimal with "0x" or "$", with an optional sign; the whole text.
bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t& out) {
  std::string_view rest = text;
  bool negative = false;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  int base = 10;
  if (rest.size() > 1 && rest.front() == '$') {
    base = 16;
    rest.remove_prefix(1);
  } else if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    base = 16;
    rest.remove_prefix(2);
  }
  if (rest.empty()) return false;
  unsigned long long magnitude = 0;
  for (char ch : rest) {
    int digit;
    if (ch >= '0' && ch <= '9')
      digit = ch - '0';
    else if (base == 16 && ch >= 'a' && ch <= 'f')
      digit = ch - 'a' + 10;
    else if (base == 16 && ch >= 'A' && ch <= 'F')
      digit = ch - 'A' + 10;
    else
      return false;
    if (magnitude >
        (static_cast<unsigned long long>(std::numeric_limits<int64_t>::max()) + 1) / base)
      return false;
    magnitude = magnitude * base + digit;
  }
  if (!negative && magnitude > static_cast<unsigned long long>(max)) return false;
  if (negative && magnitude > static_cast<unsigned long long>(-(min + 1)) + 1) return false;
  out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return out >= min && out <= max;
}

int32_t ToInt(const std::string& value) {
  int64_t number = 0;
  if (!ParseInteger(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    number))
    Raise("'" + value + "' is not a valid integer value");
  return static_cast<int32_t>(number);
}

int64_t ToInt64(const std::string& value) {
  int64_t number = 0;
  if (!ParseInteger(value, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                    number))
    Raise("'" + value + "' is not a valid integer value");
  return number;
}

double ToFloat(const std::string& value) {
  const std::string text = Trim(value);
  char* end = nullptr;
  errno = 0;
  double number = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(number))
    Raise("'" + value + "' is not a valid floating point value");
  return number;
}

// C-style number at p (decimal, 0x hex or 0 octal), advancing p; 0 when there is none.
int ReadNumber(const char*& p) {
  char* end = nullptr;
  long number = std::strtol(p, &end, 0);
  p = end;
  return static_cast<int>(
      std::clamp<long>(number, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

using FlagField = bool TCustomFFmpeg::*;
using IntField = int TCustomFFmpeg::*;
using FloatField = double TCustomFFmpeg::*;
using TextField = std::string TCustomFFmpeg::*;

const std::unordered_map<std::string_view, FlagField>& Flags() {
  static const std::unordered_map<std::string_view, FlagField> table = {
      {"dump", &TCustomFFmpeg::PacketDump},    {"hex", &TCustomFFmpeg::HexDump},
      {"re", &TCustomFFmpeg::RateEmulation},   {"loop_input", &TCustomFFmpeg::LoopInput},
      {"copyts", &TCustomFFmpeg::CopyTs},      {"copytb", &TCustomFFmpeg::CopyTb},
      {"shortest", &TCustomFFmpeg::Shortest},  {"xerror", &TCustomFFmpeg::ExitOnError},
      {"intra", &TCustomFFmpeg::IntraOnly},    {"vn", &TCustomFFmpeg::VideoDisable},
      {"an", &TCustomFFmpeg::AudioDisable},    {"sn", &TCustomFFmpeg::SubtitleDisable},
      {"sameq", &TCustomFFmpeg::SameQuality},  {"deinterlace", &TCustomFFmpeg::Deinterlace},
      {"psnr", &TCustomFFmpeg::Psnr},          {"qphist", &TCustomFFmpeg::QpHistogram},
      {"force_fps", &TCustomFFmpeg::ForceFps}, {"isync", &TCustomFFmpeg::InputSync},
  };
  return table;
}

const std::unordered_map<std::string_view, IntField>& Integers() {
  static const std::unordered_map<std::string_view, IntField> table = {
      {"loop_output", &TCustomFFmpeg::LoopOutput},
      {"v", &TCustomFFmpeg::Verbose},
      {"vsync", &TCustomFFmpeg::VideoSyncMethod},
      {"async", &TCustomFFmpeg::AudioSyncMethod},
      {"vglobal", &TCustomFFmpeg::VideoGlobalHeader},
      {"programid", &TCustomFFmpeg::ProgramId},
      {"copyinkf", &TCustomFFmpeg::CopyInitialNonKeyframes},
      {"vdt", &TCustomFFmpeg::VideoDiscard},
      {"me_threshold", &TCustomFFmpeg::MeThreshold},
      {"top", &TCustomFFmpeg::TopFieldFirst},
      {"dc", &TCustomFFmpeg::IntraDcPrecision},
      {"vol", &TCustomFFmpeg::AudioVolume},
      {"vc", &TCustomFFmpeg::VideoChannel},
  };
  return table;
}

const std::unordered_map<std::string_view, FloatField>& Floats() {
  static const std::unordered_map<std::string_view, FloatField> table = {
      {"adrift_threshold", &TCustomFFmpeg::AudioDriftThreshold},
      {"dts_delta_threshold", &TCustomFFmpeg::DtsDeltaThreshold},
      {"aq", &TCustomFFmpeg::AudioQScale},
      {"muxdelay", &TCustomFFmpeg::MuxMaxDelay},
      {"muxpreload", &TCustomFFmpeg::MuxPreload},
  };
  return table;
}

const std::unordered_map<std::string_view, TextField>& Texts() {
  static const std::unordered_map<std::string_view, TextField> table = {
      {"passlogfile", &TCustomFFmpeg::PassLogFilePrefix},
      {"vlang", &TCustomFFmpeg::VideoLanguage},
      {"alang", &TCustomFFmpeg::AudioLanguage},
      {"slang", &TCustomFFmpeg::SubtitleLanguage},
      {"force_key_frames", &TCustomFFmpeg::ForcedKeyFrames},
      {"rc_override", &TCustomFFmpeg::RcOverride},
      {"tvstd", &TCustomFFmpeg::VideoStandard},
      {"vstats_file", &TCustomFFmpeg::VstatsFileName},
  };
  return table;
}

bool IsOneOf(const std::string& name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// "tag parameter" values: a number, or exactly 4 characters read as a little-endian tag.
uint32_t ParseTag(const std::string& value) {
  char* end = nullptr;
  errno = 0;
  unsigned long number = std::strtoul(value.c_str(), &end, 0);
  if (!value.empty() && *end == '\0' && errno == 0 && number <= 0xFFFFFFFFul &&
      value.find('-') == std::string::npos)
    return static_cast<uint32_t>(number);
  if (value.size() != 4) Raise("tag parameter must be 4 chars or int value");
  return static_cast<uint32_t>(static_cast<unsigned char>(value[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(value[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(value[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(value[3])) << 24;
}

TMetadataMapSide ParseMetadataSide(const char*& p) {
  TMetadataMapSide side;
  side.FileIndex = ReadNumber(p);
  if (*p == ',') {
    ++p;
    side.Type = *p;
    switch (*p) {
      case 'g':
        ++p;
        break;
      case 's':
      case 'c':
      case 'p':
        ++p;
        side.Index = ReadNumber(p);
        break;
      default:
        Raise(std::string("Invalid metadata type ") + (*p ? std::string(1, *p) : "") + ".");
    }
  }
  return side;
}

std::vector<uint16_t> ParseMatrix(const std::string& value) {
  std::vector<uint16_t> matrix;
  const char* p = value.c_str();
  int index = 0;
  for (; index < 64; ++index) {
    char* end = nullptr;
    long coefficient = std::strtol(p, &end, 0);
    if (end == p) break;
    matrix.push_back(static_cast<uint16_t>(coefficient));
    p = end;
    if (index < 63) {
      if (*p != ',') {
        ++index;
        break;
      }
      ++p;
    }
  }
  if (matrix.size() < 64)
    Raise("Syntax error in matrix \"" + value + "\" at coeff " +
          std::to_string(std::max(0, index - 1)));
  return matrix;
}

std::string ProgramFolder() {
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  std::string folder = exe.parent_path().string();
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

}  // namespace

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
  if (IsOneOf(name, {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i",
                     "y", "benchmark"})) {
    Log(llInfo, "Do nothing: option - " + name);
    return;
  }
  if (name == "loglevel") {
    try {
      DefaultLogger().SetLogLevelByName(value);
    } catch (const std::invalid_argument& e) {
      Raise(e.what());
    }
    return;
  }
  if (name == "timelimit") {
    Log(llWarning, "Warning: -timelimit not implemented on Windows");
    return;
  }
  if (auto it = Flags().find(name); it != Flags().end()) {
    this->*(it->second) = value != "0";
    return;
  }
  if (auto it = Integers().find(name); it != Integers().end()) {
    this->*(it->second) = ToInt(value);
    return;
  }
  if (auto it = Floats().find(name); it != Floats().end()) {
    this->*(it->second) = ToFloat(value);
    return;
  }
  if (auto it = Texts().find(name); it != Texts().end()) {
    this->*(it->second) = value;
    return;
  }
  if (IsOneOf(name, {"vframes", "aframes", "dframes"})) {
    MaxFrames[name[0] == 'v' ? 0 : name[0] == 'a' ? 1 : 2] = ToInt(value);
  } else if (name == "ar" || name == "ac") {
    int number = ToInt(value);
    if (number > 0) (name == "ar" ? AudioSampleRate : AudioChannels) = number;
  } else if (name == "threads") {
    ThreadCount = ToInt(value);
    if (Verbose >= 0)
      Log(llVerbose,
          "Warning: if the ffmpeg libraries were not compiled with thread support, it would be "
          "using thread emulation.");
  } else if (name == "pass") {
    int number = ToInt(value);
    if (number != 1 && number != 2) Raise("pass number can be only 1 or 2");
    PassNumber = number;
  } else if (name == "fs") {
    LimitFileSize = ToInt64(value);
  } else if (name == "qscale") {
    double q = ToFloat(value);
    if (!(q > 0.0 && q <= 255.0)) Raise("qscale must be > 0.0 and <= 255");
    VideoQScale = q;
  } else if (name == "f") {
    if (!value.empty()) ForcedFormatName = value;
  } else if (name == "vf" || name == "vfilters") {
    if (!value.empty()) VideoFilters = value;
  } else if (IsOneOf(name, {"vcodec", "acodec", "scodec"})) {
    if (value.empty()) return;
    const std::string encoder = TranslateEncoderName(value);
    if (name[0] == 'v')
      (value == "copy" ? (void)(VideoStreamCopy = true) : (void)(VideoCodecName = encoder));
    else if (name[0] == 'a')
      (value == "copy" ? (void)(AudioStreamCopy = true) : (void)(AudioCodecName = encoder));
    else
      (value == "copy" ? (void)(SubtitleStreamCopy = true) : (void)(SubtitleCodecName = encoder));
  } else if (IsOneOf(name, {"t", "ss", "itsoffset", "timestamp"})) {
    SetTimeOption(name, value);
  } else {
    bool handled = true;
    SetParsedOption(name, value, handled);
    if (handled) return;
    if (!SetLibraryOption(name, value) && RaiseOnOptionError) Raise(LastOptionError());
  }
}

void TCustomFFmpeg::SetTimeOption(const std::string& name, const std::string& value) {
  const bool isDate = name == "timestamp";
  int64_t us = 0;
  if (av_parse_time(&us, value.c_str(), isDate ? 0 : 1) < 0)
    Raise(std::string("无效") + (isDate ? "日期" : "持续时间") + " 规范" + name + ": " + value);
  if (name == "t") {
    RecordingTime = us;
    TotalDuration = us;
  } else if (name == "ss") {
    StartTime = us;
  } else if (name == "itsoffset") {
    InputTsOffset = us;
  } else {
    RecordingTimestamp = static_cast<int64_t>(std::llround(us / 1000000.0));
  }
}

void TCustomFFmpeg::SetParsedOption(const std::string& name, const std::string& value,
                                    bool& handled) {
  if (name == "r") {
    if (value.empty()) return;
    AVRational rate;
    if (av_parse_video_rate(&rate, value.c_str()) < 0) Raise("Incorrect frame rate");
    FrameRate = rate;
  } else if (name == "s") {
    if (value.empty()) return;
    int width = 0, height = 0;
    if (av_parse_video_size(&width, &height, value.c_str()) < 0) Raise("Incorrect frame size");
    FrameWidth = width;
    FrameHeight = height;
  } else if (name == "aspect") {
    double ratio = 0.0;
    if (size_t colon = value.find(':'); colon != std::string::npos) {
      long w = std::strtol(value.c_str(), nullptr, 10);
      long h = std::strtol(value.c_str() + colon + 1, nullptr, 10);
      ratio = h > 0 ? static_cast<double>(w) / static_cast<double>(h) : 0.0;
    } else {
      char* end = nullptr;
      ratio = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(ratio)) ratio = 0.0;
    }
    if (ratio == 0.0) Raise("Incorrect aspect ratio specification.");
    FrameAspectRatio = ratio;
  } else if (name == "pix_fmt") {
    if (value == "list") {
      char line[128];
      for (int format = -1; format <= 66; ++format)
        Log(llInfo,
            Trim(av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(format))));
      return;
    }
    AVPixelFormat format = av_get_pix_fmt(value.c_str());
    if (format == AV_PIX_FMT_NONE) Raise("Unknown pixel format requested: " + value);
    FramePixelFormat = format;
  } else if (name == "sample_fmt") {
    if (value == "list") {
      char line[128];
      for (int format = -1; format <= 4; ++format)
        Log(llInfo,
            Trim(av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(format))));
      return;
    }
    AVSampleFormat format = av_get_sample_fmt(value.c_str());
    if (format == AV_SAMPLE_FMT_NONE) Raise("Invalid sample format \"" + value + "\"");
    AudioSampleFormat = format;
  } else if (IsOneOf(name, {"b", "vb", "ab"})) {
    if (!SetLibraryOption(name, value)) {
      if (RaiseOnOptionError) Raise(LastOptionError());
      return;
    }
    int64_t bitRate = 0;
    av_opt_get_int(CodecOptions(name[0] == 'a' ? okAudio : okVideo), "b", 0, &bitRate);
    if (bitRate < 1000)
      Log(llWarning,
          "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
          "kbits/s");
  } else if (name == "metadata") {
    size_t eq = value.find('=');
    if (eq == std::string::npos) Raise("Missing =");
    if (eq == 0) Raise("wrong parameter of metadata");
    av_dict_set(&Metadata, value.substr(0, eq).c_str(), value.substr(eq + 1).c_str(), 0);
  } else if (IsOneOf(name, {"atag", "vtag", "stag"})) {
    if (value.empty()) return;
    uint32_t tag = ParseTag(value);
    (name[0] == 'a' ? AudioTag : name[0] == 'v' ? VideoTag : SubtitleTag) = tag;
  } else if (name == "map") {
    TStreamMap map;
    const char* p = value.c_str();
    map.FileIndex = ReadNumber(p);
    if (*p) ++p;
    map.StreamIndex = ReadNumber(p);
    if (*p) {
      ++p;
      map.SyncFileIndex = ReadNumber(p);
      if (*p) ++p;
      map.SyncStreamIndex = ReadNumber(p);
    } else {
      map.SyncFileIndex = map.FileIndex;
      map.SyncStreamIndex = map.StreamIndex;
    }
    StreamMaps.push_back(map);
  } else if (name == "map_meta_data") {
    const char* p = value.c_str();
    TMetadataMapSide out = ParseMetadataSide(p);
    if (*p) ++p;
    TMetadataMapSide in = ParseMetadataSide(p);
    for (const auto& side : {out, in}) {
      if (side.Type == 'g') MetadataAutoCopyGlobal = false;
      if (side.Type == 's') MetadataAutoCopyStreams = false;
      if (side.Type == 'c') MetadataAutoCopyChapters = false;
    }
    MetadataMaps.emplace_back(out, in);
  } else if (name == "map_chapters") {
    const char* p = value.c_str();
    int out = ReadNumber(p);
    if (*p) ++p;
    ChapterMaps.emplace_back(out, ReadNumber(p));
  } else if (name == "itsscale") {
    const char* p = value.c_str();
    int stream = ReadNumber(p);
    if (stream >= MaxStreams || stream < 0)
      Raise("stream index over MAX_STREAMS(" + std::to_string(MaxStreams) + ")");
    double scale = *p ? std::strtod(p + 1, nullptr) : 0.0;
    if (NextInputTsScales.size() <= static_cast<size_t>(stream))
      NextInputTsScales.resize(stream + 1, 0.0);
    NextInputTsScales[stream] = scale;
  } else if (name == "streamid") {
    size_t colon = value.find(':');
    int64_t index = 0, id = 0;
    if (colon == std::string::npos ||
        !ParseInteger(value.substr(0, colon), 0, MaxStreams * 100, index) ||
        !ParseInteger(value.substr(colon + 1), std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max(), id))
      Raise("Invalid value \"" + value + "\" for option \"" + name +
            "\", required syntax is \"index:value\"");
    if (StreamIdMap.size() <= static_cast<size_t>(index)) StreamIdMap.resize(index + 1, 0);
    StreamIdMap[index] = static_cast<int>(id);
  } else if (name == "target") {
    TTargetNorm norm = TTargetNorm::Auto;
    std::string type = value;
    for (auto [prefix, prefixNorm] :
         {std::pair{"pal-", TTargetNorm::Pal}, std::pair{"ntsc-", TTargetNorm::Ntsc},
          std::pair{"film-", TTargetNorm::Film}}) {
      if (value.rfind(prefix, 0) == 0) {
        norm = prefixNorm;
        type = value.substr(std::string_view(prefix).size());
      }
    }
    ApplyTarget(type, norm, TTargetNorm::Ntsc);
  } else if (name == "intra_matrix") {
    IntraMatrix = ParseMatrix(value);
  } else if (name == "inter_matrix") {
    InterMatrix = ParseMatrix(value);
  } else if (name == "vstats") {
    VstatsFileName.clear();
    if (value != "0") {
      std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      char stamp[16];
      std::strftime(stamp, sizeof stamp, "%H%M%S", &local);
      VstatsFileName = ProgramFolder() + "vstats_" + stamp + ".log";
    }
  } else if (IsOneOf(name, {"absf", "vbsf", "sbsf"})) {
    if (value.empty() || value[0] == '=') return;
    size_t eq = value.find('=');
    TBitstreamFilterRequest request{Trim(value.substr(0, eq)),
                                    eq == std::string::npos ? "" : value.substr(eq + 1)};
    if (!av_bsf_get_by_name(request.Name.c_str())) Raise("Unknown bitstream filter " + Trim(value));
    (name[0] == 'a'   ? AudioBitstreamFilters
     : name[0] == 'v' ? VideoBitstreamFilters
                      : SubtitleBitstreamFilters)
        .push_back(request);
  } else if (IsOneOf(name, {"apre", "vpre", "spre", "fpre"})) {
    LoadPreset(name.substr(0, 1), value);
  } else if (name == "vhook") {
    std::vector<std::string> words;
    const char separator = value.find('|') != std::string::npos ? '|' : ' ';
    size_t pos = 0;
    while (pos <= value.size()) {
      size_t end = value.find(separator, pos);
      if (end == std::string::npos) end = value.size();
      if (end > pos) words.push_back(value.substr(pos, end - pos));
      pos = end + 1;
    }
    if (FrameHookList.Add(words) != 0) Raise("Failed to add video hook function: " + value);
    UsingVhook = true;
  } else if (IsOneOf(name, {"newvideo", "newaudio", "newsubtitle"})) {
    // One more stream in the last opened output, with the pending settings of its kind.
    if (OutputFiles.empty()) Raise("At least one output file must be specified");
    AVFormatContext* output = OutputFiles.back();
    const int index = OutputFileCount() - 1;
    if (name == "newvideo")
      NewVideoStream(output, index);
    else if (name == "newaudio")
      NewAudioStream(output, index);
    else
      NewSubtitleStream(output, index);
  } else if (IsOneOf(name, {"croptop", "cropbottom", "cropleft", "cropright"})) {
    Raise("Removed, use the crop filter instead");
  } else if (IsOneOf(name, {"padtop", "padbottom", "padleft", "padright", "padcolor"})) {
    Raise("Removed, use the pad filter instead");
  } else {
    handled = false;
  }
}

void TCustomFFmpeg::ApplyOptionText(const std::string& text, bool allowAll) {
  for (const auto& line : SplitOptionText(text)) {
    if (IsOneOf(line.Name,
                {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"}))
      continue;
    if (!allowAll && IsOneOf(line.Name, {"acodec", "vcodec", "scodec", "s"})) continue;
    SetOption(line.Name, line.Value);
  }
}

}  // namespace engine
