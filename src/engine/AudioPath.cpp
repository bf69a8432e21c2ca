// From decoded samples to audio packets: the caller's hook and the volume, conversion to
// the encoder's rate, layout and sample format, drift correction against the stream's
// time, and buffering into frames of the encoder's size.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "engine/TranscodeSteps.h"
#include "enginebase/FFmpegException.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace engine {
namespace {

[[noreturn]] void Fail(const std::string& text) { throw FFmpegException(text); }

double SyncPosition(const TCustomFFmpeg& job, const TInputStream& ist) {
  return static_cast<double>(ist.Pts - job.StartTime) / 1000000.0;
}

int FrameSamples(const AVCodecContext* enc) { return enc->frame_size > 1 ? enc->frame_size : 0; }

bool TakesShortLastFrame(const AVCodecContext* enc) {
  return enc->codec && (enc->codec->capabilities &
                        (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
}

AVFrame* EncoderFrame(TCustomFFmpeg& job, const AVCodecContext* enc, int samples) {
  TTranscodeState& run = *job.Run;
  AVFrame* frame = run.AudioFrame.get();
  // The encoder may still hold the last frame's buffer: a frame of another size, or one it
  // keeps, gets a fresh buffer.
  if (frame->nb_samples != samples || frame->format != enc->sample_fmt ||
      frame->ch_layout.nb_channels != enc->ch_layout.nb_channels ||
      frame->sample_rate != enc->sample_rate) {
    av_frame_unref(frame);
    frame->nb_samples = samples;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    if (av_frame_get_buffer(frame, 0) < 0) Fail("Out of memory in do_audio_out");
  } else if (av_frame_make_writable(frame) < 0) {
    Fail("Out of memory in do_audio_out");
  }
  return frame;
}

// Sends one frame (or the end, with null) and writes every packet that comes out.
void EncodeAudio(TCustomFFmpeg& job, TOutputStream& ost, AVFrame* frame, const char* failure) {
  AVCodecContext* enc = ost.Encoder;
  int code = avcodec_send_frame(enc, frame);
  if (code < 0 && code != AVERROR_EOF) Fail(failure);
  AVPacket* packet = job.Run->Encoded.get();
  for (;;) {
    code = avcodec_receive_packet(enc, packet);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) break;
    if (code < 0) Fail(failure);
    job.AudioBytes += packet->size;
    packet->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
    WriteFrame(job, ost, packet);
  }
}

// Encodes one frame of `samples` from the FIFO (padded with silence up to `padTo`).
void EncodeFromFifo(TCustomFFmpeg& job, TOutputStream& ost, int samples, int padTo,
                    const char* failure) {
  AVCodecContext* enc = ost.Encoder;
  const int size = std::max(samples, padTo);
  AVFrame* frame = EncoderFrame(job, enc, size);
  if (av_audio_fifo_read(ost.Fifo.get(), reinterpret_cast<void**>(frame->data), samples) < samples)
    Fail(failure);
  if (size > samples)
    av_samples_set_silence(frame->data, samples, size - samples, enc->ch_layout.nb_channels,
                           enc->sample_fmt);
  // Frames never go back in time, whatever the input's time stamps did.
  ost.LastDts = std::max(ost.LastDts == kNoTimestamp ? ost.SyncOpts : ost.LastDts, ost.SyncOpts);
  frame->pts = ost.LastDts;
  ost.LastDts += size;
  EncodeAudio(job, ost, frame, failure);
  ost.SyncOpts += size;
}

void MakeConverter(TCustomFFmpeg& job, TOutputStream& ost, const AVFrame* in) {
  (void)job;
  const AVCodecContext* enc = ost.Encoder;
  SwrContext* swr = nullptr;
  const int code = swr_alloc_set_opts2(&swr, const_cast<AVChannelLayout*>(&enc->ch_layout), enc->sample_fmt, enc->sample_rate,
                                       const_cast<AVChannelLayout*>(&in->ch_layout), static_cast<AVSampleFormat>(in->format),
                                       in->sample_rate, 0, nullptr);
  SwrContextPtr owned(swr);
  if (code >= 0 && ost.Resample) {
    av_opt_set_int(swr, "filter_size", 16, 0);
    av_opt_set_int(swr, "phase_shift", 10, 0);
    av_opt_set_int(swr, "linear_interp", 0, 0);
    av_opt_set_double(swr, "cutoff", 0.8, 0);
  }
  if (code < 0 || swr_init(swr) < 0) {
    if (ost.Resample)
      Fail(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                      in->ch_layout.nb_channels, in->sample_rate, enc->ch_layout.nb_channels,
                      enc->sample_rate));
    Fail(FormatText("Cannot convert %s sample format to %s sample format",
                    av_get_sample_fmt_name(static_cast<AVSampleFormat>(in->format)),
                    av_get_sample_fmt_name(enc->sample_fmt)));
  }
  ost.Resampler = std::move(owned);
  ost.ConverterPair = enc->sample_fmt + 5 * in->format;
}

// The output stream's buffer for converted samples, grown (never shrunk) to `samples`.
uint8_t** ConversionBuffer(TOutputStream& ost, int samples) {
  const AVCodecContext* enc = ost.Encoder;
  if (!ost.Converted) ost.Converted.reset(av_frame_alloc());
  AVFrame* frame = ost.Converted.get();
  if (!frame) Fail("Out of memory in do_audio_out");
  if (frame->nb_samples < samples || frame->format != enc->sample_fmt ||
      frame->ch_layout.nb_channels != enc->ch_layout.nb_channels) {
    av_frame_unref(frame);
    frame->nb_samples = std::max(samples, 1);
    frame->format = enc->sample_fmt;
    av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    if (av_frame_get_buffer(frame, 0) < 0) Fail("Out of memory in do_audio_out");
  }
  return frame->extended_data;
}

}  // namespace

void ApplyAudioHookAndVolume(TCustomFFmpeg& job, TInputStream& ist, AVFrame* frame) {
  const AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
  const int channels = frame->ch_layout.nb_channels;
  const int bytes = av_get_bytes_per_sample(format);
  if (job.AudioHookLink) {
    const int size = frame->nb_samples * channels * bytes;
    if (!av_sample_fmt_is_planar(format) || channels == 1) {
      job.AudioHookLink(job, frame->data[0], ist.Pts, size, frame->sample_rate, channels, format);
    } else {
      // The hook sees interleaved samples; what it changes goes back into the planes.
      std::vector<uint8_t> packed(static_cast<size_t>(size));
      for (int s = 0; s < frame->nb_samples; ++s)
        for (int c = 0; c < channels; ++c)
          std::memcpy(&packed[(static_cast<size_t>(s) * channels + c) * bytes],
                      frame->extended_data[c] + static_cast<size_t>(s) * bytes, bytes);
      job.AudioHookLink(job, packed.data(), ist.Pts, size, frame->sample_rate, channels,
                        av_get_packed_sample_fmt(format));
      for (int s = 0; s < frame->nb_samples; ++s)
        for (int c = 0; c < channels; ++c)
          std::memcpy(frame->extended_data[c] + static_cast<size_t>(s) * bytes,
                      &packed[(static_cast<size_t>(s) * channels + c) * bytes], bytes);
    }
  }
  if (job.AudioVolume == 256) return;
  if (av_frame_make_writable(frame) < 0) Fail("Out of memory");
  const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
  const int count = frame->nb_samples * (planes == 1 ? channels : 1);
  const int volume = job.AudioVolume;
  for (int p = 0; p < planes; ++p) {
    uint8_t* data = frame->extended_data[p];
    switch (av_get_packed_sample_fmt(format)) {
      case AV_SAMPLE_FMT_S16: {
        auto* s = reinterpret_cast<int16_t*>(data);
        for (int i = 0; i < count; ++i)
          s[i] = static_cast<int16_t>(std::clamp((s[i] * volume + 128) >> 8, -32768, 32767));
        break;
      }
      case AV_SAMPLE_FMT_S32: {
        auto* s = reinterpret_cast<int32_t*>(data);
        for (int i = 0; i < count; ++i)
          s[i] = static_cast<int32_t>(std::clamp<int64_t>(
              (static_cast<int64_t>(s[i]) * volume + 128) >> 8, INT32_MIN, INT32_MAX));
        break;
      }
      case AV_SAMPLE_FMT_U8: {
        for (int i = 0; i < count; ++i)
          data[i] = static_cast<uint8_t>(
              std::clamp((((data[i] - 128) * volume + 128) >> 8) + 128, 0, 255));
        break;
      }
      case AV_SAMPLE_FMT_FLT: {
        auto* s = reinterpret_cast<float*>(data);
        for (int i = 0; i < count; ++i) s[i] = std::clamp(s[i] * volume / 256.0f, -1.0f, 1.0f);
        break;
      }
      case AV_SAMPLE_FMT_DBL: {
        auto* s = reinterpret_cast<double*>(data);
        for (int i = 0; i < count; ++i) s[i] = std::clamp(s[i] * volume / 256.0, -1.0, 1.0);
        break;
      }
      default:
        break;
    }
  }
}

void AudioOut(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist, AVFrame* in) {
  AVCodecContext* enc = ost.Encoder;
  const int inChannels = in->ch_layout.nb_channels;
  const int outChannels = enc->ch_layout.nb_channels;
  const int inRate = in->sample_rate;
  const int outRate = enc->sample_rate;
  if (inRate <= 0 || inChannels <= 0 || in->nb_samples <= 0) return;
  if (static_cast<int64_t>(in->nb_samples) * outRate / inRate * 2 + 10000 > INT_MAX / 64)
    Fail("Buffer sizes too large in do_audio_out");
  if (!ost.Fifo) {
    ost.Fifo.reset(av_audio_fifo_alloc(enc->sample_fmt, outChannels, std::max(1, enc->frame_size) * 2));
    if (!ost.Fifo) Fail("av_fifo_alloc fail");
  }

  if (inChannels != outChannels) ost.Resample = true;
  bool changed = false;
  if (in->format != ost.ResampleSampleFormat || inChannels != ost.ResampleChannels ||
      inRate != ost.ResampleSampleRate) {
    JobLog(job, llInfo,
           FormatText("Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d "
                      "fmt:%s ch:%d",
                      ist.FileIndex, ist.Index, ost.ResampleSampleRate,
                      av_get_sample_fmt_name(static_cast<AVSampleFormat>(ost.ResampleSampleFormat)),
                      ost.ResampleChannels, inRate,
                      av_get_sample_fmt_name(static_cast<AVSampleFormat>(in->format)), inChannels));
    ost.ResampleSampleFormat = in->format;
    ost.ResampleChannels = inChannels;
    ost.ResampleSampleRate = inRate;
    ost.Resampler.reset();
    ost.ConverterPair = -6;
    changed = true;
    ost.Resample = inRate != outRate || inChannels != outChannels || job.AudioSyncMethod > 1;
  }
  // Drift compensation works inside the resampler, so it always has one.
  if (ost.Resample && job.AudioSyncMethod <= 1 && enc->sample_fmt == in->format &&
      outChannels == inChannels && outRate == inRate && (changed || !ost.Resampler)) {
    ost.Resample = false;
    ost.Resampler.reset();
  }
  const bool convert = ost.Resample || enc->sample_fmt != in->format;
  if (convert && (!ost.Resampler || ost.ConverterPair != enc->sample_fmt + 5 * in->format))
    MakeConverter(job, ost, in);

  const uint8_t* const* data = in->extended_data;
  int samples = in->nb_samples;
  std::vector<const uint8_t*> shifted;
  const double syncPosition = SyncPosition(job, ist);
  const int fifoSamples = av_audio_fifo_size(ost.Fifo.get());
  if (job.AudioSyncMethod != 0) {
    const int64_t pending = ost.Resampler ? swr_get_delay(ost.Resampler.get(), outRate) : 0;
    const double delta = syncPosition * outRate - ost.SyncOpts - fifoSamples - pending;
    const double idelta = delta * inRate / outRate;
    if (std::fabs(delta) > 50) {
      if (ist.IsStart || std::fabs(delta) > job.AudioDriftThreshold * outRate) {
        if (idelta < 0) {
          const int drop = static_cast<int>(std::min<int64_t>(std::llround(-idelta), samples));
          if (job.Verbose > 2)
            JobLog(job, llVerbose,
                   FormatText("discarding %d audio samples", static_cast<int>(-delta)));
          ist.IsStart = false;
          if (drop >= samples) return;
          const int planes = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(in->format))
                                 ? inChannels
                                 : 1;
          const int step = av_get_bytes_per_sample(static_cast<AVSampleFormat>(in->format)) *
                           (planes == 1 ? inChannels : 1);
          shifted.resize(planes);
          for (int p = 0; p < planes; ++p) shifted[p] = data[p] + static_cast<size_t>(drop) * step;
          data = shifted.data();
          samples -= drop;
        } else {
          const int silence = static_cast<int>(std::llround(delta));
          if (job.Verbose > 2)
            JobLog(job, llVerbose,
                   FormatText("adding %d audio samples of silence", static_cast<int>(delta)));
          ist.IsStart = false;
          std::vector<uint8_t*> planes;
          uint8_t** buffers = nullptr;
          if (av_samples_alloc_array_and_samples(&buffers, nullptr, outChannels, silence,
                                                 enc->sample_fmt, 0) < 0)
            Fail("Out of memory in do_audio_out");
          av_samples_set_silence(buffers, 0, silence, outChannels, enc->sample_fmt);
          const int written = av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(buffers),
                                                  silence);
          av_freep(&buffers[0]);
          av_freep(&buffers);
          if (written < silence) Fail("av_fifo_realloc2() failed");
        }
      } else if (job.AudioSyncMethod > 1 && ost.Resampler) {
        const int compensation = static_cast<int>(
            std::clamp<double>(delta, -job.AudioSyncMethod, job.AudioSyncMethod));
        if (job.Verbose > 2)
          JobLog(job, llVerbose,
                 FormatText("compensating audio timestamp drift:%f compensation:%d in:%d", delta,
                            compensation, outRate));
        swr_set_compensation(ost.Resampler.get(), compensation, outRate);
      }
    }
  } else {
    ost.SyncOpts = std::llround(syncPosition * outRate) - fifoSamples;
  }

  if (ost.Resampler) {
    const int capacity = swr_get_out_samples(ost.Resampler.get(), samples);
    if (capacity < 0) Fail("Buffer sizes too large in do_audio_out");
    uint8_t** buffers = ConversionBuffer(ost, capacity);
    const int produced =
        swr_convert(ost.Resampler.get(), buffers, capacity, const_cast<const uint8_t**>(data), samples);
    int written = 0;
    if (produced > 0)
      written = av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(buffers), produced);
    if (produced < 0) {
      if (ost.Resample)
        Fail(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", inChannels,
                        inRate, outChannels, outRate));
      if (job.ExitOnError) Fail("av_audio_convert() failed");
      JobLog(job, llError, "av_audio_convert() failed");
      return;
    }
    if (written < produced) Fail("av_fifo_realloc2() failed");
  } else if (av_audio_fifo_write(ost.Fifo.get(),
                                 reinterpret_cast<void**>(const_cast<uint8_t**>(data)),
                                 samples) < samples) {
    Fail("av_fifo_realloc2() failed");
  }

  const int frame = FrameSamples(enc);
  if (frame > 0) {
    while (av_audio_fifo_size(ost.Fifo.get()) >= frame)
      EncodeFromFifo(job, ost, frame, frame, "Audio encoding failed");
  } else {
    const int held = av_audio_fifo_size(ost.Fifo.get());
    if (held > 0) EncodeFromFifo(job, ost, held, held, "Audio encoding failed");
  }
}

void DrainAudio(TCustomFFmpeg& job, TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder;
  if (ost.Resampler) {
    // What the resampler still holds belongs to the end of the stream.
    const int capacity = swr_get_out_samples(ost.Resampler.get(), 0);
    if (capacity > 0 && ost.Fifo) {
      uint8_t** buffers = ConversionBuffer(ost, capacity);
      const int produced = swr_convert(ost.Resampler.get(), buffers, capacity, nullptr, 0);
      if (produced > 0)
        av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(buffers), produced);
    }
  }
  const int frame = FrameSamples(enc);
  if (ost.Fifo) {
    int held = av_audio_fifo_size(ost.Fifo.get());
    while (frame > 0 && held >= frame) {
      EncodeFromFifo(job, ost, frame, frame, "音频编码失败");
      held = av_audio_fifo_size(ost.Fifo.get());
    }
    if (held > 0) {
      EncodeFromFifo(job, ost, held, TakesShortLastFrame(enc) ? held : std::max(frame, held),
                     "音频编码失败");
    }
  }
  EncodeAudio(job, ost, nullptr, "音频编码失败");
}

}  // namespace engine
