// The run of a job: set-up, the packet loop over the inputs (or over the joined inputs one
// after another), draining, trailers, and the progress reports with their status line.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "core/MainThread.h"
#include "engine/TranscodeSteps.h"
#include "enginebase/ErrorText.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"
#include "enginebase/LibraryBinding.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/time.h>
}

namespace engine {
namespace {

TPreviewWindowFactory& PreviewFactorySlot() {
  static TPreviewWindowFactory factory;
  return factory;
}

bool StopAsked(void* owner) { return static_cast<TCustomFFmpeg*>(owner)->StopRequested; }

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

// The MaxFrames entry of a media type: video, audio, data, subtitle.
int FrameLimitIndex(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return 0;
    case AVMEDIA_TYPE_AUDIO:
      return 1;
    case AVMEDIA_TYPE_SUBTITLE:
      return 3;
    default:
      return 2;
  }
}

bool ReachedFrameLimit(const TCustomFFmpeg& job, const TOutputStream& ost) {
  return ost.FrameNumber >= job.MaxFrames[FrameLimitIndex(OutputType(ost))];
}

// A decoder error; the packet is skipped unless the job exits on errors.
struct DecodeFailed {};

class TranscodeRun {
 public:
  explicit TranscodeRun(TCustomFFmpeg& job) : job_(job), run_(*job.Run) {}

  void Loop();
  void Finish();

 private:
  int ChooseInput(bool& limitReached);
  bool EndSegment();
  void HandlePacket(int fileIndex, AVPacket* packet);
  bool ProcessPacket(TInputStream& ist, const AVPacket* packet);
  // Audio and video: the packet's frames, each timed and fed to the outputs.
  void Decode(TInputStream& ist, const AVPacket* packet);
  void DecodeSubtitle(TInputStream& ist, const AVPacket* packet);
  void FeedOutputs(TInputStream& ist, AVFrame* frame);
  void FeedEncoders(TInputStream& ist, AVFrame* frame);
  void CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* packet);
  void DrainEncoders();
  int IndexOf(const TInputStream& ist) const { return static_cast<int>(&ist - run_.Inputs.data()); }

  TCustomFFmpeg& job_;
  TTranscodeState& run_;
  int64_t lastReport_ = 0;
};

int TranscodeRun::ChooseInput(bool& limitReached) {
  limitReached = false;
  if (job_.JoinMode) {
    const int first = run_.CurrentSegment * run_.SegmentSize;
    for (int i = first; i < first + run_.SegmentSize; ++i)
      if (ReachedFrameLimit(job_, run_.Outputs[i])) {
        limitReached = true;
        return -1;
      }
    return run_.CurrentSegment;
  }
  double iptsMin = 1e100, optsMin = 1e100;
  int chosen = -1;
  for (const TOutputStream& ost : run_.Outputs) {
    const TInputStream& ist = run_.Inputs[ost.SourceIndex];
    const TInputFileState& file = run_.Files[ist.FileIndex];
    if (ist.PastRecordingTime || file.NoPacket) continue;
    const double opts = OutputPosition(ost);
    const double ipts = static_cast<double>(ist.Pts);
    if (!file.EofReached) {
      if (ipts < iptsMin) {
        iptsMin = ipts;
        if (job_.InputSync) chosen = ist.FileIndex;
      }
      if (opts < optsMin) {
        optsMin = opts;
        if (!job_.InputSync) chosen = ist.FileIndex;
      }
    }
    if (ReachedFrameLimit(job_, ost)) {
      limitReached = true;
      return -1;
    }
  }
  return chosen;
}

void TranscodeRun::Loop() {
  job_.TimerStart = av_gettime_relative();
  lastReport_ = job_.TimerStart;
  for (auto& file : run_.Files) file.NoPacket = false;
  run_.NoPacketCount = 0;
  AVPacket* packet = run_.Packet.get();
  while (!job_.StopRequested) {
    bool limitReached = false;
    const int fileIndex = ChooseInput(limitReached);
    if (limitReached) break;
    if (fileIndex < 0) {
      if (job_.JoinMode || run_.NoPacketCount == 0) break;
      for (auto& file : run_.Files) file.NoPacket = false;
      run_.NoPacketCount = 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (job_.LimitFileSize > 0 && job_.OutputFiles[0]->pb &&
        avio_tell(job_.OutputFiles[0]->pb) >= job_.LimitFileSize)
      break;
    const int code = av_read_frame(job_.InputFiles[fileIndex].get(), packet);
    if (code == AVERROR(EAGAIN)) {
      if (!job_.JoinMode) {
        run_.Files[fileIndex].NoPacket = true;
        ++run_.NoPacketCount;
      }
      continue;
    }
    if (code < 0) {
      run_.Files[fileIndex].EofReached = true;
      if (job_.JoinMode) {
        if (EndSegment()) break;
        continue;
      }
      if (job_.Shortest) break;
      continue;
    }
    for (auto& file : run_.Files) file.NoPacket = false;
    run_.NoPacketCount = 0;
    HandlePacket(fileIndex, packet);
    av_packet_unref(packet);
    const int64_t now = av_gettime_relative();
    if (now - lastReport_ > job_.ProgressIntervalUs) {
      lastReport_ = now;
      ReportProgress(job_, fileIndex, false);
    }
  }
}

void TranscodeRun::HandlePacket(int fileIndex, AVPacket* packet) {
  AVFormatContext* input = job_.InputFiles[fileIndex].get();
  const TInputFileState& file = run_.Files[fileIndex];
  if (job_.PacketDump)
    av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet, job_.HexDump, input->streams[packet->stream_index]);
  // Streams that appeared after the run started, or that no output uses.
  if (packet->stream_index >= file.StreamCount) return;
  TInputStream& ist = run_.Inputs[file.FirstStream + packet->stream_index];
  if (ist.Discard) return;

  const AVRational timeBase = ist.Stream->time_base;
  const int64_t offset = av_rescale_q(job_.InputTsOffsets[fileIndex], AV_TIME_BASE_Q, timeBase);
  if (packet->dts != AV_NOPTS_VALUE) packet->dts += offset;
  if (packet->pts != AV_NOPTS_VALUE) packet->pts += offset;
  const auto& scales = job_.InputTsScales[fileIndex];
  if (packet->stream_index < static_cast<int>(scales.size()) && scales[packet->stream_index] != 0.0) {
    const double scale = scales[packet->stream_index];
    if (packet->dts != AV_NOPTS_VALUE) packet->dts = std::llround(packet->dts * scale);
    if (packet->pts != AV_NOPTS_VALUE) packet->pts = std::llround(packet->pts * scale);
  }

  // A format that allows jumps in its time stamps: a jump moves the file's offset, so
  // that the output continues smoothly.
  if (packet->dts != AV_NOPTS_VALUE && ist.NextPts != kNoTimestamp &&
      (input->iformat->flags & AVFMT_TS_DISCONT) && !job_.CopyTs) {
    const int64_t dts = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
    const int64_t delta = dts - ist.NextPts;
    if (std::llabs(delta) > static_cast<int64_t>(job_.DtsDeltaThreshold * 1000000) ||
        dts + 1 < ist.Pts) {
      job_.InputTsOffsets[fileIndex] -= delta;
      if (job_.Verbose > 2)
        JobLog(job_, llVerbose,
               FormatText("timestamp discontinuity %lld, new offset= %lld",
                          static_cast<long long>(delta),
                          static_cast<long long>(job_.InputTsOffsets[fileIndex])));
      const int64_t shift = av_rescale_q(delta, AV_TIME_BASE_Q, timeBase);
      packet->dts -= shift;
      if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
    }
  }

  if (job_.RecordingTime != kNoLimit) {
    const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (stamp != AV_NOPTS_VALUE &&
        av_compare_ts(stamp, timeBase, job_.RecordingTime + job_.StartTime, AV_TIME_BASE_Q) >= 0) {
      ist.PastRecordingTime = true;
      return;
    }
  }

  if (!ProcessPacket(ist, packet)) {
    const std::string text =
        FormatText("Error while decoding stream #%d.%d (%s)", ist.FileIndex, ist.Index,
                   MediaTypeName(ist.Stream->codecpar->codec_type).c_str());
    if (job_.ExitOnError) throw FFmpegException(text);
    if (job_.Verbose >= 0) JobLog(job_, llVerbose, text);
  }
}

bool TranscodeRun::ProcessPacket(TInputStream& ist, const AVPacket* packet) {
  if (ist.NextPts == kNoTimestamp) ist.NextPts = ist.Pts;
  const AVRational timeBase = ist.Stream->time_base;
  if (packet && packet->dts != AV_NOPTS_VALUE)
    ist.NextPts = ist.Pts = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
  const AVCodecParameters* params = ist.Stream->codecpar;

  if (!ist.DecodingNeeded) {
    if (!packet) return true;
    ist.Pts = ist.NextPts;
    if (params->codec_type == AVMEDIA_TYPE_AUDIO && params->sample_rate > 0 && params->frame_size > 0) {
      ist.NextPts += 1000000LL * params->frame_size / params->sample_rate;
    } else if (packet->duration > 0) {
      ist.NextPts += av_rescale_q(packet->duration, timeBase, AV_TIME_BASE_Q);
    } else if (params->codec_type == AVMEDIA_TYPE_VIDEO) {
      const AVRational rate = ist.Stream->avg_frame_rate.num ? ist.Stream->avg_frame_rate
                                                             : ist.Stream->r_frame_rate;
      if (rate.num > 0 && rate.den > 0) ist.NextPts += 1000000LL * rate.den / rate.num;
    }
    if (job_.StartTime == 0 || ist.Pts >= job_.StartTime)
      for (TOutputStream& ost : run_.Outputs)
        if (ost.SourceIndex == IndexOf(ist) && ost.StreamCopy && ost.Active)
          CopyPacket(ost, ist, packet);
    return true;
  }

  try {
    switch (params->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
      case AVMEDIA_TYPE_AUDIO:
        Decode(ist, packet);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        DecodeSubtitle(ist, packet);
        break;
      default:
        break;
    }
  } catch (const DecodeFailed&) {
    return false;
  }
  // Outputs that copy a stream another output decodes get its packets as they are.
  if (packet && (job_.StartTime == 0 || ist.Pts >= job_.StartTime))
    for (TOutputStream& ost : run_.Outputs)
      if (ost.SourceIndex == IndexOf(ist) && ost.StreamCopy && ost.Active) CopyPacket(ost, ist, packet);
  return true;
}

void TranscodeRun::Decode(TInputStream& ist, const AVPacket* packet) {
  AVCodecContext* decoder = ist.Decoder.get();
  if (!packet && ist.DecoderDrained) return;
  int code = avcodec_send_packet(decoder, packet);
  if (!packet) ist.DecoderDrained = true;
  if (code < 0 && code != AVERROR_EOF && code != AVERROR(EAGAIN)) throw DecodeFailed{};
  const bool video = decoder->codec_type == AVMEDIA_TYPE_VIDEO;
  AVFrame* frame = run_.Decoded.get();
  int frames = 0;
  for (;;) {
    code = avcodec_receive_frame(decoder, frame);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) break;
    if (code < 0) throw DecodeFailed{};
    if (++frames > 1 && packet && video &&
        (job_.Verbose > 1 || (job_.Verbose > 0 && !ist.ShowedMultiPacketWarning))) {
      JobLog(job_, llError, FormatText("Multiple frames in a packet from stream %d", packet->stream_index));
      ist.ShowedMultiPacketWarning = true;
    }
    ist.Pts = ist.NextPts;
    if (video) {
      const int64_t best = ist.Corrector.Correct(frame->pts, frame->pkt_dts);
      if (best != kNoTimestamp)
        ist.Pts = ist.NextPts = av_rescale_q(best, ist.Stream->time_base, AV_TIME_BASE_Q);
      const AVRational rate = decoder->framerate.num > 0        ? decoder->framerate
                              : ist.Stream->avg_frame_rate.num ? ist.Stream->avg_frame_rate
                                                               : ist.Stream->r_frame_rate;
      if (rate.num > 0 && rate.den > 0)
        ist.NextPts += 1000000LL * rate.den * (2 + frame->repeat_pict) / (2LL * rate.num);
    } else if (frame->sample_rate > 0) {
      ist.NextPts += 1000000LL * frame->nb_samples / frame->sample_rate;
    }
    FeedOutputs(ist, frame);
    av_frame_unref(frame);
  }
}

void TranscodeRun::DecodeSubtitle(TInputStream& ist, const AVPacket* packet) {
  if (!packet) return;
  AVSubtitle subtitle{};
  int got = 0;
  AVPacket* copy = av_packet_clone(packet);
  if (!copy) throw FFmpegException("Out of memory");
  const int code = avcodec_decode_subtitle2(ist.Decoder.get(), &subtitle, &got, copy);
  av_packet_free(&copy);
  if (code < 0) throw DecodeFailed{};
  if (!got) return;
  struct SubtitleFree {
    AVSubtitle& s;
    ~SubtitleFree() { avsubtitle_free(&s); }
  } freeSubtitle{subtitle};
  ist.Pts = ist.NextPts;
  if (job_.StartTime != 0 && ist.Pts < job_.StartTime) return;
  const int64_t pts = packet->pts == AV_NOPTS_VALUE ? kNoTimestamp : packet->pts;
  for (TOutputStream& ost : run_.Outputs)
    if (ost.SourceIndex == IndexOf(ist) && ost.Active) {
      if (ost.EncodingNeeded) {
        AVSubtitle working = subtitle;  // the writes adjust the display times
        SubtitleOut(job_, ost, ist, &working, pts);
      }
    }
}

void TranscodeRun::FeedOutputs(TInputStream& ist, AVFrame* frame) {
  const AVMediaType type = ist.Stream->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_VIDEO) frame = PreprocessVideoFrame(job_, ist, frame);
  if (type == AVMEDIA_TYPE_AUDIO) ApplyAudioHookAndVolume(job_, ist, frame);
  if (job_.RateEmulation) {
    const int64_t elapsed = av_gettime_relative() - ist.Start;
    if (ist.Pts - elapsed > 1000)
      std::this_thread::sleep_for(std::chrono::milliseconds((ist.Pts - elapsed) / 1000));
  }
  if (job_.StartTime != 0 && ist.Pts < job_.StartTime) return;
  if (type == AVMEDIA_TYPE_VIDEO && ist.FilterGraph) {
    frame->pts = ist.Pts;
    if (av_buffersrc_add_frame_flags(ist.FilterSource, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
      throw FFmpegException("Error while filtering");
    AVFrame* filtered = run_.Filtered.get();
    while (av_buffersink_get_frame(ist.FilterSink, filtered) >= 0) {
      if (filtered->pts != AV_NOPTS_VALUE)
        ist.Pts = av_rescale_q(filtered->pts, av_buffersink_get_time_base(ist.FilterSink),
                               AV_TIME_BASE_Q);
      for (TOutputStream& ost : run_.Outputs)
        if (ost.SourceIndex == IndexOf(ist) && ost.EncodingNeeded && filtered->sample_aspect_ratio.num)
          ost.Encoder->sample_aspect_ratio = filtered->sample_aspect_ratio;
      FeedEncoders(ist, filtered);
      av_frame_unref(filtered);
    }
    return;
  }
  FeedEncoders(ist, frame);
}

void TranscodeRun::FeedEncoders(TInputStream& ist, AVFrame* frame) {
  for (TOutputStream& ost : run_.Outputs) {
    if (ost.SourceIndex != IndexOf(ist) || !ost.EncodingNeeded || !ost.Active) continue;
    switch (ost.Encoder->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        AudioOut(job_, ost, ist, frame);
        break;
      case AVMEDIA_TYPE_VIDEO: {
        const int size = VideoOut(job_, ost, ist, frame);
        if (!job_.VstatsFileName.empty() && size > 0) WriteVideoStats(job_, ost, size);
        break;
      }
      default:
        throw FFmpegException("invalid codec_type");
    }
  }
}

void TranscodeRun::CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* packet) {
  if (ost.FrameNumber == 0 && !(packet->flags & AV_PKT_FLAG_KEY) && !job_.CopyInitialNonKeyframes)
    return;
  const AVMediaType type = ist.Stream->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_AUDIO) job_.AudioBytes += packet->size;
  if (type == AVMEDIA_TYPE_VIDEO) {
    job_.VideoBytes += packet->size;
    ++ost.SyncOpts;
  }
  PacketPtr out(av_packet_clone(packet));
  if (!out) throw FFmpegException("Out of memory");
  const AVRational in = ist.Stream->time_base;
  const AVRational target = ost.Stream->time_base;
  const int64_t startOffset = av_rescale_q(job_.StartTime, AV_TIME_BASE_Q, target);
  out->pts = packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                           : av_rescale_q(packet->pts, in, target) - startOffset;
  out->dts = (packet->dts == AV_NOPTS_VALUE ? av_rescale_q(ist.Pts, AV_TIME_BASE_Q, target)
                                            : av_rescale_q(packet->dts, in, target)) -
             startOffset;
  // Joined segments and rounding must never make the copied stream go back in time.
  if (ost.LastDts != kNoTimestamp && out->dts <= ost.LastDts) {
    const int64_t shift = ost.LastDts + 1 - out->dts;
    out->dts += shift;
    if (out->pts != AV_NOPTS_VALUE) out->pts = std::max(out->pts, out->dts);
  }
  ost.LastDts = out->dts;
  out->duration = av_rescale_q(packet->duration, in, target);
  WriteFrame(job_, ost, out.get());
  ++ost.FrameNumber;
}

bool TranscodeRun::EndSegment() {
  const int segment = run_.CurrentSegment;
  for (TInputStream& ist : run_.Inputs) {
    if (ist.FileIndex != segment || !ist.DecodingNeeded) continue;
    ProcessPacket(ist, nullptr);
    ist.FlushedInJoin = true;
  }
  const int size = run_.SegmentSize;
  const bool last = segment + 1 >= job_.InputFileCount();
  double end = 0.0;
  for (int j = 0; j < size; ++j) {
    TOutputStream& ended = run_.Outputs[segment * size + j];
    end = std::max(end, OutputPosition(ended));
    if (last) continue;
    // The shared encoders carry on: the next segment continues their counters, and the
    // samples still waiting for a whole encoder frame.
    TOutputStream& next = run_.Outputs[(segment + 1) * size + j];
    next.SyncOpts = ended.SyncOpts;
    next.FrameNumber = ended.FrameNumber;
    next.LastDts = ended.LastDts;
    next.WrittenEnd = ended.WrittenEnd;
    std::swap(next.Fifo, ended.Fifo);
    ended.Active = false;
  }
  if (last) return true;
  job_.InputTsOffsets[segment + 1] += std::llround(end * 1000000);
  run_.CurrentSegment = segment + 1;
  return false;
}

void TranscodeRun::DrainEncoders() {
  for (TOutputStream& ost : run_.Outputs) {
    if (!ost.EncodingNeeded || !ost.Encoder) continue;
    // In join mode the shared encoders are drained once, through the current segment.
    if (job_.JoinMode && ost.FileIndex != run_.CurrentSegment) continue;
    const AVMediaType type = ost.Encoder->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO)
      DrainAudio(job_, ost);
    else if (type == AVMEDIA_TYPE_VIDEO)
      DrainVideo(job_, ost);
  }
}

void TranscodeRun::Finish() {
  for (TInputStream& ist : run_.Inputs)
    if (ist.DecodingNeeded && !ist.FlushedInJoin) ProcessPacket(ist, nullptr);
  DrainEncoders();
  const int outputs = job_.JoinMode ? 1 : job_.OutputFileCount();
  for (int o = 0; o < outputs; ++o) {
    const int code = av_write_trailer(job_.OutputFiles[o]);
    if (code < 0) throw FFmpegException("av_write_trailer(): " + ErrorCodeText(code));
    // Readable to its end: the file takes its name when it is closed.
    if (TOutputTarget* target = job_.OutputTargetOf(job_.OutputFiles[o])) target->Complete = true;
  }
  ReportProgress(job_, -1, true);
}

}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
  PreviewFactorySlot() = std::move(factory);
}
TPreviewWindowFactory PreviewWindowFactory() { return PreviewFactorySlot(); }

void ReportProgress(TCustomFFmpeg& job, int fileIndex, bool last) {
  TTranscodeState& run = *job.Run;
  AVFormatContext* first = job.OutputFiles.empty() ? nullptr : job.OutputFiles[0];
  int64_t size = 0;
  if (first && first->pb) {
    size = avio_size(first->pb);
    if (size < 0) size = avio_tell(first->pb);
  }
  std::string line;
  double time = 1e10;
  bool videoSeen = false;
  int frameNumber = -1, fps = -1;
  float quality = -1.0f;
  static std::mutex histogramLock;
  static int histogram[52] = {0};
  for (const TOutputStream& ost : run.Outputs) {
    const double q = ost.StreamCopy || ost.LastQuality < 0 ? -1.0 : ost.LastQuality / 118.0;
    const bool video = OutputType(ost) == AVMEDIA_TYPE_VIDEO;
    if (videoSeen && video) line += FormatText("q=%2.1f ", q);
    if (!videoSeen && video && ost.Active) {
      if (ost.FrameNumber < 1) return;
      frameNumber = ost.FrameNumber;
      const double seconds = (av_gettime_relative() - job.TimerStart) / 1000000.0;
      fps = seconds > 1 ? static_cast<int>(frameNumber / seconds + 0.5) : 0;
      quality = static_cast<float>(q);
      line += FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
      if (last) line += "L";
      if (job.QpHistogram) {
        std::lock_guard<std::mutex> lock(histogramLock);
        const int bucket = static_cast<int>(std::lround(q));
        if (bucket >= 0 && bucket < 52) ++histogram[bucket];
        for (int i = 0; i < 32; ++i)
          line += FormatText("%X", static_cast<int>(std::lround(std::log2(histogram[i] + 1))));
      }
      if (ost.HasPsnr && ost.Encoder && ost.Encoder->width > 0) {
        const double pixels = static_cast<double>(ost.Encoder->width) * ost.Encoder->height;
        double errorSum = 0, scaleSum = 0;
        line += "PSNR=";
        for (int p = 0; p < 3; ++p) {
          double error = last ? static_cast<double>(ost.TotalError[p]) : ost.LastError[p];
          double scale = pixels * 255.0 * 255.0 * (last ? frameNumber : 1);
          if (p) scale /= 4;
          errorSum += error;
          scaleSum += scale;
          line += FormatText("%c:%2.2f ", "YUV"[p], -10.0 * std::log10(error / scale + 1e-30));
        }
        line += FormatText("*:%2.2f ", -10.0 * std::log10(errorSum / scaleSum + 1e-30));
      }
      videoSeen = true;
    }
    if (!ost.Active) continue;
    const double position = OutputPosition(ost);
    if (position < time && position > 0) time = position;
  }
  if (time < 0.01) time = 0.01;
  if (time >= 1e10) time = 0.01;
  if (job.ProgressLink || job.Verbose > 0 || last) {
    const double bitRate = static_cast<double>(size) * 8 / time / 1000.0;
    line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", size / 1024.0, time, bitRate);
    if (job.FramesDuplicated || job.FramesDropped) {
      line += FormatText(" dup=%d drop=%d", job.FramesDuplicated, job.FramesDropped);
      if (job.DupDropChanged && job.Verbose >= 0 && job.ProgressLink) {
        job.DupDropChanged = false;
        JobLog(job, llVerbose, line);
      }
    }
    if (job.ProgressLink)
      job.ProgressLink(job, fileIndex, frameNumber, fps, quality, static_cast<float>(bitRate), size,
                       static_cast<int64_t>(time * 1000000), job.TotalDuration);
    else if (job.Verbose >= 0)
      JobLog(job, llVerbose, line);
  }
  if (last && job.Verbose >= 0) {
    const double raw = static_cast<double>(job.VideoBytes + job.AudioBytes + job.ExtraBytes);
    JobLog(job, llVerbose,
           FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                      job.VideoBytes / 1024.0, job.AudioBytes / 1024.0, job.ExtraBytes / 1024.0,
                      raw > 0 ? 100.0 * (size - raw) / raw : 0.0));
  }
}

void TCustomFFmpeg::Transcode() {
  Finished = false;
  Run = std::make_unique<TTranscodeState>();
  Run->Decoded.reset(av_frame_alloc());
  Run->Filtered.reset(av_frame_alloc());
  Run->AudioFrame.reset(av_frame_alloc());
  Run->Packet.reset(av_packet_alloc());
  Run->Encoded.reset(av_packet_alloc());
  if (!Run->Decoded || !Run->Filtered || !Run->AudioFrame || !Run->Packet || !Run->Encoded) {
    ReleaseRunState();
    throw FFmpegException("av_mallocz fail");
  }
  try {
    BuildInputStreams(*this);
    BuildOutputStreams(*this);
    OpenEncoders(*this);
    OpenDecoders(*this);
    InitialiseInputTimes(*this);
    CopyMetadataAndChapters(*this);
    WriteHeaders(*this);
    LogStreamMapping(*this);
    TranscodeRun run(*this);
    {
      // A blocking read gives up when the job is asked to stop; the drain and the trailers
      // after the loop must not.
      std::unique_ptr<ScopedInterruptCheck> stopCheck;
      if (!core::MainThread::IsMainThread())
        stopCheck = std::make_unique<ScopedInterruptCheck>(this, &StopAsked);
      run.Loop();
    }
    run.Finish();
    SettleCompleteOutputs();
  } catch (...) {
    ReleaseRunState();
    throw;
  }
  ReleaseRunState();
  Finished = !StopRequested;
}

void TCustomFFmpeg::JoinSetup() {
  if (!JoinMode) return;
  int64_t sum = 0;
  // Saturating: corrupt durations must not wrap the total into a negative one.
  for (const auto& input : InputFiles)
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
      sum = input->duration > std::numeric_limits<int64_t>::max() - sum
                ? std::numeric_limits<int64_t>::max()
                : sum + input->duration;
  TotalDuration = sum == 0 ? -1 : sum;
  // One output entry per input: entry k is the segment fed by input k.
  while (OutputFileCount() < InputFileCount()) OutputFiles.push_back(OutputFiles[0]);
}

void TCustomFFmpeg::ReleaseRunState() {
  if (!Run) return;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    for (auto& slot : OutputStreamSlots) {
      // The pass-2 statistics text is the caller's to free, not the codec's.
      if (slot.Settings) av_freep(&slot.Settings->stats_in);
      slot.Settings.reset();
    }
    for (auto& ist : Run->Inputs) ist.Decoder.reset();
  }
  Run.reset();
}

}  // namespace engine
