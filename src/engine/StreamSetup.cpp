// Before the first packet moves: the stream tables, which input stream feeds each output
// stream, the output codec parameters (copied, or prepared for encoding within what the
// installed encoders accept), the opened codecs, metadata and chapters, and the headers.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/TranscodeSteps.h"
#include "enginebase/ErrorText.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/LibraryBinding.h"
#include "enginebase/ReadWholeFile.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

namespace engine {

void JobLog(const TCustomFFmpeg& job, int level, const std::string& text) {
  DefaultLogger().Log(&job, static_cast<TLogLevel>(level), text);
}

namespace {

[[noreturn]] void Fail(const std::string& text) { throw FFmpegException(text); }

TOutputStreamSlot* SlotOf(TCustomFFmpeg& job, AVStream* stream) {
  for (auto& slot : job.OutputStreamSlots)
    if (slot.Stream == stream) return &slot;
  return nullptr;
}

std::string TypeName(AVMediaType type) { return MediaTypeName(type); }

void DumpOutput(TCustomFFmpeg& job, int file) {
  const TOutputTarget* target = job.OutputTargetOf(job.OutputFiles[file]);
  av_dump_format(job.OutputFiles[file], file,
                 target ? target->FinalName.c_str() : job.OutputFiles[file]->url, 1);
}

// ---- Encoder limits: what today's encoders refuse becomes the nearest they accept ----

// The full-range twin of a limited-range YUV format, for the JPEG encoders.
AVPixelFormat FullRange(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUV420P:
      return AV_PIX_FMT_YUVJ420P;
    case AV_PIX_FMT_YUV422P:
      return AV_PIX_FMT_YUVJ422P;
    case AV_PIX_FMT_YUV444P:
      return AV_PIX_FMT_YUVJ444P;
    default:
      return format;
  }
}

void FitVideoEncoder(TCustomFFmpeg& job, AVCodecContext* enc, const AVCodec* codec) {
  if (!codec || !codec->pix_fmts || enc->pix_fmt == AV_PIX_FMT_NONE) return;
  // Motion JPEG lists the limited-range formats but refuses them at standard strictness.
  if ((codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_LJPEG) &&
      enc->strict_std_compliance > FF_COMPLIANCE_UNOFFICIAL && FullRange(enc->pix_fmt) != enc->pix_fmt) {
    const AVPixelFormat full = FullRange(enc->pix_fmt);
    JobLog(job, llWarning,
           FormatText("Incompatible pixel format '%s' for codec '%s', auto-selecting format '%s'",
                      av_get_pix_fmt_name(enc->pix_fmt), codec->name, av_get_pix_fmt_name(full)));
    enc->pix_fmt = full;
  }
  for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
    if (*p == enc->pix_fmt) return;
  const AVPixelFormat chosen =
      avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, enc->pix_fmt, 0, nullptr);
  JobLog(job, llWarning,
         FormatText("Incompatible pixel format '%s' for codec '%s', auto-selecting format '%s'",
                    av_get_pix_fmt_name(enc->pix_fmt), codec->name, av_get_pix_fmt_name(chosen)));
  enc->pix_fmt = chosen;
}

void FitAudioEncoder(TCustomFFmpeg& job, AVCodecContext* enc, const AVCodec* codec) {
  if (!codec) return;
  if (codec->sample_fmts) {
    bool supported = false;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
      supported = supported || *f == enc->sample_fmt;
    if (!supported) {
      // Prefer the same sample type in the other layout (planar / packed), then the first.
      AVSampleFormat chosen = codec->sample_fmts[0];
      const AVSampleFormat alt = av_get_alt_sample_fmt(enc->sample_fmt, 1);
      const AVSampleFormat packed = av_get_packed_sample_fmt(enc->sample_fmt);
      for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == alt || *f == packed) chosen = *f;
      if (enc->sample_fmt != AV_SAMPLE_FMT_NONE)
        JobLog(job, llWarning,
               FormatText("Sample format %s not supported by %s, using %s",
                          av_get_sample_fmt_name(enc->sample_fmt), codec->name,
                          av_get_sample_fmt_name(chosen)));
      enc->sample_fmt = chosen;
    }
  }
  if (codec->supported_samplerates) {
    int best = codec->supported_samplerates[0];
    bool exact = false;
    for (const int* r = codec->supported_samplerates; *r; ++r) {
      if (*r == enc->sample_rate) exact = true;
      if (std::abs(*r - enc->sample_rate) < std::abs(best - enc->sample_rate)) best = *r;
    }
    if (!exact) {
      JobLog(job, llWarning,
             FormatText("Sample rate %d not supported by %s, using %d", enc->sample_rate,
                        codec->name, best));
      enc->sample_rate = best;
    }
  }
  if (codec->ch_layouts) {
    const int wanted = enc->ch_layout.nb_channels;
    int best = codec->ch_layouts[0].nb_channels;
    bool exact = false;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
      if (l->nb_channels == wanted) exact = true;
      if (std::abs(l->nb_channels - wanted) < std::abs(best - wanted)) best = l->nb_channels;
    }
    if (!exact) {
      JobLog(job, llWarning,
             FormatText("%d channels not supported by %s, using %d", wanted, codec->name, best));
      av_channel_layout_uninit(&enc->ch_layout);
      av_channel_layout_default(&enc->ch_layout, best);
    }
  } else if (enc->ch_layout.order != AV_CHANNEL_ORDER_NATIVE && enc->ch_layout.nb_channels > 0) {
    const int channels = enc->ch_layout.nb_channels;
    av_channel_layout_uninit(&enc->ch_layout);
    av_channel_layout_default(&enc->ch_layout, channels);
  }
  // MPEG audio layer II tops out at 384 kbit/s (160 kbit/s at the half rates).
  if (codec->id == AV_CODEC_ID_MP2) {
    const int64_t highest = enc->sample_rate >= 32000 ? 384000 : 160000;
    if (enc->bit_rate > highest) {
      JobLog(job, llWarning,
             FormatText("Bit rate %lld not supported by %s, using %lld",
                        static_cast<long long>(enc->bit_rate), codec->name,
                        static_cast<long long>(highest)));
      enc->bit_rate = highest;
    }
  }
  enc->time_base = AVRational{1, enc->sample_rate};
}

// A container whose default encoder is not installed takes the first installed encoder of
// that kind the container accepts.
const AVCodec* SubstituteEncoder(TCustomFFmpeg& job, const AVOutputFormat* format,
                                 AVMediaType type, AVCodecID missing) {
  void* iterator = nullptr;
  while (const AVCodec* codec = av_codec_iterate(&iterator)) {
    if (!av_codec_is_encoder(codec) || codec->type != type) continue;
    if (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) continue;
    if (avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) != 1) continue;
    JobLog(job, llWarning,
           FormatText("No encoder for %s is installed, using %s", avcodec_get_name(missing),
                      codec->name));
    return codec;
  }
  return nullptr;
}

void BuildFilterGraph(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist) {
  AVCodecContext* enc = ost.Encoder;
  const AVCodecParameters* source = ist.Stream->codecpar;
  FilterGraphPtr graph(avfilter_graph_alloc());
  if (!graph) Fail("Out of memory");
  auto check = [&](int code) {
    if (code < 0) {
      char text[256];
      av_strerror(code, text, sizeof text);
      job.LastError = text;
      throw FFmpegException(job.LastError);
    }
  };
  const AVRational sar = source->sample_aspect_ratio.num ? source->sample_aspect_ratio
                                                         : AVRational{1, 1};
  const std::string sourceArgs =
      FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", source->width,
                 source->height, source->format, AV_TIME_BASE, sar.num, sar.den);
  AVFilterContext* src = nullptr;
  AVFilterContext* sink = nullptr;
  check(avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "src",
                                     sourceArgs.c_str(), nullptr, graph.get()));
  check(avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph.get()));
  const AVPixelFormat formats[] = {enc->pix_fmt, AV_PIX_FMT_NONE};
  check(av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN));
  AVFilterContext* last = src;
  if (source->width != enc->width || source->height != enc->height) {
    AVFilterContext* scale = nullptr;
    check(avfilter_graph_create_filter(
        &scale, avfilter_get_by_name("scale"), "scale",
        FormatText("%d:%d:flags=0x%X", enc->width, enc->height, job.ScalerFlags).c_str(),
        nullptr, graph.get()));
    check(avfilter_link(last, 0, scale, 0));
    last = scale;
  }
  av_opt_set(graph.get(), "scale_sws_opts", FormatText("flags=0x%X", job.ScalerFlags).c_str(), 0);
  AVFilterInOut* outputs = avfilter_inout_alloc();
  AVFilterInOut* inputs = avfilter_inout_alloc();
  struct InOutFree {
    AVFilterInOut*& a;
    AVFilterInOut*& b;
    ~InOutFree() {
      avfilter_inout_free(&a);
      avfilter_inout_free(&b);
    }
  } freeInOut{outputs, inputs};
  if (!outputs || !inputs) Fail("Out of memory");
  outputs->name = av_strdup("in");
  outputs->filter_ctx = last;
  outputs->pad_idx = 0;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = sink;
  inputs->pad_idx = 0;
  check(avfilter_graph_parse_ptr(graph.get(), job.VideoFilters.c_str(), &inputs, &outputs,
                                 nullptr));
  check(avfilter_graph_config(graph.get(), nullptr));
  enc->width = av_buffersink_get_w(sink);
  enc->height = av_buffersink_get_h(sink);
  ist.FilterGraph = std::move(graph);
  ist.FilterSource = src;
  ist.FilterSink = sink;
}

void SetUpTwoPass(TCustomFFmpeg& job, TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder;
  if (!(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
  std::string name = (job.PassLogFilePrefix.empty() ? std::string("ffmpeg2pass")
                                                    : job.PassLogFilePrefix) +
                     "-" + std::to_string(ost.Global) + ".log";
  if (name.size() > 1023) name.resize(1023);
  ost.PassLogName = name;
  if (enc->flags & AV_CODEC_FLAG_PASS1) {
    ost.PassLogFile.reset(std::fopen(name.c_str(), "wb"));
    if (!ost.PassLogFile) Fail(FormatText("无法写入日志文件%s传递-1编码", name.c_str()));
  } else {
    LibraryBuffer buffer;
    size_t size = 0;
    const int code = ReadWholeFile(name, buffer, size);
    if (code == -12)
      Fail(FormatText("无法分配文件缓冲区：错误读取日志文件\"%s\" pass-2编码", name.c_str()));
    if (code < 0)
      Fail(FormatText("无法读取文件：错误读取日志文件\"%s\" pass-2编码", name.c_str()));
    // The codec context keeps the text until the run ends; the run frees it then.
    char* text = static_cast<char*>(av_malloc(size + 1));
    if (!text) Fail(FormatText("无法分配文件缓冲区：错误读取日志文件\"%s\" pass-2编码", name.c_str()));
    std::memcpy(text, buffer.get(), size);
    text[size] = 0;
    av_freep(&enc->stats_in);
    enc->stats_in = text;
  }
}

// "t1,t2,..." (times) into the encoder's time base, sorted.
std::vector<int64_t> ParseForcedKeyFrames(const std::string& text, AVRational timeBase) {
  std::vector<int64_t> times;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(begin, end - begin);
    int64_t us = 0;
    if (av_parse_time(&us, item.c_str(), 1) < 0)
      Fail(FormatText("Invalid time duration: %s", item.c_str()));
    times.push_back(av_rescale_q(us, AV_TIME_BASE_Q, timeBase));
    begin = end + 1;
  }
  std::sort(times.begin(), times.end());
  return times;
}

void CopyParameters(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist) {
  const AVCodecParameters* in = ist.Stream->codecpar;
  AVCodecParameters* out = ost.Stream->codecpar;
  if (in->extradata_size > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
    Fail("icodec.extradata_size is invalid (too large)");
  const uint32_t keptTag = out->codec_tag;
  if (avcodec_parameters_copy(out, in) < 0) Fail("av_mallocz fail");
  const AVOutputFormat* format = job.OutputFiles[ost.FileIndex]->oformat;
  out->codec_tag = 0;
  if (keptTag) {
    out->codec_tag = keptTag;
  } else if (!format->codec_tag || av_codec_get_id(format->codec_tag, in->codec_tag) == in->codec_id ||
             av_codec_get_tag(format->codec_tag, in->codec_id) <= 0) {
    out->codec_tag = in->codec_tag;
  }
  // Time base: the codec's frame duration when the stream's is finer than a millisecond.
  AVRational timeBase = ist.Stream->time_base;
  const AVRational frameRate = ist.Stream->avg_frame_rate.num ? ist.Stream->avg_frame_rate
                                                              : ist.Stream->r_frame_rate;
  if (!job.CopyTb && in->codec_type == AVMEDIA_TYPE_VIDEO && frameRate.num > 0 &&
      frameRate.den > 0 && av_q2d(av_inv_q(frameRate)) > av_q2d(timeBase) &&
      av_q2d(timeBase) < 1.0 / 1000)
    timeBase = av_inv_q(frameRate);
  ost.Stream->time_base = timeBase;
  switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (job.AudioVolume != 256)
        Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
      if (job.AudioHookLink)
        Fail("-acodec copy and AudioHook are incompatible (frames are not decoded)");
      if (out->block_align == 1 && out->codec_id == AV_CODEC_ID_MP3) out->block_align = 0;
      if (out->codec_id == AV_CODEC_ID_AC3) out->block_align = 0;
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (job.VideoInputHookLink || job.VideoOutputHookLink)
        Fail("-vcodec copy and VideoHook are incompatible (frames are not decoded)");
      if (job.UsingVhook || job.FrameHookList.Count() > 0)
        Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      if (job.PreviewFlags != 0)
        Fail("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      ost.Stream->avg_frame_rate = ist.Stream->avg_frame_rate;
      ost.Stream->r_frame_rate = ist.Stream->r_frame_rate;
      if (ist.Stream->sample_aspect_ratio.num)
        ost.Stream->sample_aspect_ratio = ist.Stream->sample_aspect_ratio;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      Fail("invalid codec_type of output stream");
  }
}

void PrepareEncoding(TCustomFFmpeg& job, TOutputStream& ost, TInputStream& ist,
                     TOutputStreamSlot& slot) {
  AVCodecContext* enc = ost.Encoder;
  const AVCodecParameters* source = ist.Stream->codecpar;
  const AVOutputFormat* format = job.OutputFiles[ost.FileIndex]->oformat;
  if (!ost.EncoderChoice && enc->codec_id != AV_CODEC_ID_NONE) {
    ost.EncoderChoice = avcodec_find_encoder(enc->codec_id);
    if (!ost.EncoderChoice &&
        (enc->codec_type == AVMEDIA_TYPE_AUDIO || enc->codec_type == AVMEDIA_TYPE_VIDEO)) {
      ost.EncoderChoice = SubstituteEncoder(job, format, enc->codec_type, enc->codec_id);
      if (ost.EncoderChoice) enc->codec_id = ost.EncoderChoice->id;
    }
  }
  switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
      if (enc->sample_rate <= 0) enc->sample_rate = source->sample_rate;
      if (enc->ch_layout.nb_channels <= 0)
        av_channel_layout_copy(&enc->ch_layout, &source->ch_layout);
      if (enc->sample_fmt == AV_SAMPLE_FMT_NONE)
        enc->sample_fmt = static_cast<AVSampleFormat>(source->format);
      FitAudioEncoder(job, enc, ost.EncoderChoice);
      ost.Resample = source->sample_rate != enc->sample_rate || job.AudioSyncMethod > 1;
      ost.ResampleSampleFormat = source->format;
      ost.ResampleChannels = source->ch_layout.nb_channels;
      ost.ResampleSampleRate = source->sample_rate;
      ist.DecodingNeeded = true;
      ost.EncodingNeeded = true;
      break;
    }
    case AVMEDIA_TYPE_VIDEO: {
      if (enc->width <= 0 || enc->height <= 0) {
        enc->width = source->width;
        enc->height = source->height;
      }
      if (enc->pix_fmt == AV_PIX_FMT_NONE)
        enc->pix_fmt = static_cast<AVPixelFormat>(source->format);
      FitVideoEncoder(job, enc, ost.EncoderChoice);
      if (enc->pix_fmt == AV_PIX_FMT_NONE) Fail("视频的像素格式未知，流不能被编码");
      ost.VideoResample = source->width != enc->width || source->height != enc->height ||
                          source->format != enc->pix_fmt;
      if (ost.VideoResample) enc->bits_per_raw_sample = 0;
      if (ost.VideoResample && job.VideoFilters.empty()) {
        ost.Scaled.reset(av_frame_alloc());
        if (!ost.Scaled) Fail("不能分配临时图片，检查 pix fmt");
        ost.Scaled->format = enc->pix_fmt;
        ost.Scaled->width = enc->width;
        ost.Scaled->height = enc->height;
        if (av_frame_get_buffer(ost.Scaled.get(), 0) < 0) Fail("不能分配临时图片，检查 pix fmt");
        int64_t flags = job.ScalerFlags;
        if (job.ScalerOptions()) av_opt_get_int(job.ScalerOptions(), "sws_flags", 0, &flags);
        job.ScalerFlags = static_cast<int>(flags);
        ost.Scaler.reset(sws_getContext(source->width, source->height,
                                        static_cast<AVPixelFormat>(source->format), enc->width,
                                        enc->height, enc->pix_fmt, job.ScalerFlags, nullptr,
                                        nullptr, nullptr));
        if (!ost.Scaler) Fail("不能得到重采样环境");
      }
      ost.ResampleWidth = source->width;
      ost.ResampleHeight = source->height;
      ost.ResamplePixelFormat = source->format;
      ist.DecodingNeeded = true;
      ost.EncodingNeeded = true;
      job.LastError.clear();
      if (!job.VideoFilters.empty()) {
        try {
          BuildFilterGraph(job, ost, ist);
        } catch (const FFmpegException&) {
          Fail(job.LastError.empty() ? std::string("错误打开过滤器！")
                                     : "错误打开过滤器:" + job.LastError);
        }
      }
      if (!slot.ForcedKeyFrames.empty())
        ost.ForcedKeyFrames = ParseForcedKeyFrames(slot.ForcedKeyFrames, enc->time_base);
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      ist.DecodingNeeded = true;
      ost.EncodingNeeded = true;
      break;
    default:
      Fail("无效的codec_type输出流");
  }
  SetUpTwoPass(job, ost);
}

}  // namespace

const AVCodecParameters* OutputParameters(const TOutputStream& ost) {
  return ost.Stream->codecpar;
}

AVMediaType OutputType(const TOutputStream& ost) {
  return ost.Encoder ? ost.Encoder->codec_type : ost.Stream->codecpar->codec_type;
}

void BuildInputStreams(TCustomFFmpeg& job) {
  TTranscodeState& run = *job.Run;
  int first = 0;
  for (int f = 0; f < job.InputFileCount(); ++f) {
    AVFormatContext* input = job.InputFiles[f].get();
    TInputFileState file;
    file.FirstStream = first;
    file.StreamCount = static_cast<int>(input->nb_streams);
    run.Files.push_back(file);
    for (unsigned s = 0; s < input->nb_streams; ++s) {
      TInputStream ist;
      ist.FileIndex = f;
      ist.Index = static_cast<int>(s);
      ist.Stream = input->streams[s];
      const size_t global = static_cast<size_t>(first) + s;
      ist.DecoderChoice = global < job.InputDecoders.size() ? job.InputDecoders[global] : nullptr;
      if (job.RateEmulation) ist.Start = av_gettime_relative();
      run.Inputs.push_back(std::move(ist));
    }
    first += file.StreamCount;
  }
}

void BuildOutputStreams(TCustomFFmpeg& job) {
  TTranscodeState& run = *job.Run;
  int total = 0;
  for (int f = 0; f < job.OutputFileCount(); ++f) {
    AVFormatContext* output = job.OutputFiles[f];
    if (output->nb_streams == 0 && !(output->oformat->flags & AVFMT_NOSTREAMS)) {
      DumpOutput(job, f);
      Fail(FormatText("输出文件#%d不包含任何流", f));
    }
    total += static_cast<int>(output->nb_streams);
  }
  run.SegmentSize = job.OutputFileCount() > 0 ? static_cast<int>(job.OutputFiles[0]->nb_streams) : 0;

  if (!job.StreamMaps.empty()) {
    if (static_cast<int>(job.StreamMaps.size()) != total) Fail("流映射数量必须匹配输出流的数量");
    for (const TStreamMap& map : job.StreamMaps) {
      if (map.FileIndex < 0 || map.FileIndex >= job.InputFileCount() || map.StreamIndex < 0 ||
          map.StreamIndex >= run.Files[map.FileIndex].StreamCount)
        Fail(FormatText("无法找到输入流 #%d.%d", map.FileIndex, map.StreamIndex));
      if (map.SyncFileIndex < 0 || map.SyncFileIndex >= job.InputFileCount() ||
          map.SyncStreamIndex < 0 || map.SyncStreamIndex >= run.Files[map.SyncFileIndex].StreamCount)
        Fail(FormatText("找不到同步流 #%d.%d", map.SyncFileIndex, map.SyncStreamIndex));
    }
  }

  int global = 0;
  for (int f = 0; f < job.OutputFileCount(); ++f) {
    AVFormatContext* output = job.OutputFiles[f];
    for (unsigned s = 0; s < output->nb_streams; ++s, ++global) {
      TOutputStreamSlot* slot = SlotOf(job, output->streams[s]);
      if (!slot) Fail("av_mallocz fail");
      TOutputStream ost;
      ost.FileIndex = f;
      ost.Index = static_cast<int>(s);
      ost.Global = global;
      ost.Stream = output->streams[s];
      ost.Shared = job.JoinMode && f > 0;
      ost.StreamCopy = slot->StreamCopy;
      ost.EncoderChoice = slot->Encoder;
      if (!slot->StreamCopy) ost.Encoder = slot->Settings.get();
      const AVMediaType type = slot->Settings->codec_type;
      int source = -1;
      if (!job.StreamMaps.empty()) {
        const TStreamMap& map = job.StreamMaps[global];
        source = run.Files[map.FileIndex].FirstStream + map.StreamIndex;
        const AVMediaType inType = run.Inputs[source].Stream->codecpar->codec_type;
        if (inType != type) {
          DumpOutput(job, f);
          Fail(FormatText("映射的编解码器类型不匹配 #%d.%d (%s) -> #%d.%d (%s)", map.FileIndex,
                          map.StreamIndex, TypeName(inType).c_str(), f, static_cast<int>(s),
                          TypeName(type).c_str()));
        }
        ost.SyncStream = run.Files[map.SyncFileIndex].FirstStream + map.SyncStreamIndex;
      } else {
        int bestFrames = -1;
        for (size_t i = 0; i < run.Inputs.size(); ++i) {
          const TInputStream& ist = run.Inputs[i];
          if (!ist.Discard || ist.Stream->discard == AVDISCARD_ALL) continue;
          if (ist.Stream->codecpar->codec_type != type) continue;
          if (job.JoinMode && ist.FileIndex != f) continue;
          if (job.ProgramId != 0) {
            bool inProgram = false;
            const AVFormatContext* input = job.InputFiles[ist.FileIndex].get();
            for (unsigned p = 0; p < input->nb_programs; ++p)
              if (input->programs[p]->id == job.ProgramId)
                for (unsigned k = 0; k < input->programs[p]->nb_stream_indexes; ++k)
                  inProgram = inProgram || input->programs[p]->stream_index[k] ==
                                               static_cast<unsigned>(ist.Index);
            if (!inProgram) continue;
          }
          // The stream the analysis saw most frames of; today's library no longer says,
          // so the frame count the container declares stands in for it.
          const int frames = static_cast<int>(std::max<int64_t>(0, ist.Stream->nb_frames));
          if (frames > bestFrames) {
            bestFrames = frames;
            source = static_cast<int>(i);
          }
        }
        if (source < 0 && job.ProgramId == 0 && !job.JoinMode)
          for (size_t i = 0; i < run.Inputs.size(); ++i)
            if (run.Inputs[i].Stream->codecpar->codec_type == type &&
                run.Inputs[i].Stream->discard != AVDISCARD_ALL)
              source = static_cast<int>(i);
        if (source < 0) {
          DumpOutput(job, f);
          Fail(FormatText("找不到匹配输出流#%d.%d (%s)的输入流", f, static_cast<int>(s),
                          TypeName(type).c_str()));
        }
        ost.SyncStream = source;
      }
      ost.SourceIndex = source;
      run.Inputs[source].Discard = false;
      ost.Active = true;
      run.Outputs.push_back(std::move(ost));
    }
  }

  for (TOutputStream& ost : run.Outputs) {
    TInputStream& ist = run.Inputs[ost.SourceIndex];
    TOutputStreamSlot* slot = SlotOf(job, ost.Stream);
    if (ost.Shared) {
      // A later join segment feeds the encoder and stream of the first segment.
      const TOutputStream& first = run.Outputs[ost.Index];
      ost.Encoder = first.Encoder;
      ost.EncodingNeeded = first.EncodingNeeded;
      if (ost.EncodingNeeded) {
        ist.DecodingNeeded = true;
        const AVCodecParameters* source = ist.Stream->codecpar;
        ost.Resample = ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO &&
                       (source->sample_rate != ost.Encoder->sample_rate || job.AudioSyncMethod > 1);
        ost.ResampleSampleFormat = source->format;
        ost.ResampleChannels = source->ch_layout.nb_channels;
        ost.ResampleSampleRate = source->sample_rate;
        ost.ResampleWidth = source->width;
        ost.ResampleHeight = source->height;
        ost.ResamplePixelFormat = source->format;
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
          ost.VideoResample = true;  // the segment's pictures are fitted to the shared encoder
          ost.ScalerChanged = true;
        }
      } else if (ost.StreamCopy && ist.Stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
                 job.AudioVolume != 256) {
        Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
      }
      continue;
    }
    for (const auto& request : slot->BitstreamFilters)
      ost.BitstreamFilterNames.push_back(request.Name);
    if (job.MetadataAutoCopyStreams)
      av_dict_copy(&ost.Stream->metadata, ist.Stream->metadata, AV_DICT_DONT_OVERWRITE);
    ost.Stream->disposition = ist.Stream->disposition;
    if (ost.StreamCopy) {
      CopyParameters(job, ost, ist);
    } else {
      AVCodecContext* enc = ost.Encoder;
      enc->bits_per_raw_sample = ist.Stream->codecpar->bits_per_raw_sample;
      enc->chroma_sample_location = ist.Stream->codecpar->chroma_location;
      PrepareEncoding(job, ost, ist, *slot);
    }
    const AVCodecParameters* params = ost.StreamCopy ? ost.Stream->codecpar : nullptr;
    const int width = params ? params->width : ost.Encoder->width;
    const int height = params ? params->height : ost.Encoder->height;
    if (OutputType(ost) == AVMEDIA_TYPE_VIDEO)
      run.VideoEncodeBufferSize =
          std::max<int64_t>(run.VideoEncodeBufferSize, 6LL * width * height + 200);
  }
  if (run.VideoEncodeBufferSize > INT_MAX)
    Fail(FormatText("无法分配%d字节输出缓冲区", static_cast<int>(run.VideoEncodeBufferSize)));
}

void OpenEncoder(TCustomFFmpeg& job, TOutputStream& ost) {
  TTranscodeState& run = *job.Run;
  AVCodecContext* enc = ost.Encoder;
  const AVCodec* codec = ost.EncoderChoice;
  const std::string typeName = TypeName(enc->codec_type);
  if (!codec) {
    LogStreamMapping(job);
    const std::string text = FormatText("编码器 (编解码器 id %d) 找不到输出流 #%d.%d (%s)",
                                        enc->codec_id, ost.FileIndex, ost.Index, typeName.c_str());
    JobLog(job, llError, text);
    Fail(text);
  }
  TInputStream& ist = run.Inputs[ost.SourceIndex];
  if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE && ist.Decoder && ist.Decoder->subtitle_header) {
    enc->subtitle_header = static_cast<uint8_t*>(av_mallocz(ist.Decoder->subtitle_header_size + 1));
    if (!enc->subtitle_header) Fail("av_malloc failed");
    std::memcpy(enc->subtitle_header, ist.Decoder->subtitle_header,
                ist.Decoder->subtitle_header_size);
    enc->subtitle_header_size = ist.Decoder->subtitle_header_size;
  }
  if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE) enc->time_base = AV_TIME_BASE_Q;
  int code;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    code = avcodec_open2(enc, codec, nullptr);
  }
  if (code < 0) {
    LogStreamMapping(job);
    const std::string text = FormatText(
        "错误打开编码器的输出流 #%d.%d (%s) - "
        "也许不正确的参数，如 bit_rate、速度、宽度或高度出错。请检查错误日志消息，以找出更多的详细信息。",
        ost.FileIndex, ost.Index, typeName.c_str());
    JobLog(job, llError, text);
    Fail(text);
  }
  job.ExtraBytes += enc->extradata_size;
  avcodec_parameters_from_context(ost.Stream->codecpar, enc);
  ost.Stream->time_base = enc->time_base;
  if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
    ost.Stream->avg_frame_rate = enc->framerate;
    ost.Stream->sample_aspect_ratio = enc->sample_aspect_ratio;
  }
  if (enc->codec_type == AVMEDIA_TYPE_AUDIO) {
    const int frame = enc->frame_size > 1 ? enc->frame_size : 1;
    ost.Fifo.reset(av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, frame * 2));
    if (!ost.Fifo) Fail("av_fifo_alloc fail");
  }
}

void OpenEncoders(TCustomFFmpeg& job) {
  TTranscodeState& run = *job.Run;
  for (TOutputStream& ost : run.Outputs) {
    if (!ost.EncodingNeeded || ost.Shared) continue;
    if (ost.Encoder->codec_type == AVMEDIA_TYPE_SUBTITLE) {
      // The encoder takes the subtitle header its source decoder announces.
      TInputStream& ist = run.Inputs[ost.SourceIndex];
      if (!ist.Decoder) OpenDecoders(job);
    }
    OpenEncoder(job, ost);
  }
}

void OpenDecoders(TCustomFFmpeg& job) {
  TTranscodeState& run = *job.Run;
  for (TInputStream& ist : run.Inputs) {
    if (!ist.DecodingNeeded || ist.Decoder) continue;
    const AVCodecParameters* params = ist.Stream->codecpar;
    const AVCodec* codec = ist.DecoderChoice ? ist.DecoderChoice : avcodec_find_decoder(params->codec_id);
    const std::string typeName = TypeName(params->codec_type);
    if (!codec) {
      LogStreamMapping(job);
      const std::string text = FormatText("Decoder (编码解码器 id %d) 找不到输入的流 #%d.%d (%s)",
                                          params->codec_id, ist.FileIndex, ist.Index, typeName.c_str());
      JobLog(job, llError, text);
      Fail(text);
    }
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), params) < 0) Fail("av_mallocz fail");
    decoder->pkt_timebase = ist.Stream->time_base;
    decoder->thread_count = job.ThreadCount;
    decoder->framerate = ist.Stream->avg_frame_rate.num ? ist.Stream->avg_frame_rate
                                                        : ist.Stream->r_frame_rate;
    int code;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      code = avcodec_open2(decoder.get(), codec, nullptr);
    }
    if (code < 0) {
      LogStreamMapping(job);
      const std::string text = FormatText("打开解码器的输入的流#%d.%d (%s)时出错", ist.FileIndex,
                                          ist.Index, typeName.c_str());
      JobLog(job, llError, text);
      Fail(text);
    }
    ist.Decoder = std::move(decoder);
  }
}

void InitialiseInputTimes(TCustomFFmpeg& job) {
  for (TInputStream& ist : job.Run->Inputs) {
    ist.Pts = 0;
    const AVRational rate = ist.Stream->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0 && ist.Stream->codecpar->video_delay > 0)
      ist.Pts = -std::llround(ist.Stream->codecpar->video_delay * 1000000.0 * rate.den / rate.num);
    ist.NextPts = kNoTimestamp;
    ist.IsStart = true;
  }
}

namespace {

AVDictionary** MetadataOf(AVFormatContext* context, const TMetadataMapSide& side, bool output,
                          bool& valid, const char*& failedKind, int& failedIndex) {
  valid = true;
  auto bad = [&](const char* kind, int index) -> AVDictionary** {
    valid = false;
    failedKind = kind;
    failedIndex = index;
    return nullptr;
  };
  (void)output;
  switch (side.Type) {
    case 'g':
      return &context->metadata;
    case 's':
      if (side.Index < 0 || side.Index >= static_cast<int>(context->nb_streams))
        return bad("流", side.Index);
      return &context->streams[side.Index]->metadata;
    case 'c':
      if (side.Index < 0 || side.Index >= static_cast<int>(context->nb_chapters))
        return bad("章", side.Index);
      return &context->chapters[side.Index]->metadata;
    case 'p':
      if (side.Index < 0 || side.Index >= static_cast<int>(context->nb_programs))
        return bad("程序", side.Index);
      return &context->programs[side.Index]->metadata;
    default:
      return bad("流", side.Index);
  }
}

void CopyChapters(TCustomFFmpeg& job, int in, int out) {
  AVFormatContext* input = job.InputFiles[in].get();
  AVFormatContext* output = job.OutputFiles[out];
  for (unsigned c = 0; c < input->nb_chapters; ++c) {
    const AVChapter* chapter = input->chapters[c];
    const int64_t offset = av_rescale_q(job.StartTime - job.InputTsOffsets[in], AV_TIME_BASE_Q,
                                        chapter->time_base);
    const int64_t recordEnd =
        job.RecordingTime == std::numeric_limits<int64_t>::max()
            ? INT64_MAX
            : av_rescale_q(job.RecordingTime, AV_TIME_BASE_Q, chapter->time_base);
    if (chapter->end < offset) continue;
    if (recordEnd != INT64_MAX && chapter->start > recordEnd + offset) break;
    AVChapter** grown = static_cast<AVChapter**>(
        av_realloc_array(output->chapters, output->nb_chapters + 1, sizeof(AVChapter*)));
    if (!grown) Fail("av_realloc fail");
    output->chapters = grown;
    AVChapter* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (!copy) Fail("av_mallocz fail");
    copy->id = chapter->id;
    copy->time_base = chapter->time_base;
    copy->start = std::max<int64_t>(0, chapter->start - offset);
    copy->end = std::min(recordEnd, chapter->end - offset);
    if (job.MetadataAutoCopyChapters) av_dict_copy(&copy->metadata, chapter->metadata, 0);
    output->chapters[output->nb_chapters++] = copy;
  }
}

}  // namespace

void CopyMetadataAndChapters(TCustomFFmpeg& job) {
  const int outputs = job.JoinMode ? 1 : job.OutputFileCount();
  for (const auto& [outSide, inSide] : job.MetadataMaps) {
    if (outSide.FileIndex < 0 || inSide.FileIndex < 0) continue;
    if (outSide.FileIndex >= job.OutputFileCount())
      Fail(FormatText("Invalid %s index %d while processing metadata maps", "输出文件",
                      outSide.FileIndex));
    if (inSide.FileIndex >= job.InputFileCount())
      Fail(FormatText("Invalid %s index %d while processing metadata maps", "输入文件",
                      inSide.FileIndex));
    bool valid = true;
    const char* kind = "";
    int index = 0;
    AVDictionary** target =
        MetadataOf(job.OutputFiles[outSide.FileIndex], outSide, true, valid, kind, index);
    if (!valid) Fail(FormatText("Invalid %s index %d while processing metadata maps", kind, index));
    AVDictionary** source =
        MetadataOf(job.InputFiles[inSide.FileIndex].get(), inSide, false, valid, kind, index);
    if (!valid) Fail(FormatText("Invalid %s index %d while processing metadata maps", kind, index));
    av_dict_copy(target, *source, AV_DICT_DONT_OVERWRITE);
  }
  if (job.MetadataAutoCopyGlobal && job.InputFileCount() > 0)
    for (int o = 0; o < outputs; ++o)
      av_dict_copy(&job.OutputFiles[o]->metadata, job.InputFiles[0]->metadata,
                   AV_DICT_DONT_OVERWRITE);
  if (!job.ChapterMaps.empty()) {
    for (const auto& [out, in] : job.ChapterMaps) {
      if (out < 0 || in < 0) continue;
      if (in >= job.InputFileCount())
        Fail(FormatText("Invalid input file index %d in chapter mapping.", in));
      if (out >= job.OutputFileCount())
        Fail(FormatText("Invalid output file index %d in chapter mapping.", out));
      CopyChapters(job, in, out);
    }
  } else {
    for (int i = 0; i < job.InputFileCount(); ++i)
      if (job.InputFiles[i]->nb_chapters) {
        for (int o = 0; o < outputs; ++o) CopyChapters(job, i, o);
        break;
      }
  }
}

void WriteHeaders(TCustomFFmpeg& job) {
  const int outputs = job.JoinMode ? 1 : job.OutputFileCount();
  for (int o = 0; o < outputs; ++o) {
    AVFormatContext* output = job.OutputFiles[o];
    const int code = avformat_write_header(output, nullptr);
    if (code < 0) {
      LogStreamMapping(job);
      const std::string text =
          FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", o);
      JobLog(job, llError, text + ": " + ErrorCodeText(code));
      Fail(text);
    }
  }
  bool allRtp = outputs > 0;
  for (int o = 0; o < outputs; ++o)
    allRtp = allRtp && std::strcmp(job.OutputFiles[o]->oformat->name, "rtp") == 0;
  if (allRtp) {
    char sdp[2048];
    std::vector<AVFormatContext*> contexts(job.OutputFiles.begin(), job.OutputFiles.begin() + outputs);
    av_sdp_create(contexts.data(), outputs, sdp, sizeof sdp);
    std::string text = sdp;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
    JobLog(job, llInfo, "SDP:\r\n" + text);
  }
}

void LogStreamMapping(TCustomFFmpeg& job) {
  if (job.Verbose < 0 || !job.Run) return;
  TTranscodeState& run = *job.Run;
  const int outputs = job.JoinMode ? 1 : job.OutputFileCount();
  for (int o = 0; o < outputs; ++o) DumpOutput(job, o);
  JobLog(job, llVerbose, "流映射:");
  for (const TOutputStream& ost : run.Outputs) {
    const TInputStream& ist = run.Inputs[ost.SourceIndex];
    std::string line = FormatText("  流 #%d.%d -> #%d.%d (%s)", ist.FileIndex, ist.Index,
                                  job.JoinMode ? 0 : ost.FileIndex, ost.Index,
                                  TypeName(OutputType(ost)).c_str());
    if (ost.SyncStream != ost.SourceIndex) {
      const TInputStream& sync = run.Inputs[ost.SyncStream];
      line += FormatText(" [同步 #%d.%d (%s)]", sync.FileIndex, sync.Index,
                         TypeName(sync.Stream->codecpar->codec_type).c_str());
    }
    JobLog(job, llVerbose, line);
  }
}

}  // namespace engine
