// The typed fields of an output record, applied to a job in a fixed order.

#include <cmath>
#include <ctime>

#include "engine/CustomFFmpeg.h"

namespace engine {
namespace {

// Days since 30 December 1899 in local standard time -> seconds since 1970 in UTC; 0 is now.
int64_t TimestampSeconds(double days) {
  if (days == 0.0) return static_cast<int64_t>(std::time(nullptr));
  tzset();
  // `timezone` is the standard offset in seconds west of Greenwich.
  return std::llround((days - 25569.0) * 86400.0 + static_cast<double>(timezone));
}

}  // namespace

void ApplyOutputOptions(TCustomFFmpeg& job, const TOutputOptions& o) {
  // Library options here are best effort: a refused one leaves the library default.
  auto library = [&job](const char* name, int64_t value) {
    if (value > 0) job.SetLibraryOption(name, std::to_string(value));
  };
  if (!o.ForceFormat.empty()) job.SetOption("f", o.ForceFormat);
  library("packetsize", o.PacketSize);
  library("muxrate", o.MuxRate);
  if (o.MuxDelay > 0) job.MuxMaxDelay = o.MuxDelay;
  if (o.MuxPreload > 0) job.MuxPreload = o.MuxPreload;
  if (o.DisableAudio) job.AudioDisable = true;
  if (o.AudioVolume >= 0) job.AudioVolume = o.AudioVolume;
  if (o.AudioChannels > 0) job.AudioChannels = o.AudioChannels;
  if (o.AudioSampleRate > 0) job.AudioSampleRate = o.AudioSampleRate;
  if (o.Target == 0) library("ab", o.AudioBitrate);
  library("abt", o.AudioBitrateTolerance);
  job.AudioLanguage = o.AudioLanguage;
  job.AudioSyncMethod = o.AudioSync;
  if (!o.AudioTag.empty()) job.SetOption("atag", o.AudioTag);
  if (o.DisableVideo) job.VideoDisable = true;
  if (!o.FrameRate.empty()) job.SetOption("r", o.FrameRate);
  if (!o.FrameAspectRatio.empty()) job.SetOption("aspect", o.FrameAspectRatio);
  library("g", o.GopSize);
  if (o.Target == 0) library("vb", o.VideoBitrate);
  library("maxrate", o.VideoMaxRate);
  library("minrate", o.VideoMinRate);
  library("bt", o.VideoBitrateTolerance);
  library("bufsize", o.VideoBufferSize);
  job.VideoSyncMethod = o.VideoSync;
  if (!o.VideoTag.empty()) job.SetOption("vtag", o.VideoTag);
  job.VideoLanguage = o.VideoLanguage;
  if (o.DisableSubtitle) job.SubtitleDisable = true;
  job.SubtitleLanguage = o.SubtitleLanguage;
  job.InputSync = o.InputSync;
  if (o.CopyTs) job.CopyTs = true;
  if (o.StartTime != kNoTimeValue) job.StartTime = o.StartTime;
  if (o.RecordingTime != kNoTimeValue) {
    job.RecordingTime = o.RecordingTime;
    job.TotalDuration = o.RecordingTime;
  }
  if (o.Metadata.Timestamp >= 0.0) job.RecordingTimestamp = TimestampSeconds(o.Metadata.Timestamp);
  auto metadata = [&job](const char* key, const std::string& value) {
    if (!value.empty()) av_dict_set(&job.Metadata, key, value.c_str(), 0);
  };
  if (o.Metadata.Year > 0) metadata("year", std::to_string(o.Metadata.Year));
  if (o.Metadata.Track > 0) metadata("track", std::to_string(o.Metadata.Track));
  metadata("title", o.Metadata.Title);
  metadata("author", o.Metadata.Author);
  metadata("copyright", o.Metadata.Copyright);
  metadata("comment", o.Metadata.Comment);
  metadata("album", o.Metadata.Album);
  metadata("genre", o.Metadata.Genre);
}

}  // namespace engine
