#pragma once
// The records through which the conversion workflow describes one input and one output of
// a job, and the extra option text both carry. Plain data: the engine applies them when a
// job is configured. Numbers that mean "not set" are -1 (or the no-time marker for times),
// so a freshly reset record asks for nothing.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The libraries' "no value" marker for a time: the smallest 64-bit value.
constexpr int64_t kNoTimeValue = std::numeric_limits<int64_t>::min();

// Metadata written to an output.
struct TStreamInfo {
  double Timestamp = -1.0;  // date-time in days since 1899-12-30; -1: none, 0: now
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;

  void Reset();
  bool operator==(const TStreamInfo&) const = default;
};

struct TInputOptions {
  std::string FileName;  // UTF-8; empty: the name given with the task
  std::string ForceFormat;
  int64_t StartTime = kNoTimeValue;  // microseconds
  int32_t ProgramID = -1;
  std::string ExtOptions;
  int32_t Reserved1 = 0;  // not read by the engine
  int32_t Reserved2 = 0;

  void Reset();
  bool operator==(const TInputOptions&) const = default;
};

struct TOutputOptions {
  std::string FileName;  // UTF-8; empty: the name given with the output
  std::string FileExt;   // the workflow's choice, not read by the engine
  std::string ForceFormat;
  int32_t PacketSize = -1;
  int32_t MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio = false;
  int32_t AudioVolume = -1;  // 256 = unchanged
  int32_t AudioChannels = -1;
  int32_t AudioSampleRate = -1;  // Hz
  int32_t AudioBitrate = -1;     // bit/s
  int32_t AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int32_t AudioSync = 0;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;         // "25", "30000/1001"
  std::string FrameSize;         // "640x480"
  std::string FrameAspectRatio;  // "16:9" or a number
  int32_t GopSize = -1;
  int32_t VideoBitrate = -1;  // bit/s
  int32_t VideoMaxRate = -1;
  int32_t VideoMinRate = -1;
  int32_t VideoBitrateTolerance = -1;
  int32_t VideoBufferSize = -1;
  int32_t VideoSync = -1;
  std::string VideoTag;
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTs = false;
  int64_t StartTime = kNoTimeValue;      // microseconds
  int64_t RecordingTime = kNoTimeValue;  // microseconds
  TStreamInfo Metadata;
  int32_t Target = 0;              // 0 none, 1 vcd, 2 svcd, 3 dvd
  int32_t TargetNorm = 0;          // 0 auto, 1 pal, 2 ntsc
  int32_t TargetFallbackNorm = 1;  // 1 pal, anything else ntsc
  bool AudioHook = false;
  bool VideoInputHook = false;
  bool VideoOutputHook = false;
  int32_t BitsPixel = 24;
  bool Join = false;
  std::string ExtOptions;
  int32_t Reserved1 = 0;  // not read by the engine
  int32_t Reserved2 = 0;

  void Reset();
  bool operator==(const TOutputOptions&) const = default;
};

// One line of an extra option text.
struct OptionLine {
  std::string Name;  // lower case
  std::string Value;
  bool operator==(const OptionLine&) const = default;
};

// Splits an extra option text into its name=value lines. The text is trimmed; CR LF, CR,
// LF and the literal "<CRLF>" all end a line. The name is the text before the first "="
// in lower case, the value the rest of the line unchanged; a line without "=" is a name
// with an empty value. Blank lines are dropped: an empty option name would only ever be
// refused.
std::vector<OptionLine> SplitOptionText(std::string_view text);

}  // namespace engine
