#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"

extern "C" {
#include <libavutil/opt.h>
}

using engine::TCustomFFmpeg;

namespace {

struct EffectCase {
  std::string name, value;
  std::function<bool(const TCustomFFmpeg&)> holds;
};

std::string RefusalOf(const std::string& name, const std::string& value) {
  TCustomFFmpeg job;
  try {
    job.SetOption(name, value);
  } catch (const engine::FFmpegException& e) {
    return e.what();
  }
  return "(accepted)";
}

std::string MetadataValue(const TCustomFFmpeg& job, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(job.Metadata, key, nullptr, 0);
  return entry ? entry->value : "(none)";
}

// 8..72: the 65th is past the end and ignored.
std::string SixtyFiveCoefficients() {
  std::string matrix;
  for (int i = 0; i < 65; ++i) matrix += std::to_string(i + 8) + (i < 64 ? "," : "");
  return matrix;
}

}  // namespace

// Each option name with the field it sets; every case starts from a fresh job, so a case
// also fails when the default already had the value the option should set.
TEST(OptionHandling, EveryOptionNameSetsItsField) {
  using J = const TCustomFFmpeg&;
  const std::vector<EffectCase> cases = {
      {"dump", "1", [](J j) { return j.PacketDump; }},
      {"hex", "", [](J j) { return j.HexDump; }},
      {"re", "false", [](J j) { return j.RateEmulation; }},
      {"loop_input", "1", [](J j) { return j.LoopInput; }},
      {"copyts", "1", [](J j) { return j.CopyTs; }},
      {"copytb", "1", [](J j) { return j.CopyTb; }},
      {"shortest", "1", [](J j) { return j.Shortest; }},
      {"xerror", "1", [](J j) { return j.ExitOnError; }},
      {"intra", "1", [](J j) { return j.IntraOnly; }},
      {"vn", "", [](J j) { return j.VideoDisable; }},
      {"an", "yes", [](J j) { return j.AudioDisable; }},
      {"sn", "00", [](J j) { return j.SubtitleDisable; }},
      {"sameq", "1", [](J j) { return j.SameQuality; }},
      {"deinterlace", "1", [](J j) { return j.Deinterlace; }},
      {"psnr", "1", [](J j) { return j.Psnr; }},
      {"qphist", "1", [](J j) { return j.QpHistogram; }},
      {"force_fps", "1", [](J j) { return j.ForceFps; }},
      {"isync", "1", [](J j) { return j.InputSync; }},
      {"loop_output", "3", [](J j) { return j.LoopOutput == 3; }},
      {"v", "-1", [](J j) { return j.Verbose == -1; }},
      {"vsync", "2", [](J j) { return j.VideoSyncMethod == 2; }},
      {"async", "1", [](J j) { return j.AudioSyncMethod == 1; }},
      {"vglobal", "1", [](J j) { return j.VideoGlobalHeader == 1; }},
      {"programid", "0x10", [](J j) { return j.ProgramId == 16; }},
      {"copyinkf", "1", [](J j) { return j.CopyInitialNonKeyframes == 1; }},
      {"vframes", "10", [](J j) { return j.MaxFrames[0] == 10; }},
      {"aframes", "11", [](J j) { return j.MaxFrames[1] == 11; }},
      {"dframes", "12", [](J j) { return j.MaxFrames[2] == 12; }},
      {"vdt", "5", [](J j) { return j.VideoDiscard == 5; }},
      {"me_threshold", "7", [](J j) { return j.MeThreshold == 7; }},
      {"top", "1", [](J j) { return j.TopFieldFirst == 1; }},
      {"dc", "10", [](J j) { return j.IntraDcPrecision == 10; }},
      {"vol", "512", [](J j) { return j.AudioVolume == 512; }},
      {"vc", "2", [](J j) { return j.VideoChannel == 2; }},
      {"ar", "22050", [](J j) { return j.AudioSampleRate == 22050; }},
      {"ar", "0", [](J j) { return j.AudioSampleRate == 44100; }},
      {"ac", "6", [](J j) { return j.AudioChannels == 6; }},
      {"ac", "-1", [](J j) { return j.AudioChannels == 2; }},
      {"threads", "4", [](J j) { return j.ThreadCount == 4; }},
      {"pass", "2", [](J j) { return j.PassNumber == 2; }},
      {"fs", "10000000000", [](J j) { return j.LimitFileSize == 10000000000LL; }},
      {"adrift_threshold", "0.5", [](J j) { return j.AudioDriftThreshold == 0.5; }},
      {"dts_delta_threshold", "3", [](J j) { return j.DtsDeltaThreshold == 3.0; }},
      {"aq", "4", [](J j) { return j.AudioQScale == 4.0; }},
      {"muxdelay", "0.25", [](J j) { return j.MuxMaxDelay == 0.25; }},
      {"muxpreload", "1.5", [](J j) { return j.MuxPreload == 1.5; }},
      {"qscale", "255", [](J j) { return j.VideoQScale == 255.0; }},
      {"f", "mp4", [](J j) { return j.ForcedFormatName == "mp4"; }},
      {"passlogfile", "/tmp/p", [](J j) { return j.PassLogFilePrefix == "/tmp/p"; }},
      {"vlang", "eng", [](J j) { return j.VideoLanguage == "eng"; }},
      {"alang", "fre", [](J j) { return j.AudioLanguage == "fre"; }},
      {"slang", "chi", [](J j) { return j.SubtitleLanguage == "chi"; }},
      {"force_key_frames", "0,5", [](J j) { return j.ForcedKeyFrames == "0,5"; }},
      {"vf", "scale=320:240", [](J j) { return j.VideoFilters == "scale=320:240"; }},
      {"vfilters", "hflip", [](J j) { return j.VideoFilters == "hflip"; }},
      {"rc_override", "0,10,2", [](J j) { return j.RcOverride == "0,10,2"; }},
      {"tvstd", "pal", [](J j) { return j.VideoStandard == "pal"; }},
      {"vstats_file", "/tmp/v.log", [](J j) { return j.VstatsFileName == "/tmp/v.log"; }},
      {"vcodec", "libx264",
       [](J j) { return j.VideoCodecName == "libx264" && !j.VideoStreamCopy; }},
      {"acodec", "libfaac", [](J j) { return j.AudioCodecName == "aac"; }},
      {"scodec", "mov_text", [](J j) { return j.SubtitleCodecName == "mov_text"; }},
      {"vcodec", "copy", [](J j) { return j.VideoStreamCopy && j.VideoCodecName.empty(); }},
      {"acodec", "copy", [](J j) { return j.AudioStreamCopy; }},
      {"scodec", "copy", [](J j) { return j.SubtitleStreamCopy; }},
      {"r", "30000/1001", [](J j) { return j.FrameRate.num == 30000 && j.FrameRate.den == 1001; }},
      {"r", "ntsc", [](J j) { return j.FrameRate.num == 30000 && j.FrameRate.den == 1001; }},
      {"s", "640x480", [](J j) { return j.FrameWidth == 640 && j.FrameHeight == 480; }},
      {"s", "vga", [](J j) { return j.FrameWidth == 640 && j.FrameHeight == 480; }},
      {"aspect", "16:9", [](J j) { return j.FrameAspectRatio == 16.0 / 9.0; }},
      {"aspect", "1.5", [](J j) { return j.FrameAspectRatio == 1.5; }},
      {"aspect", "-1", [](J j) { return j.FrameAspectRatio == -1.0; }},
      {"pix_fmt", "yuv422p", [](J j) { return j.FramePixelFormat == AV_PIX_FMT_YUV422P; }},
      {"sample_fmt", "s16", [](J j) { return j.AudioSampleFormat == AV_SAMPLE_FMT_S16; }},
      {"metadata", "title=a=b", [](J j) { return MetadataValue(j, "title") == "a=b"; }},
      {"metadata", "comment=", [](J j) { return MetadataValue(j, "comment") == ""; }},
      {"atag", "0x20", [](J j) { return j.AudioTag == 0x20; }},
      {"vtag", "xvid", [](J j) { return j.VideoTag == 0x64697678u; }},
      {"stag", "12", [](J j) { return j.SubtitleTag == 12; }},
      {"map", "0.1",
       [](J j) {
         return j.StreamMaps == std::vector<engine::TStreamMap>{{0, 1, 0, 1}};
       }},
      {"map", "1:0x2,3.4",
       [](J j) {
         return j.StreamMaps == std::vector<engine::TStreamMap>{{1, 2, 3, 4}};
       }},
      {"map_meta_data", "0:1",
       [](J j) {
         return j.MetadataMaps.size() == 1 && j.MetadataMaps[0].first.FileIndex == 0 &&
                j.MetadataMaps[0].second.FileIndex == 1 && !j.MetadataAutoCopyGlobal &&
                j.MetadataAutoCopyStreams;
       }},
      {"map_meta_data", "0,s1:1,g",
       [](J j) {
         return j.MetadataMaps.size() == 1 && j.MetadataMaps[0].first.Type == 's' &&
                j.MetadataMaps[0].first.Index == 1 && !j.MetadataAutoCopyStreams &&
                !j.MetadataAutoCopyGlobal && j.MetadataAutoCopyChapters;
       }},
      {"map_meta_data", "0,c2:0,p0", [](J j) { return !j.MetadataAutoCopyChapters; }},
      {"map_chapters", "0:2",
       [](J j) {
         return j.ChapterMaps == std::vector<std::pair<int, int>>{{0, 2}};
       }},
      {"t", "30", [](J j) { return j.RecordingTime == 30000000 && j.TotalDuration == 30000000; }},
      {"t", "00:01:02.5", [](J j) { return j.RecordingTime == 62500000; }},
      {"ss", "5", [](J j) { return j.StartTime == 5000000; }},
      {"itsoffset", "-2", [](J j) { return j.InputTsOffset == -2000000; }},
      {"timestamp", "2020-01-02T03:04:05Z", [](J j) { return j.RecordingTimestamp == 1577934245; }},
      {"itsscale", "2:1.5",
       [](J j) {
         return j.NextInputTsScales == std::vector<double>{0.0, 0.0, 1.5};
       }},
      {"streamid", "1:301",
       [](J j) {
         return j.StreamIdMap == std::vector<int>{0, 301};
       }},
      {"intra_matrix", SixtyFiveCoefficients(),
       [](J j) {
         return j.IntraMatrix.size() == 64 && j.IntraMatrix[0] == 8 && j.IntraMatrix[63] == 71;
       }},
      {"vstats", "1",
       [](J j) {
         return j.VstatsFileName.find("vstats_") != std::string::npos &&
                j.VstatsFileName.size() > 4 &&
                j.VstatsFileName.compare(j.VstatsFileName.size() - 4, 4, ".log") == 0;
       }},
      {"vbsf", "h264_mp4toannexb",
       [](J j) {
         return j.VideoBitstreamFilters.size() == 1 &&
                j.VideoBitstreamFilters[0].Name == "h264_mp4toannexb";
       }},
      {"absf", "=x", [](J j) { return j.AudioBitstreamFilters.empty(); }},
      {"g", "12",
       [](J j) {
         int64_t gop = 0;
         av_opt_get_int(j.CodecOptions(engine::okVideo), "g", 0, &gop);
         return gop == 12;
       }},
      {"ab", "96000",
       [](J j) {
         int64_t audio = 0, video = 0;
         av_opt_get_int(j.CodecOptions(engine::okAudio), "b", 0, &audio);
         av_opt_get_int(j.CodecOptions(engine::okVideo), "b", 0, &video);
         return audio == 96000 && video != 96000;
       }},
  };
  for (const auto& c : cases) {
    TCustomFFmpeg job;
    try {
      job.SetOption(c.name, c.value);
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.name << "=" << c.value << " refused: " << e.what();
      continue;
    }
    EXPECT_TRUE(c.holds(job)) << c.name << "=" << c.value;
  }
}

TEST(OptionHandling, FlagsAreClearedOnlyByExactlyZeroAndEmptyValuesAreIgnored) {
  TCustomFFmpeg job;
  job.SetOption("vn", "1");
  job.SetOption("vn", "0");
  EXPECT_FALSE(job.VideoDisable);
  job.SetOption("f", "mp4");
  job.SetOption("f", "");
  EXPECT_EQ(job.ForcedFormatName, "mp4");
  job.SetOption("vcodec", "mpeg4");
  job.SetOption("vcodec", "");
  EXPECT_EQ(job.VideoCodecName, "mpeg4");
  job.SetOption("r", "30");
  job.SetOption("r", "");
  EXPECT_EQ(job.FrameRate.num, 30);
  job.SetOption("vstats_file", "x");
  job.SetOption("vstats", "0");
  EXPECT_EQ(job.VstatsFileName, "");
}

TEST(OptionHandling, EveryRefusalTextIsExact) {
  const std::vector<std::array<std::string, 3>> cases = {
      {"threads", "two", "'two' is not a valid integer value"},
      {"v", "", "'' is not a valid integer value"},
      {"fs", "10MB", "'10MB' is not a valid integer value"},
      {"vframes", "99999999999", "'99999999999' is not a valid integer value"},
      {"pass", "3", "pass number can be only 1 or 2"},
      {"pass", "0", "pass number can be only 1 or 2"},
      {"aq", "x", "'x' is not a valid floating point value"},
      {"muxdelay", "1e999", "'1e999' is not a valid floating point value"},
      {"qscale", "0", "qscale must be > 0.0 and <= 255"},
      {"qscale", "255.5", "qscale must be > 0.0 and <= 255"},
      {"qscale", "nan", "'nan' is not a valid floating point value"},
      {"r", "fast", "Incorrect frame rate"},
      {"s", "abc", "Incorrect frame size"},
      {"aspect", "16:0", "Incorrect aspect ratio specification."},
      {"aspect", "abc", "Incorrect aspect ratio specification."},
      {"aspect", "", "Incorrect aspect ratio specification."},
      {"pix_fmt", "rgb99", "Unknown pixel format requested: rgb99"},
      {"sample_fmt", "s17", "Invalid sample format \"s17\""},
      {"metadata", "title", "Missing ="},
      {"metadata", "=x", "wrong parameter of metadata"},
      {"vtag", "abc", "tag parameter must be 4 chars or int value"},
      {"atag", "abcde", "tag parameter must be 4 chars or int value"},
      {"map_meta_data", "0,x:1", "Invalid metadata type x."},
      {"t", "abc", "无效持续时间 规范t: abc"},
      {"ss", "1:2:3:4", "无效持续时间 规范ss: 1:2:3:4"},
      {"itsoffset", "x", "无效持续时间 规范itsoffset: x"},
      {"timestamp", "yesterday", "无效日期 规范timestamp: yesterday"},
      {"itsscale", "20:1.0", "stream index over MAX_STREAMS(20)"},
      {"streamid", "1",
       "Invalid value \"1\" for option \"streamid\", required syntax is \"index:value\""},
      {"streamid", "a:b",
       "Invalid value \"a:b\" for option \"streamid\", required syntax is \"index:value\""},
      {"intra_matrix", "1,2,3", "Syntax error in matrix \"1,2,3\" at coeff 2"},
      {"inter_matrix", "", "Syntax error in matrix \"\" at coeff 0"},
      {"vbsf", "no_such_bsf=1", "Unknown bitstream filter no_such_bsf=1"},
      {"vhook", "/nonexistent/hook.so a b",
       "Failed to add video hook function: /nonexistent/hook.so a b"},
      {"newvideo", "", "At least one output file must be specified"},
      {"croptop", "10", "Removed, use the crop filter instead"},
      {"padcolor", "000000", "Removed, use the pad filter instead"},
      {"target", "bluray", "Unknown target type"},
      {"target", "pal-", "Unknown target type"},
      {"vpre", "/nonexistent/x.ffpreset", "Preset \"/nonexistent/x.ffpreset\" not found"},
      {"no_such_option", "1", "Unrecognized option \"no_such_option\""},
      {"b", "fast", "Invalid value \"fast\" for option \"b\""},
      {"flags", "+no_such_flag", "Invalid value \"+no_such_flag\" for option \"flags\""},
      {"directpred", "7", "Invalid value \"7\" for option \"directpred\""},
      {"loglevel", "loud", "loud"},
  };
  for (const auto& [name, value, text] : cases) {
    std::string refusal = RefusalOf(name, value);
    if (name == "loglevel")
      EXPECT_NE(refusal.find(text), std::string::npos) << refusal;
    else
      EXPECT_EQ(refusal, text) << name << "=" << value;
  }
}

TEST(OptionHandling, RefusedLibraryOptionsRaiseOnlyWhenAskedTo) {
  TCustomFFmpeg job;
  job.RaiseOnOptionError = false;
  EXPECT_NO_THROW(job.SetOption("no_such_option", "1"));
  EXPECT_EQ(engine::LastOptionError(), "Unrecognized option \"no_such_option\"");
  EXPECT_TRUE(job.RecordedOptions().empty());
  // Handler refusals are not library refusals: they always raise.
  EXPECT_THROW(job.SetOption("pass", "9"), engine::FFmpegException);
}

TEST(OptionHandling, LogLinesOfTheInformationalOptions) {
  LogCapture log;
  TCustomFFmpeg job;
  job.SetOption("y", "");
  job.SetOption("benchmark", "1");
  job.SetOption("timelimit", "10");
  job.SetOption("threads", "2");
  job.SetOption("vb", "800");
  job.SetOption("ab", "1500");
  job.SetOption("sample_fmt", "list");
  EXPECT_EQ(log.Matching(engine::llInfo, "Do nothing: option - y").size(), 1u);
  EXPECT_EQ(log.Matching(engine::llInfo, "Do nothing: option - benchmark").size(), 1u);
  EXPECT_EQ(
      log.Matching(engine::llWarning, "Warning: -timelimit not implemented on Windows").size(), 1u);
  EXPECT_EQ(log.Matching(engine::llVerbose, "thread emulation.").size(), 1u);
  // 800 bit/s is below 1000: the warning about kbit/s; 1500 is not.
  EXPECT_EQ(log.Matching(engine::llWarning, "The bitrate parameter is set too low").size(), 1u);
  auto sampleFormats = log.Matching(engine::llInfo, "");
  size_t listed = 0;
  for (const auto& line : sampleFormats)
    if (line.find("s16") == 0 || line.find("name") == 0 || line.find("u8") == 0) ++listed;
  EXPECT_GE(listed, 3u);
}

// An extra option text: names are lower-cased, so "L" is out of reach and "Threads" works;
// the stream and preset names are skipped; codec and size only with allowAll.
TEST(OptionHandling, OptionTextAppliesItsLines) {
  TCustomFFmpeg output;
  output.ApplyOptionText(
      "Threads=3<CRLF>vcodec=mpeg4\r\ns=320x240\rvpre=nonexistent\nvf=hflip\n"
      "newvideo\nflags=+loop",
      false);
  EXPECT_EQ(output.ThreadCount, 3);
  EXPECT_EQ(output.VideoCodecName, "");
  EXPECT_EQ(output.FrameWidth, 0);
  EXPECT_EQ(output.VideoFilters, "");
  int64_t flags = 0;
  av_opt_get_int(output.CodecOptions(engine::okVideo), "flags", 0, &flags);
  EXPECT_NE(flags & AV_CODEC_FLAG_LOOP_FILTER, 0);

  TCustomFFmpeg input;
  input.ApplyOptionText("vcodec=mpeg4\ns=320x240", true);
  EXPECT_EQ(input.VideoCodecName, "mpeg4");
  EXPECT_EQ(input.FrameWidth, 320);

  TCustomFFmpeg upper;
  EXPECT_THROW(upper.ApplyOptionText("L=1", true), engine::FFmpegException);
}

// Text from outside (stored settings, preset files) may be anything: a clear refusal or an
// ignored line, never a crash.
TEST(OptionHandling, BadOptionTextIsRefusedClearly) {
  const std::string huge(1 << 20, '9');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"=", "Unrecognized option \"\""},
      {"=5", "Unrecognized option \"\""},
      {"  =x", "Unrecognized option \"\""},
      {"threads=" + huge, "is not a valid integer value"},
      {"b=" + huge, "Invalid value"},
      {"s=" + huge, "Incorrect frame size"},
      {"r=" + huge, "Incorrect frame rate"},
      {"aspect=" + huge + ":1", "(accepted)"},
      {"aspect=1:" + huge, "(accepted)"},
      {"aspect=" + huge, "Incorrect aspect ratio specification."},
      {"map=" + huge, "(accepted)"},
      {"metadata=" + huge + "=" + huge, "(accepted)"},
      {std::string("threads=\x01\x02"), "is not a valid integer value"},
      {std::string("ti\x07tle=x"), "Unrecognized option"},
      {std::string("vcodec=\x1b[31m"), "(accepted)"},
      {"itsscale=" + huge + ":1", "stream index over MAX_STREAMS(20)"},
      {"streamid=" + huge + ":1", "required syntax is \"index:value\""},
  };
  for (const auto& [text, expected] : cases) {
    TCustomFFmpeg job;
    std::string refusal = "(accepted)";
    try {
      job.ApplyOptionText(text, true);
    } catch (const engine::FFmpegException& e) {
      refusal = e.what();
    }
    EXPECT_NE(refusal.find(expected), std::string::npos)
        << text.substr(0, 40) << " -> " << refusal.substr(0, 200);
  }
}

// A name that is empty must not be reported with the previous option's refusal.
TEST(OptionHandling, AnEmptyNameIsNotReportedAsTheLastRefusal) {
  TCustomFFmpeg job;
  EXPECT_THROW(job.SetOption("no_such_option", "1"), engine::FFmpegException);
  for (const char* name : {"", " ", "\t"}) {
    try {
      job.SetOption(name, "1");
      ADD_FAILURE() << "accepted \"" << name << "\"";
    } catch (const engine::FFmpegException& e) {
      EXPECT_EQ(std::string(e.what()), "Unrecognized option \"" + std::string(name) + "\"");
    }
  }
  EXPECT_TRUE(job.RecordedOptions().empty());
}

// A flag word the installed libraries no longer have, with no equivalent, is dropped with
// a warning instead of failing the job; nothing is recorded for it.
TEST(OptionHandling, DroppedOldWordsDoNotFailTheJob) {
  LogCapture log;
  TCustomFFmpeg job;
  EXPECT_NO_THROW(job.SetOption("flags2", "+brdo"));
  EXPECT_TRUE(job.RecordedOptions().empty());
  EXPECT_EQ(log.Matching(engine::llWarning, "flags2 +brdo").size(), 1u);
}
