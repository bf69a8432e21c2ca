// From decoded pictures to video packets: frame-rate conformance by duplicating and
// dropping, scaling, deinterlacing, the caller's hooks and the preview; subtitles; and the
// one place every packet is written through the bitstream filters into the muxer.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/PreviewLock.h"
#include "engine/TranscodeSteps.h"
#include "enginebase/ErrorText.h"
#include "enginebase/FFmpegException.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

namespace engine {
namespace {

[[noreturn]] void Fail(const std::string& text) { throw FFmpegException(text); }

// A picture buffer of the given shape, reallocated only when the shape changes.
bool FitFrame(FramePtr& frame, int width, int height, int format) {
  if (!frame) frame.reset(av_frame_alloc());
  if (!frame) return false;
  if (frame->width == width && frame->height == height && frame->format == format &&
      frame->data[0] && av_frame_is_writable(frame.get()))
    return true;
  av_frame_unref(frame.get());
  frame->width = width;
  frame->height = height;
  frame->format = format;
  return av_frame_get_buffer(frame.get(), 0) >= 0;
}

// The line filter (-1 4 2 4 -1) / 8 over every plane, for the planar 8-bit formats.
bool DeinterlaceInto(AVFrame* out, const AVFrame* in) {
  switch (in->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUV411P:
    case AV_PIX_FMT_GRAY8:
      break;
    default:
      return false;
  }
  if ((in->width & 3) || (in->height & 3)) return false;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(in->format));
  const int planes = in->format == AV_PIX_FMT_GRAY8 ? 1 : 3;
  for (int p = 0; p < planes; ++p) {
    const int width = p ? AV_CEIL_RSHIFT(in->width, desc->log2_chroma_w) : in->width;
    const int height = p ? AV_CEIL_RSHIFT(in->height, desc->log2_chroma_h) : in->height;
    for (int y = 0; y < height; ++y) {
      const uint8_t* rows[5];
      for (int k = -2; k <= 2; ++k)
        rows[k + 2] = in->data[p] + static_cast<ptrdiff_t>(std::clamp(y + k, 0, height - 1)) *
                                        in->linesize[p];
      uint8_t* target = out->data[p] + static_cast<ptrdiff_t>(y) * out->linesize[p];
      for (int x = 0; x < width; ++x) {
        const int v = -rows[0][x] + 4 * rows[1][x] + 2 * rows[2][x] + 4 * rows[3][x] - rows[4][x];
        target[x] = static_cast<uint8_t>(std::clamp((v + 4) >> 3, 0, 255));
      }
    }
  }
  return true;
}

using HookLink = std::function<void(TCustomFFmpeg&, TBitmap&, int, int64_t, bool&, bool&)>;

// Shows the frame to a hook through the converter; the hook may draw on it. Returns
// whether the converter's bitmap now holds this frame as the hook left it.
bool CallVideoHook(TCustomFFmpeg& job, TFormatConverter& converter, HookLink& link, AVFrame* frame,
                   int frameNumber, int64_t pts) {
  const bool converted =
      converter.ToRGB(frame->data, frame->linesize, frame->format, true, frame->height, frame->width);
  bool stopHook = !converted;
  bool update = false;
  if (!converted) {
    JobLog(job, llError, converter.LastError());
  } else {
    update = true;
    try {
      link(job, converter.Bitmap(), frameNumber, pts, update, stopHook);
    } catch (const std::exception& e) {
      JobLog(job, llError, std::string("Error occurs VideoHook event: ") + e.what());
      update = false;
    }
    if (update) {
      if (!converter.CopyFromBitmap() ||
          !converter.FromRGB(frame->data, frame->linesize, frame->format, frame->height,
                             frame->width)) {
        JobLog(job, llError, converter.LastError());
        stopHook = true;
      }
    }
  }
  if (stopHook) link = nullptr;
  return converted && update;
}

void Preview(TCustomFFmpeg& job, AVFrame* frame, int frameNumber, int64_t pts,
             bool bitmapReady) {
  std::lock_guard<std::mutex> lock(PreviewLock());
  uint8_t flags = job.PreviewFlags;
  const int64_t now = av_gettime_relative();
  TTranscodeState& run = *job.Run;
  auto convert = [&] {
    if (bitmapReady && !job.FreshPreviewWanted) return true;
    return job.PreviewConverter.ToRGB(frame->data, frame->linesize, frame->format, true,
                                      frame->height, frame->width);
  };
  if ((flags & 2) && job.PreviewBitmapLink) {
    if (now - run.LastPreview > job.PreviewIntervalUs) {
      if (convert()) {
        job.PreviewBitmapLink(job, job.PreviewConverter.Bitmap(), frameNumber, pts);
      } else {
        JobLog(job, llError, job.PreviewConverter.LastError());
        flags &= ~2;
      }
      run.LastPreview = now;
    }
  } else if (flags & 1) {
    if (now - run.LastPreview > job.PreviewIntervalUs) {
      bool shown = false;
      if (convert()) {
        if (!job.PreviewWindow)
          if (auto factory = PreviewWindowFactory()) job.PreviewWindow = factory();
        shown = job.PreviewWindow &&
                job.PreviewWindow->Show(job.PreviewConverter.Bitmap(), frameNumber, pts);
      } else {
        JobLog(job, llError, job.PreviewConverter.LastError());
      }
      if (!shown) {
        flags &= ~1;
        job.PreviewWindow.reset();
      }
      run.LastPreview = now;
    }
  }
  job.PreviewFlags = flags;
  job.FreshPreviewWanted = false;
}

// Quality, picture type and plane errors the encoder attached to a packet.
void ReadQuality(TOutputStream& ost, const AVPacket* packet) {
  size_t size = 0;
  const uint8_t* stats = av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!stats || size < 5) return;
  ost.LastQuality = static_cast<int>(AV_RL32(stats));
  ost.LastPictureType = stats[4];
  const int errors = size >= 6 ? std::min<int>(stats[5], 4) : 0;
  for (int i = 0; i < errors && 8 + 8 * static_cast<size_t>(i) + 8 <= size; ++i) {
    ost.LastError[i] = AV_RL64(stats + 8 + 8 * i);
    ost.TotalError[i] += ost.LastError[i];
    ost.HasPsnr = true;
  }
}

// Sends one picture (or the end) and writes what comes out; the bytes of the last packet.
int EncodeVideo(TCustomFFmpeg& job, TOutputStream& ost, AVFrame* frame, const char* failure) {
  AVCodecContext* enc = ost.Encoder;
  int code = avcodec_send_frame(enc, frame);
  if (code < 0 && code != AVERROR_EOF) Fail(failure);
  AVPacket* packet = job.Run->Encoded.get();
  int frameSize = 0;
  for (;;) {
    code = avcodec_receive_packet(enc, packet);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) break;
    if (code < 0) Fail(failure);
    ReadQuality(ost, packet);
    frameSize = packet->size;
    job.VideoBytes += packet->size;
    av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
    if (ost.PassLogFile && enc->stats_out) std::fputs(enc->stats_out, ost.PassLogFile.get());
    WriteFrame(job, ost, packet);
  }
  return frameSize;
}

}  // namespace

double OutputPosition(const TOutputStream& ost) {
  // Audio waiting in the buffer for a whole encoder frame counts as handed over.
  if (ost.Encoder)
    return (ost.SyncOpts + (ost.Fifo ? av_audio_fifo_size(ost.Fifo.get()) : 0)) *
           av_q2d(ost.Encoder->time_base);
  return ost.WrittenEnd;
}

AVFrame* PreprocessVideoFrame(TCustomFFmpeg& job, TInputStream& ist, AVFrame* picture) {
  ++ist.DecodedFrames;
  const bool hooks = job.VideoInputHookLink || job.FrameHookList.Count() > 0;
  if (!job.Deinterlace && !hooks) return picture;
  TTranscodeState& run = *job.Run;
  if (!FitFrame(run.HookFrame, picture->width, picture->height, picture->format)) {
    JobLog(job, llError, "hook buf malloc error.");
    return picture;
  }
  AVFrame* work = run.HookFrame.get();
  bool deinterlaced = false;
  if (job.Deinterlace) {
    deinterlaced = DeinterlaceInto(work, picture);
    if (!deinterlaced) JobLog(job, llError, "Deinterlacing failed.");
  }
  if (!deinterlaced) {
    if (!hooks) return picture;
    av_frame_copy(work, picture);
  }
  av_frame_copy_props(work, picture);
  if (job.VideoInputHookLink)
    CallVideoHook(job, job.InputConverter, job.VideoInputHookLink, work, ist.DecodedFrames, ist.Pts);
  else if (job.FrameHookList.Count() > 0)
    job.FrameHookList.Process(work->data, work->linesize, work->format, work->width, work->height,
                              ist.Pts);
  return work;
}

int VideoOut(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist, AVFrame* picture) {
  TTranscodeState& run = *job.Run;
  AVCodecContext* enc = ost.Encoder;
  const double sync =
      static_cast<double>(ist.Pts - job.StartTime) / 1000000.0 / av_q2d(enc->time_base);
  int frames = 1;
  if (job.VideoSyncMethod == 0) {
    ost.SyncOpts = std::llround(sync);
  } else {
    const double vdelta = sync - ost.SyncOpts;
    const bool variableRate =
        job.VideoSyncMethod == 2 ||
        (job.VideoSyncMethod == -1 &&
         (job.OutputFiles[ost.FileIndex]->oformat->flags & AVFMT_VARIABLE_FPS));
    if (vdelta < -1.1) {
      frames = 0;
    } else if (variableRate) {
      if (vdelta <= -0.6)
        frames = 0;
      else if (vdelta > 0.6)
        ost.SyncOpts = std::llround(sync);
    } else if (vdelta > 1.1) {
      frames = static_cast<int>(std::llround(vdelta));
    }
  }
  if (frames == 0) {
    ++job.FramesDropped;
    job.DupDropChanged = true;
    if (job.Verbose > 2) JobLog(job, llVerbose, "*** drop!");
  } else if (frames > 1) {
    job.FramesDuplicated += frames - 1;
    job.DupDropChanged = true;
    if (job.Verbose > 2) JobLog(job, llVerbose, FormatText("*** %d dup!", frames - 1));
  }
  frames = std::min<int64_t>(frames, static_cast<int64_t>(job.MaxFrames[0]) - ost.FrameNumber);
  if (frames <= 0) return 0;

  if (!ist.FilterGraph &&
      (picture->width != ost.ResampleWidth || picture->height != ost.ResampleHeight ||
       picture->format != ost.ResamplePixelFormat || ost.ScalerChanged)) {
    if (!ost.ScalerChanged)
      JobLog(job, llQuiet,
             FormatText("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.FileIndex,
                        ist.Index, picture->width, picture->height,
                        av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format))));
    ost.ScalerChanged = false;
    ost.ResampleWidth = picture->width;
    ost.ResampleHeight = picture->height;
    ost.ResamplePixelFormat = picture->format;
    ost.VideoResample = picture->width != enc->width || picture->height != enc->height ||
                        picture->format != enc->pix_fmt;
    ost.Scaler.reset();
    if (ost.VideoResample) {
      ost.Scaler.reset(sws_getContext(picture->width, picture->height,
                                      static_cast<AVPixelFormat>(picture->format), enc->width,
                                      enc->height, enc->pix_fmt, job.ScalerFlags, nullptr, nullptr,
                                      nullptr));
      if (!ost.Scaler) Fail("Cannot get resampling context");
    }
  }
  AVFrame* source = picture;
  if (ost.VideoResample && ost.Scaler) {
    if (!FitFrame(ost.Scaled, enc->width, enc->height, enc->pix_fmt) ||
        av_frame_make_writable(ost.Scaled.get()) < 0)
      Fail("不能分配临时图片，检查 pix fmt");
    sws_scale(ost.Scaler.get(), picture->data, picture->linesize, 0, picture->height,
              ost.Scaled->data, ost.Scaled->linesize);
    av_frame_copy_props(ost.Scaled.get(), picture);
    source = ost.Scaled.get();
  }

  int frameSize = 0;
  for (int i = 0; i < frames && !job.StopRequested; ++i) {
    const int frameNumber = ost.FrameNumber + 1;
    const int64_t hookTime = av_rescale_q(ost.SyncOpts, enc->time_base, AV_TIME_BASE_Q);
    AVFrame* frame = source;
    bool bitmapReady = false;
    if (job.VideoOutputHookLink) {
      if (FitFrame(run.OutputHookFrame, source->width, source->height, source->format) &&
          av_frame_make_writable(run.OutputHookFrame.get()) >= 0) {
        av_frame_copy(run.OutputHookFrame.get(), source);
        av_frame_copy_props(run.OutputHookFrame.get(), source);
        frame = run.OutputHookFrame.get();
        bitmapReady = CallVideoHook(job, job.PreviewConverter, job.VideoOutputHookLink, frame,
                                    frameNumber, hookTime);
      } else {
        JobLog(job, llError, "hook buf malloc error.");
      }
    }
    if (job.PreviewFlags != 0) Preview(job, frame, frameNumber, hookTime, bitmapReady);

    if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
      frame->top_field_first =
          job.TopFieldFirst == -1 ? picture->top_field_first : job.TopFieldFirst;
    frame->interlaced_frame = picture->interlaced_frame;
    frame->quality = job.SameQuality ? picture->quality : enc->global_quality;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->pts = ost.SyncOpts;
    if (ost.ForcedKeyFrameIndex < ost.ForcedKeyFrames.size() &&
        frame->pts >= ost.ForcedKeyFrames[ost.ForcedKeyFrameIndex]) {
      frame->pict_type = AV_PICTURE_TYPE_I;
      ++ost.ForcedKeyFrameIndex;
    }
    frameSize = EncodeVideo(job, ost, frame, "Video encoding failed");
    ++ost.SyncOpts;
    ++ost.FrameNumber;
  }
  return frameSize;
}

void DrainVideo(TCustomFFmpeg& job, TOutputStream& ost) {
  EncodeVideo(job, ost, nullptr, "视频编码失败");
}

void SubtitleOut(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist, AVSubtitle* subtitle,
                 int64_t pts) {
  if (pts == kNoTimestamp) {
    if (job.ExitOnError) Fail("Subtitle packets must have a pts");
    JobLog(job, llError, "Subtitle packets must have a pts");
    return;
  }
  AVCodecContext* enc = ost.Encoder;
  static constexpr int kBufferSize = 1 << 20;
  std::vector<uint8_t> buffer(kBufferSize);
  const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const int writes = dvb ? 2 : 1;
  const int64_t base = av_rescale_q(pts, ist.Stream->time_base, AV_TIME_BASE_Q);
  for (int i = 0; i < writes; ++i) {
    subtitle->pts = base + static_cast<int64_t>(subtitle->start_display_time) * 1000;
    subtitle->end_display_time -= subtitle->start_display_time;
    subtitle->start_display_time = 0;
    if (dvb && i == 1) subtitle->num_rects = 0;  // the second write clears the picture
    const int size = avcodec_encode_subtitle(enc, buffer.data(), kBufferSize, subtitle);
    if (size < 0) Fail("Subtitle encoding failed");
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), size) < 0) Fail("Out of memory");
    std::memcpy(packet->data, buffer.data(), static_cast<size_t>(size));
    packet->pts = av_rescale_q(subtitle->pts, AV_TIME_BASE_Q, ost.Stream->time_base);
    if (dvb)
      packet->pts += av_rescale_q(90LL * (i == 0 ? subtitle->start_display_time
                                                 : subtitle->end_display_time),
                                  AVRational{1, 90000}, ost.Stream->time_base);
    packet->dts = packet->pts;
    packet->duration =
        av_rescale_q(subtitle->end_display_time, AVRational{1, 1000}, ost.Stream->time_base);
    WriteFrame(job, ost, packet.get());
  }
}

void WriteFrame(TCustomFFmpeg& job, TOutputStream& ost, AVPacket* packet) {
  AVFormatContext* output = job.OutputFiles[job.JoinMode ? 0 : ost.FileIndex];
  TOutputStream& owner = ost.Shared ? job.Run->Outputs[ost.Index] : ost;
  // The bitstream filters are made at the first packet, when the stream's parameters
  // are final.
  if (owner.BitstreamFilters.empty() && !owner.BitstreamFilterNames.empty()) {
    for (const std::string& name : owner.BitstreamFilterNames) {
      const AVBitStreamFilter* filter = av_bsf_get_by_name(name.c_str());
      AVBSFContext* context = nullptr;
      if (!filter || av_bsf_alloc(filter, &context) < 0)
        Fail(FormatText("Unknown bitstream filter %s", name.c_str()));
      BsfPtr owned(context);
      const AVCodecParameters* in = owner.BitstreamFilters.empty()
                                        ? ost.Stream->codecpar
                                        : owner.BitstreamFilters.back()->par_out;
      avcodec_parameters_copy(context->par_in, in);
      context->time_base_in = ost.Stream->time_base;
      if (av_bsf_init(context) < 0)
        Fail(FormatText("%s failed for stream %d, codec %s", name.c_str(), ost.Index,
                        ost.Encoder ? ost.Encoder->codec->name : "copy"));
      owner.BitstreamFilters.push_back(std::move(owned));
    }
  }
  packet->stream_index = ost.Index;
  const AVRational timeBase = ost.Stream->time_base;
  auto write = [&](AVPacket* out) {
    // Each join segment keeps its own end: the next segment starts after it.
    if (out->pts != AV_NOPTS_VALUE)
      ost.WrittenEnd = std::max(ost.WrittenEnd, (out->pts + out->duration) * av_q2d(timeBase));
    else if (out->dts != AV_NOPTS_VALUE)
      ost.WrittenEnd = std::max(ost.WrittenEnd, (out->dts + out->duration) * av_q2d(timeBase));
    const int code = av_interleaved_write_frame(output, out);
    if (code < 0) Fail("av_interleaved_write_frame(): " + ErrorCodeText(code));
  };
  if (owner.BitstreamFilters.empty()) {
    write(packet);
    return;
  }
  // Each filter's output feeds the next; what the last gives out is written.
  std::vector<AVPacket*> pending{packet};
  for (size_t f = 0; f < owner.BitstreamFilters.size(); ++f) {
    AVBSFContext* filter = owner.BitstreamFilters[f].get();
    std::vector<AVPacket*> next;
    for (AVPacket* in : pending) {
      int code = av_bsf_send_packet(filter, in);
      if (code < 0) {
        const std::string text =
            FormatText("%s failed for stream %d, codec %s", owner.BitstreamFilterNames[f].c_str(),
                       ost.Index, ost.Encoder ? ost.Encoder->codec->name : "copy") +
            ": " + ErrorCodeText(code);
        if (job.ExitOnError) Fail(text);
        JobLog(job, llError, text);
        av_packet_unref(in);
        continue;
      }
      for (;;) {
        AVPacket* out = av_packet_alloc();
        if (!out) Fail("Out of memory");
        code = av_bsf_receive_packet(filter, out);
        if (code < 0) {
          av_packet_free(&out);
          break;
        }
        next.push_back(out);
      }
    }
    for (AVPacket* p : pending)
      if (p != packet) av_packet_free(&p);
    pending = std::move(next);
  }
  try {
    for (AVPacket* out : pending) {
      out->stream_index = ost.Index;
      write(out);
    }
  } catch (...) {
    for (AVPacket* out : pending) av_packet_free(&out);
    throw;
  }
  for (AVPacket* out : pending) av_packet_free(&out);
}

void WriteVideoStats(TCustomFFmpeg& job, TOutputStream& ost, int frameSize) {
  TTranscodeState& run = *job.Run;
  if (!run.VstatsFile) {
    run.VstatsFile.reset(std::fopen(job.VstatsFileName.c_str(), "w"));
    if (!run.VstatsFile) Fail("fopen fail: " + job.VstatsFileName);
  }
  AVCodecContext* enc = ost.Encoder;
  if (!enc || enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  std::FILE* file = run.VstatsFile.get();
  std::fprintf(file, "frame= %5d q= %2.1f ", ost.FrameNumber, ost.LastQuality / 118.0);
  if (ost.HasPsnr && enc->width > 0 && enc->height > 0)
    std::fprintf(file, "PSNR= %6.2f ",
                 -10.0 * std::log10(ost.LastError[0] /
                                    (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0) +
                                    1e-30));
  std::fprintf(file, "f_size= %6d ", frameSize);
  double time = ost.SyncOpts * av_q2d(enc->time_base);
  if (time < 0.01) time = 0.01;
  const double bitrate = frameSize * 8 / av_q2d(enc->time_base) / 1000.0;
  const double average = job.VideoBytes * 8.0 / time / 1000.0;
  std::fprintf(file, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               job.VideoBytes / 1024.0, time, bitrate, average);
  std::fprintf(file, "type= %c\n", av_get_picture_type_char(static_cast<AVPictureType>(ost.LastPictureType)));
}

}  // namespace engine
