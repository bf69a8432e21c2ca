#pragma once
// The steps of a run, shared between the transcode core, the stream set-up and the output
// paths. Everything here runs on the job's thread and works on job.Run.

#include <cstdio>
#include <string>

#include "engine/CustomFFmpeg.h"
#include "engine/TranscodeState.h"
#include "log/LogLevel.h"

struct AVSubtitle;

namespace engine {

// printf-style text for messages.
template <typename... Args>
std::string FormatText(const char* pattern, Args... values) {
  char buffer[2048];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}
void JobLog(const TCustomFFmpeg& job, int level, const std::string& text);

// ---- Set-up, in the order the run performs them ----
void BuildInputStreams(TCustomFFmpeg& job);
void BuildOutputStreams(TCustomFFmpeg& job);
// Every encoder an output stream needs; join segments after the first share the first's.
void OpenEncoders(TCustomFFmpeg& job);
void OpenDecoders(TCustomFFmpeg& job);
void InitialiseInputTimes(TCustomFFmpeg& job);
void CopyMetadataAndChapters(TCustomFFmpeg& job);
void WriteHeaders(TCustomFFmpeg& job);
void LogStreamMapping(TCustomFFmpeg& job);
void OpenEncoder(TCustomFFmpeg& job, TOutputStream& ost);

// ---- Output paths ----
// The audio hook, then the volume, on decoded samples in place.
void ApplyAudioHookAndVolume(TCustomFFmpeg& job, TInputStream& ist, AVFrame* samples);
void AudioOut(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist, AVFrame* samples);
void DrainAudio(TCustomFFmpeg& job, TOutputStream& ost);
// The encoded size of the last frame (0 when nothing came out).
int VideoOut(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist, AVFrame* picture);
void DrainVideo(TCustomFFmpeg& job, TOutputStream& ost);
// The picture handed on (the decoded one or the job's hook buffer).
AVFrame* PreprocessVideoFrame(TCustomFFmpeg& job, TInputStream& ist, AVFrame* picture);
void SubtitleOut(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist, AVSubtitle* subtitle,
                 int64_t pts);
// Takes the packet's data (the packet is left empty).
void WriteFrame(TCustomFFmpeg& job, TOutputStream& ost, AVPacket* packet);
void WriteVideoStats(TCustomFFmpeg& job, TOutputStream& ost, int frameSize);

// The progress report: the status line, the progress link, and in the last report the
// end statistics. fileIndex: the input read last, -1 in the last report.
void ReportProgress(TCustomFFmpeg& job, int fileIndex, bool last);

// Where an output stream has got to, in seconds: what was handed to its encoder, or the
// end of the last packet copied.
double OutputPosition(const TOutputStream& ost);
// The output's codec parameters in use (the encoder's, or the copied stream's).
const AVCodecParameters* OutputParameters(const TOutputStream& ost);
AVMediaType OutputType(const TOutputStream& ost);

}  // namespace engine
