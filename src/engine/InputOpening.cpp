// Opening an input: header, streams, start position and the per-file time-stamp settings.

#include <cmath>
#include <cstdio>

#include "engine/ConvertThread.h"
#include "engine/CustomFFmpeg.h"
#include "enginebase/ErrorText.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
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

bool TCustomFFmpeg::LookupCodec(AVMediaType type, const std::string& name, bool encoder,
                                int strictness, const AVCodec*& codec) {
  codec = nullptr;
  if (name.empty()) return true;
  const char* kind = encoder ? "encoder" : "decoder";
  const AVCodec* found = encoder ? avcodec_find_encoder_by_name(name.c_str())
                                 : avcodec_find_decoder_by_name(name.c_str());
  if (!found) {
    LastError = Format("Unknown %s '%s'", kind, name.c_str());
    return false;
  }
  if (found->type != type) {
    LastError = Format("Invalid %s type '%s'", kind, name.c_str());
    return false;
  }
  if ((found->capabilities & AV_CODEC_CAP_EXPERIMENTAL) &&
      strictness > FF_COMPLIANCE_EXPERIMENTAL) {
    LastError = Format(
        "%s '%s' is experimental and might produce bad results.\r\nAdd '-strict "
        "experimental' if you want to use it.",
        kind, found->name);
    const AVCodec* fallback =
        encoder ? avcodec_find_encoder(found->id) : avcodec_find_decoder(found->id);
    if (fallback && !(fallback->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      LastError += Format("\r\nOr use the non experimental %s '%s'.", kind, fallback->name);
    return false;
  }
  codec = found;
  return true;
}

bool TCustomFFmpeg::OpenInput(const std::string& fileName) {
  // Whatever happens, the pending decoder names and channel belong to this input only.
  struct PendingReset {
    TCustomFFmpeg& job;
    ~PendingReset() {
      job.VideoCodecName.clear();
      job.AudioCodecName.clear();
      job.SubtitleCodecName.clear();
      job.VideoChannel = 0;
      job.IoStartTime = std::numeric_limits<int64_t>::max();
    }
  } pendingReset{*this};

  // Reading what the job writes would read a file while it is being replaced.
  for (const TOutputTarget& target : OutputTargets)
    if (SameLocalFile(target.FinalName, fileName)) {
      LastError = Format("'%s' is an output of this job and cannot be its input", fileName.c_str());
      return false;
    }

  const AVInputFormat* forced = nullptr;
  if (!ForcedFormatName.empty()) {
    forced = av_find_input_format(ForcedFormatName.c_str());
    if (!forced)
      throw FFmpegException(Format("Unknown input format: \"%s\"", ForcedFormatName.c_str()));
    ForcedFormatName.clear();
  }

  FormatContextPtr input(avformat_alloc_context());
  if (!input) throw FFmpegException("avformat_alloc_context failed");

  // Settings for raw and device formats; formats that do not know them leave them unused.
  AVDictionary* formatParameters = nullptr;
  av_dict_set_int(&formatParameters, "sample_rate", AudioSampleRate, 0);
  av_dict_set_int(&formatParameters, "channels", AudioChannels, 0);
  if (FrameRate.num > 0 && FrameRate.den > 0)
    av_dict_set(&formatParameters, "framerate",
                Format("%d/%d", FrameRate.num, FrameRate.den).c_str(), 0);
  if (FrameWidth > 0 && FrameHeight > 0)
    av_dict_set(&formatParameters, "video_size", Format("%dx%d", FrameWidth, FrameHeight).c_str(),
                0);
  if (FramePixelFormat != AV_PIX_FMT_NONE)
    av_dict_set(&formatParameters, "pixel_format", av_get_pix_fmt_name(FramePixelFormat), 0);
  if (VideoChannel != 0) av_dict_set_int(&formatParameters, "channel", VideoChannel, 0);
  if (!VideoStandard.empty()) av_dict_set(&formatParameters, "standard", VideoStandard.c_str(), 0);
  // Picture sequences play again from the start when asked; the option is the input's.
  if (LoopInput) {
    av_dict_set(&formatParameters, "loop", "1", 0);
    LoopInput = false;
  }
  struct DictionaryFree {
    AVDictionary*& d;
    ~DictionaryFree() { av_dict_free(&d); }
  } freeParameters{formatParameters};

  ApplyRecordedOptions(input.get(), AV_OPT_FLAG_DECODING_PARAM);

  const AVCodec* videoDecoder = nullptr;
  const AVCodec* audioDecoder = nullptr;
  const AVCodec* subtitleDecoder = nullptr;
  if (!LookupCodec(AVMEDIA_TYPE_VIDEO, VideoCodecName, false,
                   CodecOptions(okVideo)->strict_std_compliance, videoDecoder) ||
      !LookupCodec(AVMEDIA_TYPE_AUDIO, AudioCodecName, false,
                   CodecOptions(okAudio)->strict_std_compliance, audioDecoder) ||
      !LookupCodec(AVMEDIA_TYPE_SUBTITLE, SubtitleCodecName, false,
                   CodecOptions(okSubtitle)->strict_std_compliance, subtitleDecoder))
    return false;

  input->interrupt_callback = EngineInterruptCB();
  int64_t position = 0;
  {
    // Gives up when the job is asked to stop or the open takes longer than IoTimeout.
    ScopedBlockingOpen blockingOpen(*this);
    AVFormatContext* raw = input.release();
    // On failure the library frees the context itself.
    int code = avformat_open_input(&raw, fileName.c_str(), forced, &formatParameters);
    if (code < 0) {
      LastError = ErrorText(fileName, code);
      return false;
    }
    input.reset(raw);

    if (ProgramId != 0) {
      // Streams outside the program are dropped; the program's keep their discard level.
      const AVProgram* kept = nullptr;
      for (unsigned p = 0; p < input->nb_programs; ++p)
        if (input->programs[p]->id == ProgramId) kept = input->programs[p];
      const bool found = kept != nullptr;
      if (found) {
        for (unsigned p = 0; p < input->nb_programs; ++p)
          if (input->programs[p] != kept) input->programs[p]->discard = AVDISCARD_ALL;
        std::vector<bool> inProgram(input->nb_streams, false);
        for (unsigned i = 0; i < kept->nb_stream_indexes; ++i)
          inProgram[kept->stream_index[i]] = true;
        for (unsigned s = 0; s < input->nb_streams; ++s)
          if (!inProgram[s]) input->streams[s]->discard = AVDISCARD_ALL;
      }
      if (!found) {
        LastError = "Specified program id not found";
        return false;
      }
      ProgramId = 0;
    }

    if (BeforeFindStreamInfo) BeforeFindStreamInfo(input.get());
    blockingOpen.Restart();
    code = avformat_find_stream_info(input.get(), nullptr);
    if (code < 0 && Verbose >= 0) {
      LastError = Format("%s: could not find codec parameters", fileName.c_str());
      Log(llVerbose, LastError);
      return false;
    }

    position = StartTime;
    if (input->start_time != AV_NOPTS_VALUE) position += input->start_time;
    if (StartTime != 0) {
      if (av_seek_frame(input.get(), -1, position, AVSEEK_FLAG_BACKWARD) < 0 && Verbose > 0)
        Log(llVerbose, Format("%s: could not seek to position %0.3f", fileName.c_str(),
                              static_cast<double>(position) / AV_TIME_BASE));
      StartTime = 0;
    }
  }

  std::vector<const AVCodec*> decoders;
  for (unsigned s = 0; s < input->nb_streams; ++s) {
    AVStream* stream = input->streams[s];
    AVCodecParameters* codec = stream->codecpar;
    switch (codec->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        decoders.push_back(videoDecoder);
        FrameWidth = codec->width;
        FrameHeight = codec->height;
        AVRational ratio = stream->sample_aspect_ratio.num ? stream->sample_aspect_ratio
                                                           : codec->sample_aspect_ratio;
        FrameAspectRatio = av_q2d(ratio);
        if (FrameWidth != 0 && FrameHeight != 0) {
          FrameAspectRatio = FrameAspectRatio == 0.0 ? static_cast<double>(FrameWidth) / FrameHeight
                                                     : FrameWidth * FrameAspectRatio / FrameHeight;
        } else if (FrameAspectRatio == 0.0) {
          FrameAspectRatio = 1.3333334;
        }
        FramePixelFormat = codec->format < 0 ? static_cast<AVPixelFormat>(0)
                                             : static_cast<AVPixelFormat>(codec->format);
        AVRational rate = stream->r_frame_rate;
        AVRational average = stream->avg_frame_rate;
        if (rate.num > 0 && rate.den > 0 && average.num > 0 && average.den > 0 &&
            av_cmp_q(rate, average) != 0 && Verbose >= 0)
          Log(llInfo, Format("Seems stream %d codec frame rate differs from container frame "
                             "rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                             static_cast<int>(s), av_q2d(average), average.num, average.den,
                             av_q2d(rate), rate.num, rate.den));
        if (rate.num > 0 && rate.den > 0) FrameRate = rate;
        if (VideoDisable)
          stream->discard = AVDISCARD_ALL;
        else if (VideoDiscard != 0)
          stream->discard = static_cast<AVDiscard>(VideoDiscard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        decoders.push_back(audioDecoder);
        AudioChannels = codec->ch_layout.nb_channels;
        AudioSampleRate = codec->sample_rate;
        AudioSampleFormat = static_cast<AVSampleFormat>(codec->format);
        if (AudioDisable) stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        decoders.push_back(subtitleDecoder);
        if (SubtitleDisable) stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        decoders.push_back(nullptr);
        break;
      default:
        throw FFmpegException("invalid codec_type");
    }
  }

  if (input->duration != AV_NOPTS_VALUE && input->duration > TotalDuration)
    TotalDuration = input->duration;

  InputDecoders.insert(InputDecoders.end(), decoders.begin(), decoders.end());
  InputTsOffsets.push_back(CopyTs ? InputTsOffset : InputTsOffset - position);
  std::vector<double> scales = std::move(NextInputTsScales);
  NextInputTsScales.clear();
  scales.resize(input->nb_streams, 0.0);
  InputTsScales.push_back(std::move(scales));
  if (Verbose >= 0) av_dump_format(input.get(), InputFileCount(), fileName.c_str(), 0);
  InputFiles.push_back(std::move(input));
  return true;
}

void TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
  if (!OpenInput(fileName)) throw FFmpegException(LastError);
}

}  // namespace engine
