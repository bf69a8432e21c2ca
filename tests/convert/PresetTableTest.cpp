#include <gtest/gtest.h>

#include "convert/PresetTable.h"

extern "C" {
#include <libavutil/parseutils.h>
#include <libavutil/rational.h>
}

#include <algorithm>
#include <climits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "convert/FormatCatalogue.h"
#include "engine/OptionRecords.h"

namespace convert {
namespace {

using engine::TOutputOptions;

// The x264 option lines, written out here line by line so that the product's
// texts are checked against an independent copy: block A ends every line with
// CR LF, block B only separates them.
const std::vector<std::string> kBlockALines = {
    "flags=+loop",     "cmp=+chroma",
    "deblockalpha=0",  "deblockbeta=0",
    "crf=24",          "refs=1",
    "coder=0",         "me_range=16",
    "subq=5",          "partitions=+parti4x4+parti8x8+partp8x8",
    "g=250",           "keyint_min=25",
    "level=30",        "qmin=10",
    "qmax=51",         "trellis=2",
    "sc_threshold=40", "i_qfactor=0.71"};
const std::vector<std::string> kBlockBLines = {
    "flags=+loop",     "cmp=+chroma",    "partitions=+parti4x4+partp8x8+partb8x8",
    "me_method=umh",   "subq=5",         "trellis=1",
    "refs=2",          "bf=1",           "coder=1",
    "me_range=16",     "g=300",          "keyint_min=25",
    "sc_threshold=40", "i_qfactor=0.71", "bt=64k",
    "maxrate=4M",      "bufsize=4M",     "rc_eq='blurCplx^(1-qComp)'",
    "qcomp=0.6",       "qmin=10",        "qmax=51",
    "qdiff=4",         "level=21"};

std::string blockA() {
  std::string text;
  for (const std::string& line : kBlockALines) text += line + "\r\n";
  return text;
}

std::string blockB() {
  std::string text;
  for (const std::string& line : kBlockBLines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

// The fields the table may set, as sorted "Field=value" items; every other
// field must still hold its default (checked apart).
std::vector<std::string> setFields(const TOutputOptions& o) {
  const TOutputOptions d;
  std::vector<std::string> items;
  auto text = [&](const char* name, const std::string& value, const std::string& def) {
    if (value != def) items.push_back(std::string(name) + "=" + value);
  };
  auto number = [&](const char* name, int64_t value, int64_t def) {
    if (value != def) items.push_back(std::string(name) + "=" + std::to_string(value));
  };
  text("AudioCodec", o.AudioCodec, d.AudioCodec);
  number("AudioChannels", o.AudioChannels, d.AudioChannels);
  number("AudioSampleRate", o.AudioSampleRate, d.AudioSampleRate);
  number("AudioBitrate", o.AudioBitrate, d.AudioBitrate);
  text("VideoCodec", o.VideoCodec, d.VideoCodec);
  text("VideoPreset", o.VideoPreset, d.VideoPreset);
  text("VideoTag", o.VideoTag, d.VideoTag);
  text("FrameSize", o.FrameSize, d.FrameSize);
  text("FrameRate", o.FrameRate, d.FrameRate);
  text("FrameAspectRatio", o.FrameAspectRatio, d.FrameAspectRatio);
  number("VideoBitrate", o.VideoBitrate, d.VideoBitrate);
  number("VideoMaxRate", o.VideoMaxRate, d.VideoMaxRate);
  number("VideoMinRate", o.VideoMinRate, d.VideoMinRate);
  number("VideoBufferSize", o.VideoBufferSize, d.VideoBufferSize);
  text("ForceFormat", o.ForceFormat, d.ForceFormat);
  number("Target", o.Target, d.Target);
  number("TargetNorm", o.TargetNorm, d.TargetNorm);
  if (o.DisableVideo != d.DisableVideo) {
    items.push_back(std::string("DisableVideo=") + (o.DisableVideo ? "true" : "false"));
  }
  if (o.ExtOptions == blockA()) {
    items.push_back("ExtOptions=BLOCK_A");
  } else if (o.ExtOptions == blockB()) {
    items.push_back("ExtOptions=BLOCK_B");
  } else {
    text("ExtOptions", o.ExtOptions, d.ExtOptions);
  }
  std::sort(items.begin(), items.end());
  return items;
}

// The record with the fields the table may set put back to their defaults.
TOutputOptions withoutTableFields(TOutputOptions o) {
  const TOutputOptions d;
  o.AudioCodec = d.AudioCodec;
  o.AudioChannels = d.AudioChannels;
  o.AudioSampleRate = d.AudioSampleRate;
  o.AudioBitrate = d.AudioBitrate;
  o.VideoCodec = d.VideoCodec;
  o.VideoPreset = d.VideoPreset;
  o.VideoTag = d.VideoTag;
  o.FrameSize = d.FrameSize;
  o.FrameRate = d.FrameRate;
  o.FrameAspectRatio = d.FrameAspectRatio;
  o.VideoBitrate = d.VideoBitrate;
  o.VideoMaxRate = d.VideoMaxRate;
  o.VideoMinRate = d.VideoMinRate;
  o.VideoBufferSize = d.VideoBufferSize;
  o.ForceFormat = d.ForceFormat;
  o.Target = d.Target;
  o.TargetNorm = d.TargetNorm;
  o.DisableVideo = d.DisableVideo;
  o.ExtOptions = d.ExtOptions;
  return o;
}

std::vector<std::string> splitItems(const std::string& items) {
  std::vector<std::string> out;
  std::istringstream in(items);
  for (std::string item; in >> item;) out.push_back(item);
  std::sort(out.begin(), out.end());
  return out;
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
  return out;
}

TOutputOptions applied(const FormatInfo& format, int preset, BuildMode mode,
                       const SourceFacts& source = {}) {
  TOutputOptions options;
  ApplyPresetTable(options, format.formatClass, format.code, preset, mode, source);
  return options;
}

struct PresetCase {
  const char* format;
  int preset;
  const char* fields;  // every field the preset sets; SOURCE: the input's audio bit rate
};

// Every preset of every format with all that it sets.
const PresetCase kPresetCases[] = {
    {"WAV", 0,
     "AudioChannels=1 AudioCodec=pcm_s16le AudioSampleRate=11025 "
     "DisableVideo=true"},
    {"WAV", 1,
     "AudioChannels=1 AudioCodec=pcm_s16le AudioSampleRate=22050 "
     "DisableVideo=true"},
    {"WAV", 2,
     "AudioChannels=2 AudioCodec=pcm_s24le AudioSampleRate=22050 "
     "DisableVideo=true"},
    {"WAV", 3,
     "AudioChannels=2 AudioCodec=pcm_s32le AudioSampleRate=48000 "
     "DisableVideo=true"},
    {"WAV", 4,
     "AudioChannels=2 AudioCodec=pcm_s16le AudioSampleRate=44000 "
     "DisableVideo=true"},
    {"MP3", 0,
     "AudioBitrate=112000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 DisableVideo=true"},
    {"MP3", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=48000 DisableVideo=true"},
    {"MP3", 2,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=48000 DisableVideo=true"},
    {"MP3", 3,
     "AudioBitrate=320000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=48000 DisableVideo=true"},
    {"WMA", 0,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=48000 DisableVideo=true"},
    {"WMA", 1,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 DisableVideo=true"},
    {"WMA", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 DisableVideo=true"},
    {"WMA", 3,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 DisableVideo=true"},
    {"WMA", 4,
     "AudioBitrate=SOURCE AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=48000 DisableVideo=true"},
    {"OGG", 0,
     "AudioCodec=libvorbis AudioSampleRate=11025 DisableVideo=true "
     "ExtOptions=aq=4.97 VideoCodec=libtheora"},
    {"OGG", 1,
     "AudioCodec=libvorbis AudioSampleRate=22050 DisableVideo=true "
     "ExtOptions=aq=4.97 VideoCodec=libtheora"},
    {"OGG", 2,
     "AudioCodec=libvorbis AudioSampleRate=22050 DisableVideo=true "
     "ExtOptions=aq=4.97 VideoCodec=libtheora"},
    {"OGG", 3,
     "AudioCodec=libvorbis AudioSampleRate=44100 DisableVideo=true "
     "ExtOptions=aq=4.97 VideoCodec=libtheora"},
    {"OGG", 4,
     "AudioCodec=libvorbis AudioSampleRate=48000 DisableVideo=true "
     "ExtOptions=aq=8.05 VideoCodec=libtheora"},
    {"AAC", 0,
     "AudioBitrate=96000 AudioChannels=1 AudioCodec=libfaac "
     "AudioSampleRate=16000 DisableVideo=true"},
    {"AAC", 1,
     "AudioBitrate=112000 AudioChannels=1 AudioCodec=libfaac "
     "AudioSampleRate=22500 DisableVideo=true"},
    {"AAC", 2,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=22500 DisableVideo=true"},
    {"AAC", 3,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 DisableVideo=true"},
    {"AAC", 4,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 DisableVideo=true"},
    {"M4A", 0,
     "AudioBitrate=96000 AudioChannels=2 AudioSampleRate=44100 "
     "DisableVideo=true"},
    {"M4A", 1,
     "AudioBitrate=256000 AudioChannels=2 AudioSampleRate=44800 "
     "DisableVideo=true"},
    {"FLAC", 0, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=0"},
    {"FLAC", 1, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=1"},
    {"FLAC", 2, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=2"},
    {"FLAC", 3, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=3"},
    {"FLAC", 4, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=4"},
    {"FLAC", 5, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=5"},
    {"FLAC", 6, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=6"},
    {"FLAC", 7, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=7"},
    {"FLAC", 8, "AudioCodec=flac DisableVideo=true ExtOptions=compression_level=8"},
    {"MP2", 0,
     "AudioBitrate=96000 AudioChannels=1 AudioSampleRate=22050 "
     "DisableVideo=true"},
    {"MP2", 1,
     "AudioBitrate=112000 AudioChannels=1 AudioSampleRate=22050 "
     "DisableVideo=true"},
    {"MP2", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioSampleRate=22050 "
     "DisableVideo=true"},
    {"AVI", 0,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameAspectRatio=16:9 FrameSize=1280x720 "
     "VideoBitrate=4500000 VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 1,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameAspectRatio=16:9 FrameSize=1920x1080 "
     "VideoBitrate=4200000 VideoCodec=libx264 VideoPreset=libx264-default"},
    {"AVI", 2,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=2500000 VideoCodec=mpeg4 "
     "VideoTag=XVID"},
    {"AVI", 3,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=1500000 VideoCodec=mpeg4 "
     "VideoTag=XVID"},
    {"AVI", 4,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=768000 VideoCodec=mpeg4 "
     "VideoTag=XVID"},
    {"AVI", 5,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=720x540 VideoBitrate=2500000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 6,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=512x384 VideoBitrate=1500000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 7,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=320x240 VideoBitrate=768000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 8,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=1200000 VideoCodec=libx264 "
     "VideoPreset=libx264-default"},
    {"AVI", 9,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=768000 VideoCodec=libx264 "
     "VideoPreset=libx264-default"},
    {"AVI", 10,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=320x240 VideoBitrate=460000 "
     "VideoCodec=mpeg4 VideoTag=FMP4"},
    {"AVI", 11,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=240x180 VideoBitrate=324000 "
     "VideoCodec=mpeg4 VideoTag=FMP4"},
    {"AVI", 12,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=1600000 VideoCodec=mpeg4 "
     "VideoTag=XVID"},
    {"AVI", 13,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=480x272 VideoBitrate=760000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 14,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=720x480 VideoBitrate=1400000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 15,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=640x480 VideoBitrate=1000000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 16,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=320x240 VideoBitrate=600000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 17,
     "AudioBitrate=705000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=30 FrameSize=720x480 "
     "VideoBitrate=1200000 VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 18,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=15 FrameSize=320x240 VideoBitrate=224000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 19,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=15 FrameSize=320x240 VideoBitrate=460000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 20,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=15 FrameSize=160x120 VideoBitrate=480000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 21,
     "AudioBitrate=1411000 AudioChannels=2 AudioCodec=pcm_s16le "
     "AudioSampleRate=44100 FrameSize=640x480 VideoBitrate=4096000 "
     "VideoCodec=mjpeg"},
    {"AVI", 22,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=640x480 "
     "VideoBitrate=1500000 VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 23,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=30 FrameSize=320x240 VideoBitrate=768000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 24,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=2000000 VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 25,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=320x240 VideoBitrate=2700000 "
     "VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 26,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 "
     "VideoBitrate=1000000 VideoCodec=mpeg4 VideoTag=XVID"},
    {"AVI", 27,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=1200000 VideoCodec=mpeg4 "
     "VideoTag=DIVX"},
    {"AVI", 28,
     "AudioBitrate=1411000 AudioChannels=2 AudioCodec=pcm_s16le "
     "AudioSampleRate=44100 VideoCodec=rawvideo"},
    {"MP4", 0,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=30 FrameSize=320x240 "
     "VideoBitrate=640000 VideoCodec=libx264"},
    {"MP4", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=640000 VideoCodec=libx264"},
    {"MP4", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 FrameRate=30 FrameSize=320x240 VideoBitrate=600000 "
     "VideoCodec=mpeg4"},
    {"MP4", 3,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=30 FrameSize=640x420 "
     "VideoBitrate=640000 VideoCodec=libx264"},
    {"MP4", 4,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameAspectRatio=16:9 FrameRate=30000/1001 "
     "FrameSize=848x480 VideoBitrate=2600000 VideoCodec=libx264 "
     "VideoPreset=libx264-default"},
    {"MP4", 5,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_B ForceFormat=psp "
     "FrameAspectRatio=16:9 FrameRate=30000/1001 FrameSize=848x480 "
     "VideoBitrate=2600000 VideoCodec=libx264"},
    {"MP4", 6,
     "AudioBitrate=768000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_B ForceFormat=psp "
     "FrameAspectRatio=16:9 FrameRate=30000/1001 FrameSize=848x480 "
     "VideoBitrate=2600000 VideoCodec=libx264"},
    {"MP4", 7,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_B ForceFormat=psp "
     "FrameAspectRatio=16:9 FrameRate=30000/1001 FrameSize=368x208 "
     "VideoBitrate=520000 VideoCodec=libx264"},
    {"MP4", 8,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_B ForceFormat=psp "
     "FrameAspectRatio=16:9 FrameRate=30000/1001 FrameSize=480x272 "
     "VideoBitrate=720000 VideoCodec=libx264"},
    {"MP4", 9,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=24000 FrameSize=640x480 VideoBitrate=1200000 "
     "VideoCodec=mpeg4"},
    {"MP4", 10,
     "AudioBitrate=64000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=22050 FrameSize=320x240 VideoBitrate=640000 "
     "VideoCodec=mpeg4"},
    {"MP4", 11,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameSize=720x480 VideoBitrate=1200000 "
     "VideoCodec=mpeg4"},
    {"MP4", 12,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 FrameRate=15 FrameSize=176x144 VideoBitrate=120000 "
     "VideoCodec=mpeg4"},
    {"MP4", 13,
     "AudioBitrate=56000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=22050 FrameRate=12 FrameSize=128x96 VideoBitrate=56000 "
     "VideoCodec=mpeg4"},
    {"MP4", 14,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=25 VideoBitrate=2500000 "
     "VideoCodec=mpeg4"},
    {"MP4", 15,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=25 VideoBitrate=1200000 "
     "VideoCodec=mpeg4"},
    {"MP4", 16,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=25 VideoBitrate=700000 VideoCodec=mpeg4"},
    {"MP4", 17,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=24 FrameSize=640x480 "
     "VideoBitrate=1500000 VideoCodec=mpeg4"},
    {"MP4", 18,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=30 FrameSize=320x240 VideoBitrate=768000 "
     "VideoCodec=mpeg4"},
    {"FLV", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioSampleRate=44100 "
     "VideoBitrate=1200000 VideoCodec=libx264 VideoPreset=libx264-default"},
    {"FLV", 1,
     "AudioBitrate=160000 AudioChannels=2 AudioSampleRate=44100 FrameRate=20 "
     "VideoBitrate=930000 VideoCodec=libx264 VideoPreset=libx264-default"},
    {"FLV", 2,
     "AudioBitrate=64000 AudioChannels=2 AudioSampleRate=22050 FrameRate=15 "
     "FrameSize=352x288 VideoBitrate=780000"},
    {"FLV", 3,
     "AudioBitrate=48000 AudioChannels=2 AudioSampleRate=11025 FrameRate=15 "
     "FrameSize=320x240 VideoBitrate=640000"},
    {"FLV", 4,
     "AudioBitrate=24000 AudioChannels=1 AudioSampleRate=11025 FrameRate=15 "
     "FrameSize=276x144 VideoBitrate=480000"},
    {"SWF", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioSampleRate=44100 FrameRate=25 "
     "VideoBitrate=1200000"},
    {"SWF", 1,
     "AudioBitrate=112000 AudioChannels=2 AudioSampleRate=44100 FrameRate=25 "
     "VideoBitrate=920000"},
    {"SWF", 2,
     "AudioBitrate=64000 AudioChannels=2 AudioSampleRate=22050 FrameRate=15 "
     "FrameSize=352x288 VideoBitrate=780000"},
    {"SWF", 3,
     "AudioBitrate=48000 AudioChannels=2 AudioSampleRate=11025 FrameRate=25 "
     "FrameSize=320x240 VideoBitrate=640000"},
    {"SWF", 4,
     "AudioBitrate=24000 AudioChannels=1 AudioSampleRate=11025 FrameRate=15 "
     "FrameSize=176x144 VideoBitrate=480000"},
    {"MPEG", 0,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=48000 "
     "FrameAspectRatio=4:3 FrameRate=30000/1001 FrameSize=1920x1080 "
     "VideoBitrate=15000000 VideoBufferSize=6881000 VideoCodec=mpeg2video "
     "VideoMaxRate=15000000 VideoMinRate=15000000"},
    {"MPEG", 1,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=48000 "
     "FrameAspectRatio=4:3 FrameRate=30000/1001 FrameSize=1280x720 "
     "VideoBitrate=9000000 VideoCodec=mpeg2video"},
    {"MPEG", 2,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=48000 "
     "FrameAspectRatio=4:3 FrameRate=30000/1001 Target=3 TargetNorm=2 "
     "VideoBitrate=4000000"},
    {"MPEG", 3,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=48000 "
     "FrameAspectRatio=4:3 FrameRate=25 Target=3 TargetNorm=1 "
     "VideoBitrate=4000000"},
    {"MPEG", 4,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameRate=30000/1001 VideoBitrate=4000000 VideoBufferSize=1835000 "
     "VideoCodec=mpeg1video VideoMaxRate=4000000 VideoMinRate=4000000"},
    {"MPEG", 5,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameRate=30000/1001 VideoBitrate=4000000 VideoBufferSize=1835000 "
     "VideoCodec=mpeg2video VideoMaxRate=4000000 VideoMinRate=4000000"},
    {"MPEG", 6,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameRate=30000/1001 FrameSize=720x480 VideoBitrate=1150000 "
     "VideoBufferSize=527000 VideoCodec=mpeg1video VideoMaxRate=1150000 "
     "VideoMinRate=1150000"},
    {"MPEG", 7,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameRate=30000/1001 FrameSize=720x480 VideoBitrate=860000 "
     "VideoBufferSize=394000 VideoCodec=mpeg1video VideoMaxRate=860000 "
     "VideoMinRate=860000"},
    {"MPEG", 8,
     "AudioBitrate=112000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameRate=30000/1001 FrameSize=320x240 VideoBitrate=780000 "
     "VideoBufferSize=357000 VideoCodec=mpeg1video VideoMaxRate=780000 "
     "VideoMinRate=780000"},
    {"MPEG", 9,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameRate=30 FrameSize=720x480 VideoBitrate=2000000 "
     "VideoBufferSize=917000 VideoCodec=mpeg1video VideoMaxRate=2000000 "
     "VideoMinRate=2000000"},
    {"MPEG", 10,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameAspectRatio=4:3 FrameRate=30000/1001 Target=2 TargetNorm=2 "
     "VideoBitrate=2376000"},
    {"MPEG", 11,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameAspectRatio=4:3 FrameRate=25 Target=2 TargetNorm=1 "
     "VideoBitrate=2376000"},
    {"MPEG", 12,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameAspectRatio=4:3 FrameRate=30000/1001 Target=1 TargetNorm=2 "
     "VideoBitrate=1150000"},
    {"MPEG", 13,
     "AudioBitrate=224000 AudioChannels=2 AudioCodec=mp2 AudioSampleRate=44100 "
     "FrameAspectRatio=4:3 FrameRate=25 Target=1 TargetNorm=1 "
     "VideoBitrate=1150000"},
    {"RM", 0, "VideoBitrate=1024000 VideoCodec=rv20"},
    {"RM", 1, "VideoBitrate=750000 VideoCodec=rv20"},
    {"RM", 2, "VideoBitrate=512000 VideoCodec=rv20"},
    {"RM", 3, "VideoBitrate=256000 VideoCodec=rv20"},
    {"RM", 4, "VideoBitrate=128000 VideoCodec=rv20"},
    {"WMV", 0,
     "AudioBitrate=384000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=48000 FrameRate=30000/1001 FrameSize=1920x1080 "
     "VideoBitrate=9000000 VideoCodec=wmv2"},
    {"WMV", 1,
     "AudioBitrate=384000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=48000 FrameRate=30000/1001 FrameSize=1280x720 "
     "VideoBitrate=7000000 VideoCodec=wmv2"},
    {"WMV", 2,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 "
     "VideoBitrate=1112000 VideoCodec=wmv2"},
    {"WMV", 3,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=568000 "
     "VideoCodec=wmv2"},
    {"WMV", 4,
     "AudioBitrate=48000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=32000 FrameRate=20 FrameSize=192x144 VideoBitrate=176000 "
     "VideoCodec=wmv2"},
    {"WMV", 5,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=352x288 VideoBitrate=920000 "
     "VideoCodec=wmv2"},
    {"WMV", 6,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=600000 "
     "VideoCodec=wmv2"},
    {"WMV", 7,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=352x288 VideoBitrate=400000 "
     "VideoCodec=wmv2"},
    {"WMV", 8,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=480x272 VideoBitrate=700000 "
     "VideoCodec=wmv2"},
    {"WMV", 9,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=720000 "
     "VideoCodec=wmv2"},
    {"WMV", 10,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=480000 "
     "VideoCodec=wmv2"},
    {"WMV", 11,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=24 FrameSize=352x288 VideoBitrate=768000 "
     "VideoCodec=wmv2"},
    {"WMV", 12,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=48000 FrameRate=30 FrameSize=320x240 VideoBitrate=768000 "
     "VideoCodec=wmv2"},
    {"WMV", 13,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=380000 "
     "VideoCodec=wmv2"},
    {"WMV", 14,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=220000 "
     "VideoCodec=wmv2"},
    {"WMV", 15,
     "AudioBitrate=196000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=48000 FrameRate=25 FrameSize=320x240 "
     "VideoBitrate=2500000 VideoCodec=wmv2"},
    {"WMV", 16,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=720000 "
     "VideoCodec=wmv2"},
    {"WMV", 17,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=wmav2 "
     "AudioSampleRate=44100 FrameRate=25 FrameSize=320x240 VideoBitrate=480000 "
     "VideoCodec=wmv2"},
    {"MOV", 0,
     "AudioBitrate=320000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 VideoBitrate=1200000 VideoCodec=libx264 "
     "VideoPreset=libx264-default"},
    {"MOV", 1,
     "AudioBitrate=320000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameSize=848x480 VideoBitrate=1200000 "
     "VideoCodec=libx264 VideoPreset=libx264-default"},
    {"MOV", 2,
     "AudioBitrate=320000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameSize=720x576 VideoBitrate=1200000 "
     "VideoCodec=libx264 VideoPreset=libx264-default"},
    {"MOV", 3,
     "AudioBitrate=256000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=16384000 VideoCodec=mjpeg"},
    {"MOV", 4,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=352x288 VideoBitrate=6144000 "
     "VideoCodec=h263"},
    {"MOV", 5,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=921600 VideoCodec=mpeg4"},
    {"MOV", 6,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 FrameSize=176x144 VideoBitrate=4014080 "
     "VideoCodec=h263"},
    {"MOV", 7,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=614400 VideoCodec=mpeg4"},
    {"MOV", 8,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libmp3lame "
     "AudioSampleRate=44100 VideoBitrate=921600 VideoCodec=svq1"},
    {"MOV", 9,
     "AudioBitrate=352000 AudioChannels=2 AudioCodec=adpcm_ima_qt "
     "AudioSampleRate=44100 VideoBitrate=921600 VideoCodec=svq1"},
    {"3GP", 0,
     "AudioBitrate=12200 AudioChannels=1 AudioSampleRate=8000 FrameRate=12 "
     "FrameSize=176x144 VideoBitrate=240000 VideoCodec=h263"},
    {"3GP", 1,
     "AudioBitrate=64000 AudioChannels=1 AudioCodec=libfaac "
     "AudioSampleRate=32000 FrameRate=15 FrameSize=176x144 VideoBitrate=104000 "
     "VideoCodec=mpeg4"},
    {"3GP", 2,
     "AudioBitrate=12200 AudioChannels=1 AudioSampleRate=8000 FrameRate=12 "
     "FrameSize=176x144 VideoBitrate=64000 VideoCodec=mpeg4"},
    {"3GP", 3,
     "AudioBitrate=10200 AudioChannels=1 AudioSampleRate=8000 FrameRate=10 "
     "FrameSize=128x96 VideoBitrate=140000 VideoCodec=h263"},
    {"3GP", 4,
     "AudioBitrate=6700 AudioChannels=1 AudioSampleRate=8000 FrameRate=10 "
     "FrameSize=128x96 VideoBitrate=44000 VideoCodec=mpeg4"},
    {"iPod", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"iPod", 1,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=480x320 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"iPod", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=24 FrameSize=480x320 "
     "VideoBitrate=1300000 VideoCodec=libx264"},
    {"iPod", 3,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=15 FrameSize=320x240 "
     "VideoBitrate=500000 VideoCodec=libx264"},
    {"iPod", 4,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=320x240 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"iPod", 5,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=24 FrameSize=320x240 "
     "VideoBitrate=1000000 VideoCodec=libx264"},
    {"iPod", 6,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=15 FrameSize=320x240 "
     "VideoBitrate=500000 VideoCodec=libx264"},
    {"iPod", 7,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=320x240 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"iPod", 8,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=24 FrameSize=320x240 "
     "VideoBitrate=1000000 VideoCodec=libx264"},
    {"iPod", 9,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=15 FrameSize=320x240 "
     "VideoBitrate=500000 VideoCodec=libx264"},
    {"iPhone", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"iPhone", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=30 FrameSize=480x320 "
     "VideoBitrate=1300000 VideoCodec=libx264"},
    {"iPhone", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=15 FrameSize=320x240 "
     "VideoBitrate=500000 VideoCodec=libx264"},
    {"AppleTV", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=24 FrameSize=640x480 "
     "VideoBitrate=5000000 VideoCodec=libx264"},
    {"AppleTV", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=24 FrameSize=720x540 "
     "VideoBitrate=2000000 VideoCodec=libx264"},
    {"AppleTV", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=24 FrameSize=480x360 "
     "VideoBitrate=1000000 VideoCodec=libx264"},
    {"PSP", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_B ForceFormat=psp FrameRate=30 "
     "FrameSize=480x272 VideoBitrate=1500000 VideoCodec=libx264"},
    {"PSP", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_B ForceFormat=psp FrameRate=24 "
     "FrameSize=368x208 VideoBitrate=1000000 VideoCodec=libx264"},
    {"PSP", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_B ForceFormat=psp FrameRate=15 "
     "FrameSize=368x208 VideoBitrate=500000 VideoCodec=libx264"},
    {"BlackBerry", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=2500000 VideoCodec=libx264 VideoPreset=libx264-default"},
    {"BlackBerry", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 FrameRate=30 FrameSize=480x320 "
     "VideoBitrate=1300000 VideoCodec=libx264 VideoPreset=libx264-default"},
    {"BlackBerry", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 FrameRate=15 FrameSize=320x240 VideoBitrate=500000 "
     "VideoCodec=libx264 VideoPreset=libx264-default"},
    {"MobilePhone", 0,
     "AudioBitrate=192000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 FrameRate=15 FrameSize=320x240 VideoBitrate=600000 "
     "VideoCodec=mpeg4"},
    {"MobilePhone", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 FrameRate=15 FrameSize=176x144 VideoBitrate=256000 "
     "VideoCodec=mpeg4"},
    {"MobilePhone", 2,
     "AudioBitrate=96000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=32000 FrameRate=12 FrameSize=176x144 VideoBitrate=146000 "
     "VideoCodec=mpeg4"},
    {"MobilePhone", 3,
     "AudioBitrate=64000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=22050 FrameRate=10 FrameSize=128x96 VideoBitrate=119000 "
     "VideoCodec=mpeg4"},
    {"iPad", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"iPad", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=30 FrameSize=480x320 "
     "VideoBitrate=1300000 VideoCodec=libx264"},
    {"iPad", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=15 FrameSize=320x240 "
     "VideoBitrate=500000 VideoCodec=libx264"},
    {"Android", 0,
     "AudioBitrate=160000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=48000 ExtOptions=BLOCK_A FrameRate=30 FrameSize=640x480 "
     "VideoBitrate=2500000 VideoCodec=libx264"},
    {"Android", 1,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=30 FrameSize=480x320 "
     "VideoBitrate=1300000 VideoCodec=libx264"},
    {"Android", 2,
     "AudioBitrate=128000 AudioChannels=2 AudioCodec=libfaac "
     "AudioSampleRate=44100 ExtOptions=BLOCK_A FrameRate=15 FrameSize=320x240 "
     "VideoBitrate=500000 VideoCodec=libx264"},
};

TEST(PresetTableTest, EveryPresetOfEveryFormatSetsExactlyItsValues) {
  SourceFacts source;
  source.AudioBitrate = 705600;
  for (const PresetCase& c : kPresetCases) {
    const FormatInfo* format = FindFormatByName(c.format);
    ASSERT_NE(format, nullptr) << c.format;
    std::string expected = c.fields;
    const size_t at = expected.find("SOURCE");
    if (at != std::string::npos) expected.replace(at, 6, "705600");
    const TOutputOptions options = applied(*format, c.preset, BuildMode::PerFile, source);
    EXPECT_EQ(joined(setFields(options)), joined(splitItems(expected)))
        << c.format << " preset " << c.preset;
    EXPECT_EQ(withoutTableFields(options), TOutputOptions())
        << c.format << " preset " << c.preset << " sets a field outside the table";
  }
}

// The table and the lists the user picks from must agree, or a preset would
// silently convert with another preset's settings (or with none).
TEST(PresetTableTest, CoversEveryPresetOfTheCatalogue) {
  for (const FormatInfo& format : Catalogue()) {
    EXPECT_EQ(PresetTableCount(format.formatClass, format.code), format.PresetCount())
        << format.name;
    std::set<int> covered;
    for (const PresetCase& c : kPresetCases) {
      if (format.name == c.format) covered.insert(c.preset);
    }
    EXPECT_EQ(static_cast<int>(covered.size()), format.PresetCount()) << format.name;
    if (!covered.empty()) {
      EXPECT_EQ(*covered.begin(), 0) << format.name;
      EXPECT_EQ(*covered.rbegin(), format.PresetCount() - 1) << format.name;
    }
  }
  EXPECT_EQ(PresetTableCount(fcAudio, 8), -1);
  EXPECT_EQ(PresetTableCount(3, 0), -1);
  EXPECT_EQ(PresetTableCount(-1, 0), -1);
}

// Values that differ from their neighbours or from the preset texts; they are
// what these presets have always produced and are kept as they are.
TEST(PresetTableTest, OddValuesAreKept) {
  auto preset = [](const char* name, int index) {
    return applied(*FindFormatByName(name), index, BuildMode::PerFile);
  };
  EXPECT_EQ(preset("WAV", 4).AudioSampleRate, 44000);
  EXPECT_EQ(preset("M4A", 1).AudioSampleRate, 44800);
  EXPECT_EQ(preset("AAC", 1).AudioSampleRate, 22500);
  EXPECT_EQ(preset("AAC", 2).AudioSampleRate, 22500);
  EXPECT_EQ(preset("FLV", 4).FrameSize, "276x144");
  EXPECT_EQ(preset("MP4", 3).FrameSize, "640x420");
  EXPECT_EQ(preset("AVI", 17).AudioBitrate, 705000);

  const TOutputOptions ipod9 = preset("iPod", 9);
  EXPECT_EQ(ipod9.VideoBitrate, 500000);
  EXPECT_EQ(ipod9.FrameRate, "15");
  EXPECT_EQ(ipod9.FrameSize, "320x240");
  EXPECT_EQ(ipod9.AudioSampleRate, 44100);
  EXPECT_EQ(ipod9.AudioBitrate, 128000);
  const TOutputOptions ipod8 = preset("iPod", 8);
  EXPECT_EQ(ipod8.VideoBitrate, 1000000);
  EXPECT_EQ(ipod8.FrameRate, "24");

  // OGG names a video encoder, but the audio class keeps every video stream
  // out.
  const TOutputOptions ogg = preset("OGG", 3);
  EXPECT_EQ(ogg.VideoCodec, "libtheora");
  EXPECT_TRUE(ogg.DisableVideo);
}

// A preset index the list does not hold (a settings file from another edition,
// a hand edit) sets only what the format sets whatever the preset.
TEST(PresetTableTest, PresetIndexOutsideTheListSetsOnlyTheFormatValues) {
  struct FormatOnly {
    const char* format;
    const char* fields;
  };
  const char* const kX264A = "AudioCodec=libfaac VideoCodec=libx264 ExtOptions=BLOCK_A";
  const std::vector<FormatOnly> cases = {
      {"WAV", "DisableVideo=true"},
      {"MP3", "DisableVideo=true AudioCodec=libmp3lame"},
      {"WMA", "DisableVideo=true AudioCodec=wmav2"},
      {"OGG", "DisableVideo=true AudioCodec=libvorbis VideoCodec=libtheora"},
      {"AAC", "DisableVideo=true AudioCodec=libfaac"},
      {"M4A", "DisableVideo=true"},
      {"FLAC", "DisableVideo=true AudioCodec=flac"},
      {"MP2", "DisableVideo=true"},
      {"AVI", ""},
      {"MP4", ""},
      {"FLV", ""},
      {"SWF", ""},
      {"MPEG", ""},
      {"RM", ""},
      {"WMV", ""},
      {"MOV", ""},
      {"3GP", ""},
      {"iPod", kX264A},
      {"iPhone", kX264A},
      {"AppleTV", kX264A},
      {"PSP",
       "AudioCodec=libfaac VideoCodec=libx264 ForceFormat=psp "
       "ExtOptions=BLOCK_B"},
      {"BlackBerry", ""},
      {"MobilePhone", ""},
      {"iPad", kX264A},
      {"Android", kX264A},
  };
  ASSERT_EQ(static_cast<int>(cases.size()), kFormatCount);
  for (const FormatOnly& c : cases) {
    const FormatInfo* format = FindFormatByName(c.format);
    ASSERT_NE(format, nullptr) << c.format;
    for (int index :
         {-1, format->PresetCount(), format->PresetCount() + 1, 1000, INT_MIN, INT_MAX}) {
      for (BuildMode mode : {BuildMode::PerFile, BuildMode::Merge}) {
        const TOutputOptions options = applied(*format, index, mode);
        EXPECT_EQ(joined(setFields(options)), joined(splitItems(c.fields)))
            << c.format << " preset " << index;
        EXPECT_EQ(withoutTableFields(options), TOutputOptions()) << c.format;
      }
    }
  }
}

// Per-file and merge mode share the table; only WMA Lossless takes the input's
// own audio bit rate, which a joined output of many inputs does not have.
TEST(PresetTableTest, MergeModeDiffersOnlyInTheSourceBitRate) {
  SourceFacts source;
  source.AudioBitrate = 1411200;
  for (const FormatInfo& format : Catalogue()) {
    for (int preset = 0; preset < format.PresetCount(); ++preset) {
      const TOutputOptions perFile = applied(format, preset, BuildMode::PerFile, source);
      TOutputOptions merge = applied(format, preset, BuildMode::Merge, source);
      if (format.name == "WMA" && preset == 4) {
        EXPECT_EQ(perFile.AudioBitrate, 1411200);
        EXPECT_EQ(merge.AudioBitrate, -1);
        merge.AudioBitrate = perFile.AudioBitrate;
      }
      EXPECT_EQ(merge, perFile) << format.name << " preset " << preset;
    }
  }
  // A source without a known audio bit rate leaves the encoder's own choice.
  const TOutputOptions unknown =
      applied(*FindFormatByName("WMA"), 4, BuildMode::PerFile, SourceFacts());
  EXPECT_EQ(unknown.AudioBitrate, -1);
  EXPECT_EQ(unknown.AudioSampleRate, 48000);
}

// The class decides whether video is written: audio never, video always, the
// device class leaves the record's own choice. An unknown class or format
// changes nothing.
TEST(PresetTableTest, ClassDecidesVideoOnAFilledRecord) {
  struct ClassCase {
    int formatClass;
    int code;
    bool before;
    bool after;
  };
  const std::vector<ClassCase> cases = {
      {fcAudio, afMP3, false, true},         {fcAudio, afMP3, true, true},
      {fcVideo, vfAVI, true, false},         {fcVideo, vfAVI, false, false},
      {fcDevice, dfiPod, true, true},        {fcDevice, dfiPod, false, false},
      {fcDevice, dfMobilePhone, true, true},
  };
  for (const ClassCase& c : cases) {
    TOutputOptions options;
    options.DisableVideo = c.before;
    ApplyPresetTable(options, c.formatClass, c.code, 0, BuildMode::PerFile, {});
    EXPECT_EQ(options.DisableVideo, c.after) << c.formatClass << "/" << c.code;
  }

  TOutputOptions filled;
  filled.AudioCodec = "keep";
  filled.DisableVideo = true;
  filled.VideoBitrate = 1;
  for (auto [formatClass, code] : {std::pair{3, 0}, std::pair{-1, 0}, std::pair{255, 1}}) {
    TOutputOptions options = filled;
    ApplyPresetTable(options, formatClass, code, 0, BuildMode::PerFile, {});
    EXPECT_EQ(options, filled) << formatClass;
  }
  // A bad code in a known class still gets the class's video choice and nothing
  // else.
  TOutputOptions options = filled;
  ApplyPresetTable(options, fcVideo, 99, 0, BuildMode::PerFile, {});
  TOutputOptions expected = filled;
  expected.DisableVideo = false;
  EXPECT_EQ(options, expected);
}

// The x264 blocks as the engine will read them, line by line, with their break
// rules.
TEST(PresetTableTest, X264BlocksSplitIntoTheirLines) {
  EXPECT_EQ(std::string(kX264BlockA), blockA());
  EXPECT_EQ(std::string(kX264BlockB), blockB());
  EXPECT_TRUE(kX264BlockA.ends_with("i_qfactor=0.71\r\n"));
  EXPECT_TRUE(kX264BlockB.ends_with("level=21"));
  for (std::string_view block : {kX264BlockA, kX264BlockB}) {
    for (size_t i = 0; i < block.size(); ++i) {
      if (block[i] == '\n') {
        EXPECT_TRUE(i > 0 && block[i - 1] == '\r') << "bare LF at " << i;
      }
      if (block[i] == '\r') {
        EXPECT_TRUE(i + 1 < block.size() && block[i + 1] == '\n') << "bare CR at " << i;
      }
    }
  }
  const auto linesA = engine::SplitOptionText(kX264BlockA);
  ASSERT_EQ(linesA.size(), kBlockALines.size());
  EXPECT_EQ(linesA.front().Name, "flags");
  EXPECT_EQ(linesA.front().Value, "+loop");
  EXPECT_EQ(linesA.back().Name, "i_qfactor");
  EXPECT_EQ(linesA.back().Value, "0.71");
  const auto linesB = engine::SplitOptionText(kX264BlockB);
  ASSERT_EQ(linesB.size(), kBlockBLines.size());
  EXPECT_EQ(linesB[17].Name, "rc_eq");
  EXPECT_EQ(linesB[17].Value, "'blurCplx^(1-qComp)'");
  EXPECT_EQ(linesB.back().Name, "level");
  EXPECT_EQ(linesB.back().Value, "21");
}

// Every size, rate and aspect text of the table must be something the libraries
// parse, and every extra option line a name=value pair; a typo would only
// surface mid-run.
TEST(PresetTableTest, EveryValueIsWellFormedForTheLibraries) {
  SourceFacts source;
  source.AudioBitrate = 128000;
  for (const FormatInfo& format : Catalogue()) {
    for (int preset = 0; preset < format.PresetCount(); ++preset) {
      const TOutputOptions o = applied(format, preset, BuildMode::PerFile, source);
      const std::string where = std::string(format.name) + " preset " + std::to_string(preset);
      if (!o.FrameSize.empty()) {
        int width = 0, height = 0;
        EXPECT_GE(av_parse_video_size(&width, &height, o.FrameSize.c_str()), 0) << where;
        EXPECT_EQ(std::to_string(width) + "x" + std::to_string(height), o.FrameSize) << where;
      }
      if (!o.FrameRate.empty()) {
        AVRational rate{0, 1};
        EXPECT_GE(av_parse_video_rate(&rate, o.FrameRate.c_str()), 0) << where;
        EXPECT_GT(av_q2d(rate), 1.0) << where;
        EXPECT_LE(av_q2d(rate), 30.0) << where;
      }
      if (!o.FrameAspectRatio.empty()) {
        int w = 0, h = 0;
        char rest = 0;
        EXPECT_EQ(std::sscanf(o.FrameAspectRatio.c_str(), "%d:%d%c", &w, &h, &rest), 2) << where;
        EXPECT_GT(w, 0) << where;
        EXPECT_GT(h, 0) << where;
      }
      for (const engine::OptionLine& line : engine::SplitOptionText(o.ExtOptions)) {
        EXPECT_FALSE(line.Name.empty()) << where;
        EXPECT_FALSE(line.Value.empty()) << where << " " << line.Name;
      }
      if (o.AudioChannels != -1) {
        EXPECT_TRUE(o.AudioChannels == 1 || o.AudioChannels == 2) << where;
      }
      if (o.AudioSampleRate != -1) {
        EXPECT_GE(o.AudioSampleRate, 8000) << where;
        EXPECT_LE(o.AudioSampleRate, 48000) << where;
      }
      // Bit rates are in bit/s: a kbit/s slip would show as a value below 1000.
      for (int32_t rate : {o.AudioBitrate, o.VideoBitrate, o.VideoMaxRate, o.VideoMinRate}) {
        if (rate != -1) {
          EXPECT_GE(rate, 1000) << where;
        }
      }
      if (o.VideoMaxRate != -1 && o.VideoMinRate != -1) {
        EXPECT_LE(o.VideoMinRate, o.VideoMaxRate) << where;
      }
    }
  }
}

}  // namespace
}  // namespace convert
