#pragma once
// What the decoder reports about a file and its streams. -1 marks a value the file does
// not provide (and every number while no file is open).

#include <cstdint>
#include <string>

namespace engine {

struct TFileStreamInfo {
  int64_t StartTime = -1;  // microseconds
  int64_t Duration = -1;   // microseconds
  int32_t BitRate = -1;
  int64_t Timestamp = -1;  // creation time, seconds since 1970
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTimeTicks = -1;  // the stream's own time base
  int64_t StartTime = -1;       // microseconds
  int64_t DurationTicks = -1;
  int64_t Duration = -1;
  int32_t BitRate = -1;
  int32_t Channels = -1;
  int32_t SampleRate = -1;
  int32_t SampleFormat = -1;
};

struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTimeTicks = -1;
  int64_t StartTime = -1;
  int64_t DurationTicks = -1;
  int64_t Duration = -1;
  int32_t BitRate = -1;
  int32_t Height = -1;
  int32_t Width = -1;
  float AspectRatio = -1.0f;  // display aspect: sample aspect x width / height
  int32_t PixelFormat = -1;
  int32_t FrameRateNum = -1;
  int32_t FrameRateDen = -1;
};

}  // namespace engine
