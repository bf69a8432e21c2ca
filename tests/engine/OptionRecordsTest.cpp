#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/OptionRecords.h"

namespace {

using engine::OptionLine;
using engine::SplitOptionText;

// The engine reads -1 (or the no-time marker) as "leave the library default
// alone": a reset that left 0 in these fields would ask for 0 channels, 0 Hz,
// program 0, time 0.
TEST(OptionRecordsTest, ResetGivesTheNotSetValuesTheEngineSkips) {
  engine::TOutputOptions output;
  output.FileName = "/out/a.mp3";
  output.AudioChannels = 2;
  output.AudioSampleRate = 44100;
  output.AudioBitrate = 128000;
  output.VideoSync = 1;
  output.StartTime = 5;
  output.RecordingTime = 7;
  output.MuxDelay = 0.7f;
  output.BitsPixel = 32;
  output.TargetFallbackNorm = 2;
  output.Join = true;
  output.Metadata.Title = "t";
  output.Metadata.Timestamp = 0.0;
  output.Metadata.Year = 2001;
  output.ExtOptions = "crf=24";
  output.Reset();

  EXPECT_EQ(output, engine::TOutputOptions());
  EXPECT_TRUE(output.FileName.empty());
  EXPECT_EQ(output.AudioChannels, -1);
  EXPECT_EQ(output.AudioSampleRate, -1);
  EXPECT_EQ(output.AudioBitrate, -1);
  EXPECT_EQ(output.AudioVolume, -1);
  EXPECT_EQ(output.AudioSync, 0);
  EXPECT_EQ(output.VideoSync, -1);
  EXPECT_EQ(output.PacketSize, -1);
  EXPECT_EQ(output.MuxDelay, -1.0f);
  EXPECT_EQ(output.MuxPreload, -1.0f);
  EXPECT_EQ(output.StartTime, engine::kNoTimeValue);
  EXPECT_EQ(output.RecordingTime, engine::kNoTimeValue);
  EXPECT_EQ(output.Target, 0);
  EXPECT_EQ(output.TargetNorm, 0);
  EXPECT_EQ(output.TargetFallbackNorm, 1);
  EXPECT_EQ(output.BitsPixel, 24);
  EXPECT_FALSE(output.Join);
  EXPECT_FALSE(output.DisableVideo);
  EXPECT_EQ(output.Metadata.Timestamp, -1.0);
  EXPECT_EQ(output.Metadata.Year, -1);
  EXPECT_EQ(output.Metadata.Track, -1);
  EXPECT_TRUE(output.Metadata.Title.empty());
  EXPECT_TRUE(output.ExtOptions.empty());

  engine::TInputOptions input;
  input.FileName = "/in/a.avi";
  input.ForceFormat = "avi";
  input.StartTime = 0;
  input.ProgramID = 3;
  input.ExtOptions = "threads=2";
  input.Reset();
  EXPECT_EQ(input, engine::TInputOptions());
  EXPECT_TRUE(input.FileName.empty());
  EXPECT_TRUE(input.ForceFormat.empty());
  EXPECT_EQ(input.StartTime, engine::kNoTimeValue);
  EXPECT_EQ(input.ProgramID, -1);
  EXPECT_TRUE(input.ExtOptions.empty());

  engine::TStreamInfo info;
  info.Timestamp = 40000.5;
  info.Track = 4;
  info.Genre = "g";
  info.Reset();
  EXPECT_EQ(info, engine::TStreamInfo());
  EXPECT_EQ(info.Timestamp, -1.0);
  EXPECT_EQ(info.Track, -1);
}

// A zero start time is a real position; it must stay distinct from "not set".
TEST(OptionRecordsTest, ZeroTimesAreNotTheNoTimeMarker) {
  engine::TOutputOptions output;
  output.StartTime = 0;
  EXPECT_NE(output, engine::TOutputOptions());
  engine::TInputOptions input;
  input.StartTime = 0;
  EXPECT_NE(input, engine::TInputOptions());
}

struct SplitCase {
  const char* label;
  std::string text;
  std::vector<OptionLine> lines;
};

TEST(OptionRecordsTest, SplitOptionText) {
  const std::vector<SplitCase> cases = {
      {"empty", "", {}},
      {"only white space and breaks", "  \r\n\t\n \r ", {}},
      {"name is lower-cased, value kept", "Threads=2", {{"threads", "2"}}},
      {"value keeps case and inner =", "metadata=Title=A=B", {{"metadata", "Title=A=B"}}},
      {"CR LF lines with a final break",
       "flags=+loop\r\ncmp=+chroma\r\n",
       {{"flags", "+loop"}, {"cmp", "+chroma"}}},
      {"CR, LF and CR LF mixed",
       "a=1\rb=2\nc=3\r\nd=4",
       {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}},
      {"literal <CRLF> breaks", "aq=4.97<CRLF>Ab=96000<CRLF>", {{"aq", "4.97"}, {"ab", "96000"}}},
      {"lower-case <crlf> is text", "a=1<crlf>b", {{"a", "1<crlf>b"}}},
      {"outer white space trimmed", "  \t vn=0 \r\n", {{"vn", "0"}}},
      {"inner spaces of a value kept", "x= y \r\nz=1", {{"x", " y "}, {"z", "1"}}},
      {"line without = is a name", "VN\r\nsameq", {{"vn", ""}, {"sameq", ""}}},
      {"blank lines between are dropped", "a=1\r\n\r\n   \r\nb=2", {{"a", "1"}, {"b", "2"}}},
      {"two CRs are two breaks", "a=1\r\rb=2", {{"a", "1"}, {"b", "2"}}},
      {"empty value", "vtag=", {{"vtag", ""}}},
      {"non-ASCII name bytes kept", "\xC3\x84Q=1", {{"\xC3\x84q", "1"}}},
      {"quoted value with brackets",
       "rc_eq='blurCplx^(1-qComp)'",
       {{"rc_eq", "'blurCplx^(1-qComp)'"}}},
  };
  for (const SplitCase& c : cases) {
    const std::vector<OptionLine> got = SplitOptionText(c.text);
    ASSERT_EQ(got.size(), c.lines.size()) << c.label;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].Name, c.lines[i].Name) << c.label << " line " << i;
      EXPECT_EQ(got[i].Value, c.lines[i].Value) << c.label << " line " << i;
    }
  }
}

}  // namespace
