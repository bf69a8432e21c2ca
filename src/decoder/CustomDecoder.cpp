#include "decoder/CustomDecoder.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "decoder/CodecText.h"
#include "enginebase/ErrorText.h"
#include "enginebase/FFmpegException.h"
#include "enginebase/InterruptRegistry.h"
#include "enginebase/LibraryBinding.h"
#include "enginebase/LibraryPtr.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/parseutils.h>
#include <libavutil/time.h>
}

namespace engine {
namespace {

constexpr const char* kNotLoaded = "file not loaded.";

int32_t clamp32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

std::string tag(const AVDictionary* metadata, const char* key) {
  const AVDictionaryEntry* e = av_dict_get(metadata, key, nullptr, 0);
  return e && e->value ? e->value : "";
}

// The leading number of a text such as "2011", "2011-05-03" or "3/12"; -1 without one.
int32_t leadingNumber(const std::string& text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return -1;
  return clamp32(std::strtoll(text.c_str(), nullptr, 10));
}

int64_t toMicroseconds(int64_t ticks, AVRational timeBase) {
  if (ticks == AV_NOPTS_VALUE) return -1;
  return av_rescale_q(ticks, timeBase, AV_TIME_BASE_Q);
}

}  // namespace

TCustomDecoder::~TCustomDecoder() { TCustomDecoder::CloseFile(); }

void TCustomDecoder::RequireLibraries() const {
  // The libraries are linked and checked together: all of them or none are usable.
  if (!EngineLibrariesLoaded()) throw FFmpegException("LibAVCodec not loaded.");
}

void TCustomDecoder::Fail(TLogLevel level, const std::string& message) {
  lastErrorMessage_ = message;
  DefaultLogger().Log(this, level, message);
}

void TCustomDecoder::Note(TLogLevel level, const std::string& message) {
  DefaultLogger().Log(this, level, message);
}

TCustomDecoder::ScopedBlockingCall::ScopedBlockingCall(TCustomDecoder& decoder)
    : decoder_(decoder) {
  decoder_.interruptReason_ = 0;
  decoder_.ioStartTime_ = av_gettime_relative();
  InterruptRegistry().AddCheck(TFFLogger::CurrentThreadId(), &decoder_,
                               &TCustomDecoder::BlockingCallInterrupted);
}

TCustomDecoder::ScopedBlockingCall::~ScopedBlockingCall() {
  InterruptRegistry().RemoveCheck(TFFLogger::CurrentThreadId(), &decoder_,
                                  &TCustomDecoder::BlockingCallInterrupted);
}

void TCustomDecoder::ScopedBlockingCall::Restart() { decoder_.ioStartTime_ = av_gettime_relative(); }

bool TCustomDecoder::BlockingCallInterrupted(void* owner) {
  auto* self = static_cast<TCustomDecoder*>(owner);
  if (self->interruptReason_ != 0) return true;  // said once already
  if (self->StopRequested) {
    self->interruptReason_ = 2;
  } else if (self->IoTimeout > 0 && av_gettime_relative() - self->ioStartTime_ >
                                        static_cast<int64_t>(self->IoTimeout) * 1000) {
    self->interruptReason_ = 1;
  } else {
    return false;
  }
  self->Note(llInfo, self->InterruptText());
  return true;
}

std::string TCustomDecoder::InterruptText() const {
  switch (interruptReason_) {
    case 1:
      return "connecting/reading/writing timeout";
    case 2:
      return "connecting/reading/writing canceled";
    default:
      return "";
  }
}

bool TCustomDecoder::LoadFile(const std::string& fileName, const std::string& formatName) {
  RequireLibraries();
  CloseFile();
  const AVInputFormat* format = nullptr;
  if (!formatName.empty()) {
    format = av_find_input_format(formatName.c_str());
    if (!format) {
      lastErrorMessage_ = "Unknown input format: " + formatName;
      return false;
    }
  }
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) {
    Fail(llError, ErrorText(fileName, AVERROR(ENOMEM)));
    return false;
  }
  // Every context the engine opens can be stopped through the interrupt registry: a
  // source that stalls gives up after the time-out, or when the caller stops it.
  raw->interrupt_callback = EngineInterruptCB();
  ScopedBlockingCall blocking(*this);
  const int opened = avformat_open_input(&raw, fileName.c_str(), format, nullptr);
  if (opened < 0) {  // the library has freed the context
    const std::string interrupted = InterruptText();
    Fail(llError, interrupted.empty() ? ErrorText(fileName, opened) : fileName + ": " + interrupted);
    return false;
  }
  FormatContextPtr context(raw);
  blocking.Restart();
  const int found = avformat_find_stream_info(context.get(), nullptr);
  if (!InterruptText().empty()) {
    lastErrorMessage_ = fileName + ": " + InterruptText();
    return false;
  }
  if (found < 0) {
    lastErrorMessage_ = fileName + ": could not find codec parameters";
    return false;
  }
  context_ = context.release();
  owned_ = true;
  fileName_ = fileName;
  FillInformation();
  forcedFormat_ = formatName;
  return true;
}

void TCustomDecoder::Attach(AVFormatContext* context) {
  if (context && context == context_) return;
  RequireLibraries();
  CloseFile();
  if (!context) return;
  context_ = context;
  owned_ = false;
  fileName_ = context->url ? context->url : "";
  FillInformation();
}

void TCustomDecoder::CloseFile() {
  if (context_ && owned_) FormatContextPtr closing(context_);
  context_ = nullptr;
  owned_ = false;
  fileName_.clear();
  forcedFormat_.clear();
  ResetInformation();
}

void TCustomDecoder::ResetInformation() {
  fileSize_ = -1;
  streamCount_ = programCount_ = -1;
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
  firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
}

void TCustomDecoder::FillInformation() {
  ResetInformation();
  const int64_t ioSize = context_->pb ? avio_size(context_->pb) : -1;
  if (ioSize > 0) {
    fileSize_ = ioSize;
  } else {
    struct stat info;
    if (!fileName_.empty() && stat(fileName_.c_str(), &info) == 0)
      fileSize_ = S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : -1;
    else
      fileSize_ = ioSize;
  }
  streamCount_ = static_cast<int>(context_->nb_streams);
  programCount_ = static_cast<int>(context_->nb_programs);
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
  for (int i = 0; i < streamCount_; ++i) {
    switch (context_->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (videoStreamCount_++ == 0) firstVideoStream_ = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (audioStreamCount_++ == 0) firstAudioStream_ = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (subtitleStreamCount_++ == 0) firstSubtitleStream_ = i;
        break;
      default:
        break;
    }
  }
  InformationFilled();
}

std::string TCustomDecoder::FileName() {
  if (!context_) {
    lastErrorMessage_ = kNotLoaded;
    return {};
  }
  return fileName_;
}

std::string TCustomDecoder::FormatName() const {
  return context_ && context_->iformat ? context_->iformat->name : "";
}

AVStream* TCustomDecoder::StreamAt(int index) const {
  AVStream* stream = context_->streams[index];
  if (stream->time_base.den == 0)
    stream->time_base.den = stream->time_base.num != 0 ? stream->time_base.num : 1;
  return stream;
}

bool TCustomDecoder::GetFileStreamInfo(TFileStreamInfo& info) {
  info = TFileStreamInfo();
  if (!context_) {
    Fail(llWarning, kNotLoaded);
    return false;
  }
  info.StartTime = context_->start_time == AV_NOPTS_VALUE ? -1 : context_->start_time;
  info.Duration = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
  info.BitRate = clamp32(context_->bit_rate);
  const AVDictionary* m = context_->metadata;
  const std::string created = tag(m, "creation_time");
  int64_t when = 0;
  if (!created.empty() && av_parse_time(&when, created.c_str(), 0) == 0)
    info.Timestamp = when / 1000000;
  info.Year = leadingNumber(tag(m, "year"));
  if (info.Year < 0) info.Year = leadingNumber(tag(m, "date"));
  info.Track = leadingNumber(tag(m, "track"));
  info.Title = tag(m, "title");
  // Today's demuxers name the author "artist".
  info.Author = tag(m, "author");
  if (info.Author.empty()) info.Author = tag(m, "artist");
  info.Copyright = tag(m, "copyright");
  info.Comment = tag(m, "comment");
  info.Album = tag(m, "album");
  info.Genre = tag(m, "genre");
  return true;
}

int TCustomDecoder::ResolveStream(int index, int mediaType, const char* noneText,
                                  const char* kindText) {
  if (!context_) {
    Fail(llWarning, kNotLoaded);
    return -1;
  }
  if (index < 0) {
    const int first = mediaType == AVMEDIA_TYPE_AUDIO ? firstAudioStream_ : firstVideoStream_;
    if (first < 0) Fail(llError, noneText);
    return first;
  }
  if (index >= streamCount_) {
    Fail(llError, "stream index #" + std::to_string(index) + " is invalid.");
    return -1;
  }
  if (context_->streams[index]->codecpar->codec_type != mediaType) {
    Fail(llError, "stream #" + std::to_string(index) + " is not " + kindText + " stream.");
    return -1;
  }
  return index;
}

namespace {

template <typename Info>
void fillCommon(Info& info, const AVStream& stream) {
  info.Language = tag(stream.metadata, "language");
  info.CodecName = CodecText(*stream.codecpar);
  info.StartTimeTicks = stream.start_time;
  info.StartTime = toMicroseconds(stream.start_time, stream.time_base);
  info.DurationTicks = stream.duration;
  info.Duration = toMicroseconds(stream.duration, stream.time_base);
  info.BitRate = clamp32(stream.codecpar->bit_rate);
}

}  // namespace

bool TCustomDecoder::GetAudioStreamInfo(int index, TAudioStreamInfo& info) {
  info = TAudioStreamInfo();
  const int resolved = ResolveStream(index, AVMEDIA_TYPE_AUDIO, "no audio stream.", "audio");
  if (resolved < 0) return false;
  const AVStream* stream = StreamAt(resolved);
  fillCommon(info, *stream);
  info.Channels = stream->codecpar->ch_layout.nb_channels;
  info.SampleRate = stream->codecpar->sample_rate;
  info.SampleFormat = stream->codecpar->format;
  return true;
}

bool TCustomDecoder::GetVideoStreamInfo(int index, TVideoStreamInfo& info) {
  info = TVideoStreamInfo();
  const int resolved = ResolveStream(index, AVMEDIA_TYPE_VIDEO, "no video stream.", "video");
  if (resolved < 0) return false;
  const AVStream* stream = StreamAt(resolved);
  fillCommon(info, *stream);
  const AVCodecParameters& p = *stream->codecpar;
  info.Width = p.width;
  info.Height = p.height;
  // An unknown sample aspect means square pixels, not a picture of no width.
  const double sar = p.sample_aspect_ratio.num > 0 && p.sample_aspect_ratio.den > 0
                         ? av_q2d(p.sample_aspect_ratio)
                         : 1.0;
  info.AspectRatio = p.height > 0 ? static_cast<float>(sar * p.width / p.height) : 0.0f;
  info.PixelFormat = p.format;
  const AVRational rate = stream->avg_frame_rate.num != 0 && stream->avg_frame_rate.den != 0
                              ? stream->avg_frame_rate
                              : stream->r_frame_rate;
  info.FrameRateNum = rate.num;
  info.FrameRateDen = rate.den;
  return true;
}

}  // namespace engine
