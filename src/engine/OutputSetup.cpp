// Setting up an output: its container format, the streams the pending settings ask for,
// metadata, and the opened output file.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

#include "engine/ConvertThread.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/ErrorText.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

namespace engine {
namespace {

std::string Format(const char* pattern, auto... values) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

}  // namespace

void OutputContextCloser::operator()(AVFormatContext* c) const {
  if (!c) return;
  if (c->oformat && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
  avformat_free_context(c);
}

namespace {

// The stream and its slot shared by all three kinds: id from the stream id map, the
// encoder by name or the format's default, and the header flags.
struct NewStream {
  AVStream* stream;
  TOutputStreamSlot slot;
};

}  // namespace

static NewStream CreateStream(TCustomFFmpeg& job, AVFormatContext* output, int outputIndex,
                              AVMediaType type, TOptionKind kind, const std::string& codecName,
                              bool streamCopy, uint32_t tag,
                              std::vector<TBitstreamFilterRequest>& filters) {
  AVStream* stream = avformat_new_stream(output, nullptr);
  if (!stream) throw FFmpegException("Could not alloc stream");
  const size_t index = output->nb_streams - 1;
  stream->id = job.StreamIdMap.size() > index ? job.StreamIdMap[index] : 0;

  TOutputStreamSlot slot;
  slot.Stream = stream;
  slot.FileIndex = outputIndex;
  slot.StreamCopy = streamCopy;
  AVCodecID id = AV_CODEC_ID_NONE;
  if (!streamCopy) {
    const AVCodec* encoder = nullptr;
    if (!codecName.empty()) {
      if (!job.LookupCodec(type, codecName, true, job.CodecOptions(kind)->strict_std_compliance,
                           encoder))
        throw FFmpegException(job.LastError);
      id = encoder->id;
    } else {
      id = av_guess_codec(output->oformat, nullptr, output->url, nullptr, type);
      encoder = avcodec_find_encoder(id);
    }
    slot.Encoder = encoder;
  }
  slot.Settings.reset(avcodec_alloc_context3(slot.Encoder));
  if (!slot.Settings) throw FFmpegException("Out of memory");
  AVCodecContext* settings = slot.Settings.get();
  settings->codec_type = type;
  settings->codec_id = id;
  settings->thread_count = job.ThreadCount;
  if (tag != 0) settings->codec_tag = tag;
  slot.BitstreamFilters = std::move(filters);
  filters.clear();
  const bool wantsGlobalHeader = output->oformat->flags & AVFMT_GLOBALHEADER;
  const int globalHeaderSetting = type == AVMEDIA_TYPE_VIDEO ? job.VideoGlobalHeader : 0;
  if ((globalHeaderSetting & 1) || (globalHeaderSetting == 0 && wantsGlobalHeader)) {
    settings->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    job.CodecOptions(kind)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (globalHeaderSetting & 2) {
    settings->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    job.CodecOptions(kind)->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }
  return {stream, std::move(slot)};
}

// The stream keeps a description of its settings so that what was set up can be read back.
static void Finish(TCustomFFmpeg& job, NewStream& created, const std::string& language) {
  AVCodecParameters* parameters = created.stream->codecpar;
  avcodec_parameters_from_context(parameters, created.slot.Settings.get());
  created.stream->time_base = created.slot.Settings->time_base;
  if (!language.empty()) av_dict_set(&created.stream->metadata, "language", language.c_str(), 0);
  job.OutputStreamSlots.push_back(std::move(created.slot));
}

// Groups "start,end,q" separated by "/": q below 1 asks for a quality factor of -q/100
// over those frames, otherwise for the fixed quantizer q.
static void SetRateControlOverride(AVCodecContext* settings, const std::string& text) {
  std::vector<RcOverride> groups;
  size_t begin = 0;
  while (begin <= text.size()) {
    const size_t end = std::min(text.find('/', begin), text.size());
    const std::string group = text.substr(begin, end - begin);
    RcOverride entry{};
    int q = 0, consumed = 0;
    if (std::sscanf(group.c_str(), "%d,%d,%d%n", &entry.start_frame, &entry.end_frame, &q,
                    &consumed) != 3 ||
        consumed != static_cast<int>(group.size()))
      throw FFmpegException("error parsing rc_override");
    if (q >= 1) {
      entry.qscale = q;
      entry.quality_factor = 1.0f;
    } else {
      entry.qscale = 0;
      entry.quality_factor = -q / 100.0f;
    }
    groups.push_back(entry);
    begin = end + 1;
  }
  settings->rc_override =
      static_cast<RcOverride*>(av_malloc_array(groups.size(), sizeof(RcOverride)));
  if (!settings->rc_override) throw FFmpegException("Out of memory");
  std::copy(groups.begin(), groups.end(), settings->rc_override);
  settings->rc_override_count = static_cast<int>(groups.size());
}

// A 64-coefficient matrix in memory the codec context frees.
static uint16_t* CopyMatrix(const std::vector<uint16_t>& matrix) {
  auto* copy = static_cast<uint16_t*>(av_malloc_array(64, sizeof(uint16_t)));
  if (!copy) throw FFmpegException("Out of memory");
  std::copy_n(matrix.begin(), std::min<size_t>(64, matrix.size()), copy);
  return copy;
}

static AVRational StoredAspect(const TCustomFFmpeg& job) {
  double ratio = job.FrameWidth && job.FrameHeight
                     ? job.FrameAspectRatio * job.FrameHeight / job.FrameWidth
                     : job.FrameAspectRatio * 3.0 / 4.0;
  return av_d2q(ratio, 255);
}

void TCustomFFmpeg::NewVideoStream(AVFormatContext* output, int outputIndex) {
  NewStream created =
      CreateStream(*this, output, outputIndex, AVMEDIA_TYPE_VIDEO, okVideo, VideoCodecName,
                   VideoStreamCopy, VideoTag, VideoBitstreamFilters);
  AVCodecContext* settings = created.slot.Settings.get();
  if (VideoStreamCopy) {
    created.stream->sample_aspect_ratio = settings->sample_aspect_ratio = StoredAspect(*this);
  } else {
    AVRational rate = FrameRate.num > 0 && FrameRate.den > 0 ? FrameRate : AVRational{25, 1};
    ApplyRecordedOptions(settings, okVideo, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    const AVCodec* encoder = created.slot.Encoder;
    if (encoder && encoder->supported_framerates && !ForceFps)
      rate =
          encoder->supported_framerates[av_find_nearest_q_idx(rate, encoder->supported_framerates)];
    settings->framerate = rate;
    settings->time_base = av_inv_q(rate);
    settings->width = FrameWidth;
    settings->height = FrameHeight;
    created.stream->sample_aspect_ratio = settings->sample_aspect_ratio = StoredAspect(*this);
    settings->pix_fmt = FramePixelFormat;
    if (IntraOnly) settings->gop_size = 0;
    if (VideoQScale != 0.0 || SameQuality) {
      settings->flags |= AV_CODEC_FLAG_QSCALE;
      settings->global_quality = static_cast<int>(FF_QP2LAMBDA * VideoQScale);
    }
    if (IntraMatrix.size() == 64) settings->intra_matrix = CopyMatrix(IntraMatrix);
    if (InterMatrix.size() == 64) settings->inter_matrix = CopyMatrix(InterMatrix);
    if (!RcOverride.empty()) SetRateControlOverride(settings, RcOverride);
    if (IntraDcPrecision != 8) settings->intra_dc_precision = IntraDcPrecision - 8;
    if (Psnr) settings->flags |= AV_CODEC_FLAG_PSNR;
    if (PassNumber == 1) settings->flags |= AV_CODEC_FLAG_PASS1;
    if (PassNumber == 2) settings->flags |= AV_CODEC_FLAG_PASS2;
    if (settings->rc_initial_buffer_occupancy == 0)
      settings->rc_initial_buffer_occupancy = settings->rc_buffer_size * 3 / 4;
    created.slot.ForcedKeyFrames = ForcedKeyFrames;
  }
  Finish(*this, created, VideoLanguage);
  VideoLanguage.clear();
  VideoDisable = false;
  VideoCodecName.clear();
  ForcedKeyFrames.clear();
  VideoStreamCopy = false;
  FramePixelFormat = AV_PIX_FMT_NONE;
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext* output, int outputIndex) {
  NewStream created =
      CreateStream(*this, output, outputIndex, AVMEDIA_TYPE_AUDIO, okAudio, AudioCodecName,
                   AudioStreamCopy, AudioTag, AudioBitstreamFilters);
  AVCodecContext* settings = created.slot.Settings.get();
  if (!AudioStreamCopy) {
    ApplyRecordedOptions(settings, okAudio, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    if (AudioQScale > -99999.0) {
      settings->flags |= AV_CODEC_FLAG_QSCALE;
      settings->global_quality = static_cast<int>(FF_QP2LAMBDA * AudioQScale);
    }
    settings->sample_fmt = AudioSampleFormat;
  }
  av_channel_layout_uninit(&settings->ch_layout);
  av_channel_layout_default(&settings->ch_layout, AudioChannels);
  settings->sample_rate = AudioSampleRate;
  if (AudioSampleRate > 0) settings->time_base = AVRational{1, AudioSampleRate};
  Finish(*this, created, AudioLanguage);
  AudioLanguage.clear();
  AudioDisable = false;
  AudioCodecName.clear();
  AudioStreamCopy = false;
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext* output, int outputIndex) {
  NewStream created =
      CreateStream(*this, output, outputIndex, AVMEDIA_TYPE_SUBTITLE, okSubtitle, SubtitleCodecName,
                   SubtitleStreamCopy, SubtitleTag, SubtitleBitstreamFilters);
  if (!SubtitleStreamCopy)
    ApplyRecordedOptions(created.slot.Settings.get(), okSubtitle,
                         AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  Finish(*this, created, SubtitleLanguage);
  SubtitleLanguage.clear();
  SubtitleDisable = false;
  SubtitleCodecName.clear();
  SubtitleStreamCopy = false;
}

int TCustomFFmpeg::OpenOutput(const std::string& fileName, bool join) {
  if (JoinMode) {
    LastError = "Cannot join more than one output file.";
    return -1;
  }
  // Writing over an input would destroy it while it is read, and two outputs of one
  // name would leave only the last one.
  for (const auto& input : InputFiles)
    if (input && input->url && SameLocalFile(input->url, fileName)) {
      LastError =
          Format("'%s' is an input of this job and cannot be its output", fileName.c_str());
      return -1;
    }
  for (const TOutputTarget& target : OutputTargets)
    if (SameLocalFile(target.FinalName, fileName)) {
      LastError = Format("'%s' is already an output of this job", fileName.c_str());
      return -1;
    }
  const AVOutputFormat* format = nullptr;
  if (!ForcedFormatName.empty()) {
    format = av_guess_format(ForcedFormatName.c_str(), nullptr, nullptr);
    if (!format) {
      LastError = Format("Requested output format '%s' is not a suitable output format",
                         ForcedFormatName.c_str());
      return -1;
    }
    ForcedFormatName.clear();
  } else {
    format = av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format) {
      LastError = Format("Unable to find a suitable output format for '%s'", fileName.c_str());
      return -1;
    }
  }
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, format, nullptr, fileName.c_str()) < 0 || !raw)
    throw FFmpegException("avformat_alloc_context failed");
  OutputContextPtr output(raw);
  output->interrupt_callback = EngineInterruptCB();

  // Audio containers such as mp3 and flac name a picture codec for cover art: a video
  // stream sent there would be refused when writing, so they get none unless asked.
  const bool videoContainer =
      format->video_codec != AV_CODEC_ID_NONE && format->video_codec != AV_CODEC_ID_PNG;
  bool useVideo = videoContainer || VideoStreamCopy || !VideoCodecName.empty();
  bool useAudio =
      format->audio_codec != AV_CODEC_ID_NONE || AudioStreamCopy || !AudioCodecName.empty();
  bool useSubtitle = format->subtitle_codec != AV_CODEC_ID_NONE || SubtitleStreamCopy ||
                     !SubtitleCodecName.empty();
  if (!InputFiles.empty()) {
    std::set<AVMediaType> present;
    const size_t inputs = join ? 1 : InputFiles.size();
    for (size_t i = 0; i < inputs; ++i)
      for (unsigned s = 0; s < InputFiles[i]->nb_streams; ++s) {
        AVMediaType type = InputFiles[i]->streams[s]->codecpar->codec_type;
        if (type < AVMEDIA_TYPE_UNKNOWN || type > AVMEDIA_TYPE_ATTACHMENT) {
          LastError = "check_audio_video_sub_inputs fail: invalid codec_type of input file";
          return -1;
        }
        present.insert(type);
      }
    useVideo = useVideo && present.count(AVMEDIA_TYPE_VIDEO);
    useAudio = useAudio && present.count(AVMEDIA_TYPE_AUDIO);
    useSubtitle = useSubtitle && present.count(AVMEDIA_TYPE_SUBTITLE);
  }
  if (VideoDisable) useVideo = false;
  if (AudioDisable) useAudio = false;
  if (SubtitleDisable) useSubtitle = false;

  const size_t slotsBefore = OutputStreamSlots.size();
  const int outputIndex = OutputFileCount();
  auto createStream = [&](void (TCustomFFmpeg::*create)(AVFormatContext*, int),
                          const char* failure) {
    try {
      (this->*create)(output.get(), outputIndex);
      return true;
    } catch (const FFmpegException& e) {
      LastError = Format(failure, e.what());
      return false;
    }
  };
  // A failed output leaves no slots behind that point into its released context.
  auto fail = [&] {
    OutputStreamSlots.resize(slotsBefore);
    return -1;
  };
  if (useVideo && !createStream(&TCustomFFmpeg::NewVideoStream, "new_video_stream fail: %s"))
    return fail();
  if (useAudio && !createStream(&TCustomFFmpeg::NewAudioStream, "new_audio_stream fail: %s"))
    return fail();
  if (useSubtitle &&
      !createStream(&TCustomFFmpeg::NewSubtitleStream, "new_subtitle_stream fail: %s"))
    return fail();
  if (RecordingTimestamp != 0) {
    // Muxers read the creation time as an ISO 8601 date in UTC.
    const std::time_t seconds = static_cast<std::time_t>(RecordingTimestamp);
    std::tm utc{};
    char text[40];
    if (gmtime_r(&seconds, &utc) &&
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc))
      av_dict_set(&output->metadata, "creation_time", text, 0);
  }
  av_dict_copy(&output->metadata, Metadata, 0);
  av_dict_free(&Metadata);

  if ((format->flags & AVFMT_NEEDNUMBER) && !av_filename_number_test(fileName.c_str())) {
    LastError = ErrorText(fileName, -33);
    return fail();
  }
  // Until the output is kept by the job, a failure removes the files made for it.
  TOutputTarget target;
  target.FinalName = fileName;
  struct TargetRelease {
    TOutputTarget& target;
    bool kept = false;
    ~TargetRelease() {
      if (!kept) SettleOutputTarget(target);
    }
  } targetRelease{target};
  if (!(format->flags & AVFMT_NOFILE)) {
    int code = 0;
    {
      // Gives up when the job is asked to stop or the open takes longer than IoTimeout.
      ScopedBlockingOpen blockingOpen(*this);
      // Opening a local file never asks the interrupt callback: a stopped job must not
      // create (or empty) a file all the same.
      if (output->interrupt_callback.callback(output->interrupt_callback.opaque))
        code = AVERROR_EXIT;
      else
        code = PrepareOutputTarget(fileName, target);
      if (code == 0)
        code = avio_open2(&output->pb, target.WriteName().c_str(), AVIO_FLAG_WRITE,
                          &output->interrupt_callback, nullptr);
    }
    if (code < 0) {
      LastError = ErrorText(fileName, code);
      return fail();
    }
    // Muxers that read their file back (to move an index to the front) find it by this
    // name; its extension is the final name's.
    if (!target.TempPath.empty()) {
      av_freep(&output->url);
      output->url = av_strdup(target.WriteName().c_str());
      if (!output->url) throw FFmpegException("Out of memory");
    }
  }
  output->max_delay = static_cast<int>(MuxMaxDelay * 1000000);
  // Only the program-stream muxers know a preload; others have nothing to set.
  if (output->priv_data)
    av_opt_set_int(output->priv_data, "preload", static_cast<int64_t>(MuxPreload * 1000000), 0);
  if (LoopOutput >= 0 && output->priv_data)
    av_opt_set_int(output->priv_data, "loop", LoopOutput, AV_OPT_SEARCH_CHILDREN);
  output->flags |= AVFMT_FLAG_NONBLOCK;
  ApplyRecordedOptions(output.get(), AV_OPT_FLAG_ENCODING_PARAM);

  StreamIdMap.clear();
  ForcedKeyFrames.clear();
  if (join && InputFiles.size() > 1) JoinMode = true;
  OutputFiles.push_back(output.get());
  OwnedOutputFiles.push_back(std::move(output));
  OutputTargets.push_back(target);
  targetRelease.kept = true;
  return OutputFileCount();
}

TOutputTarget* TCustomFFmpeg::OutputTargetOf(const AVFormatContext* output) {
  for (size_t i = 0; i < OwnedOutputFiles.size() && i < OutputTargets.size(); ++i)
    if (OwnedOutputFiles[i].get() == output) return &OutputTargets[i];
  return nullptr;
}

void TCustomFFmpeg::OpenOutputFile(const std::string& fileName) {
  if (OpenOutput(fileName, false) < 0) throw FFmpegException(LastError);
}

}  // namespace engine
