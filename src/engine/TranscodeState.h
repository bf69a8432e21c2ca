#pragma once
// The per-run state of a job: one record per stream of every input file and of every
// output entry, with the codecs, converters and buffers the paths between them use. Built
// when a run starts, released when it ends (or fails).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "enginebase/EngineText.h"
#include "enginebase/LibraryPtr.h"
#include "enginebase/PtsCorrector.h"

extern "C" {
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

namespace engine {

struct SwrContextFree {
  void operator()(SwrContext* c) const { swr_free(&c); }
};
struct AudioFifoFree {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct FilterGraphFree {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct BsfFree {
  void operator()(AVBSFContext* c) const { av_bsf_free(&c); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using BsfPtr = std::unique_ptr<AVBSFContext, BsfFree>;
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

struct TInputFileState {
  int FirstStream = 0;
  int StreamCount = 0;
  bool EofReached = false;
  bool NoPacket = false;
};

struct TInputStream {
  int FileIndex = 0;
  int Index = 0;  // within its file
  AVStream* Stream = nullptr;
  const AVCodec* DecoderChoice = nullptr;  // asked for by name when the input was opened
  CodecContextPtr Decoder;                 // open while DecodingNeeded
  bool Discard = true;
  bool DecodingNeeded = false;
  int64_t Start = 0;  // wall clock when reading began (rate emulation)
  int64_t NextPts = kNoTimestamp;
  int64_t Pts = 0;
  PtsCorrector Corrector;
  bool IsStart = true;
  bool ShowedMultiPacketWarning = false;
  bool PastRecordingTime = false;
  int DecodedFrames = 0;
  bool FlushedInJoin = false;
  bool DecoderDrained = false;  // the decoder was sent its end (a further drain is empty)
  // The video filter graph of the output stream it feeds (at most one per input stream).
  FilterGraphPtr FilterGraph;
  AVFilterContext* FilterSource = nullptr;
  AVFilterContext* FilterSink = nullptr;
};

struct TOutputStream {
  int FileIndex = 0;  // output entry (join mode: the segment)
  int Index = 0;      // within its output
  AVStream* Stream = nullptr;
  int SourceIndex = 0;  // into the input-stream table
  int SyncStream = 0;
  int64_t SyncOpts = 0;  // next frame position in the encoder's time base
  bool EncodingNeeded = false;
  bool StreamCopy = false;
  int FrameNumber = 0;
  bool Active = true;
  bool Shared = false;  // a later join segment: codec and stream belong to segment 0
  int Global = 0;       // position in the output-stream table
  AVCodecContext* Encoder = nullptr;  // owned by the slot (segment 0's in join mode)
  const AVCodec* EncoderChoice = nullptr;
  std::vector<BsfPtr> BitstreamFilters;
  std::vector<std::string> BitstreamFilterNames;
  double WrittenEnd = 0.0;  // seconds: end of the last packet written (stream copy)
  int64_t LastDts = kNoTimestamp;

  // Audio path.
  bool Resample = false;
  SwrContextPtr Resampler;
  int ResampleSampleFormat = -1, ResampleChannels = 0, ResampleSampleRate = 0;
  int ConverterPair = -6;
  AudioFifoPtr Fifo;
  FramePtr Converted;  // converted samples on their way into the FIFO
  // Video path.
  bool VideoResample = false;
  SwsContextPtr Scaler;
  FramePtr Scaled;
  int ResampleWidth = 0, ResampleHeight = 0, ResamplePixelFormat = -1;
  bool ScalerChanged = false;
  // Two-pass statistics and forced key frames.
  FilePtr PassLogFile;
  std::string PassLogName;
  std::vector<int64_t> ForcedKeyFrames;  // in the encoder's time base
  size_t ForcedKeyFrameIndex = 0;
  // Quality and picture type of the last coded frame (for the report).
  int LastQuality = -1;
  int LastPictureType = 0;
  uint64_t LastError[4] = {0, 0, 0, 0};
  uint64_t TotalError[4] = {0, 0, 0, 0};
  bool HasPsnr = false;
};

struct TTranscodeState {
  std::vector<TInputFileState> Files;
  std::vector<TInputStream> Inputs;
  std::vector<TOutputStream> Outputs;
  int SegmentSize = 0;     // output streams of one (join) segment
  int CurrentSegment = 0;  // join mode
  int NoPacketCount = 0;
  // Work buffers reused for the whole run.
  FramePtr Decoded;
  FramePtr Filtered;
  FramePtr AudioFrame;
  FramePtr HookFrame;
  FramePtr OutputHookFrame;
  PacketPtr Packet;
  PacketPtr Encoded;
  int64_t VideoEncodeBufferSize = 262144;
  FilePtr VstatsFile;
  int64_t LastPreview = 0;
};

}  // namespace engine
