#include "decoder/FFDecoder.h"

#include <cstdio>
#include <mutex>

#include "enginebase/FFmpegException.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace engine {
namespace {

constexpr const char* kNotLoaded = "file not loaded.";
constexpr const char* kReadOnly = "file cannot be seeked, handle is readonly.";
constexpr const char* kEof = "stream eof reached.";

std::string format(const char* pattern, double value) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

}  // namespace

TFFDecoder::TFFDecoder()
    : picture_(av_frame_alloc()), scratch_(av_frame_alloc()), packet_(av_packet_alloc()) {
  if (!picture_ || !scratch_ || !packet_) throw FFmpegException("out of memory");
}

TFFDecoder::~TFFDecoder() { TFFDecoder::CloseFile(); }

void TFFDecoder::CloseFile() {
  CloseStreamDecoder();
  ResetPicture();
  decodingStream_ = -1;
  referenceStream_ = -1;
  referenceStartTime_ = 0;
  eof_ = false;
  TCustomDecoder::CloseFile();
}

void TFFDecoder::InformationFilled() {
  CloseStreamDecoder();
  ResetPicture();
  decodingStream_ = -1;
  eof_ = false;
  referenceStream_ = FirstVideoStream() >= 0 ? FirstVideoStream() : FirstAudioStream();
  if (referenceStream_ >= 0) {
    const int64_t start = StreamAt(referenceStream_)->start_time;
    referenceStartTime_ = start == AV_NOPTS_VALUE ? 0 : start;
  } else {
    referenceStartTime_ = context_->start_time == AV_NOPTS_VALUE ? 0 : context_->start_time;
  }
}

void TFFDecoder::ResetPicture() {
  av_frame_unref(picture_.get());
  av_packet_unref(packet_.get());
  pictureReady_ = false;
  interlaced_ = false;
  pictureType_ = 0;
  picturePts_ = previousPts_ = -1;
  packetDts_ = packetPts_ = -1;
  packetStreamIndex_ = -1;
  bytePosition_ = previousBytePosition_ = -1;
}

void TFFDecoder::CloseStreamDecoder() {
  if (codec_) {
    std::lock_guard<std::mutex> lock(CodecLock());
    codec_.reset();
  }
  openCodecStream_ = -1;
  draining_ = false;
}

bool TFFDecoder::RequireOwnedFile() {
  if (!context_) {
    Fail(llWarning, kNotLoaded);
    return false;
  }
  if (!owned_) {
    Fail(llWarning, kReadOnly);
    throw FFmpegException(kReadOnly);
  }
  return true;
}

bool TFFDecoder::Seek(int flags, int64_t position) {
  if (!RequireOwnedFile()) return false;
  if (FormatName() == "image2") {
    Note(llInfo, "\"image2\" format cannot to be seeked.");
    return false;
  }
  if (context_->pb)
    Note(llDebug, "current position " + std::to_string(avio_tell(context_->pb)) + " bytes");
  const bool byBytes = flags & kSeekByte;
  const int64_t requested = position < 0 ? 0 : position;
  int64_t target = requested;
  if (!byBytes) {
    if (referenceStream_ >= 0)
      target = av_rescale_q(target, AV_TIME_BASE_Q, StreamAt(referenceStream_)->time_base);
    if (referenceStartTime_ > 0) target += referenceStartTime_;
  }
  if (codec_) avcodec_flush_buffers(codec_.get());
  draining_ = false;
  eof_ = false;
  ResetPicture();
  const int libraryFlags = flags & 0xF;
  ScopedBlockingCall blocking(*this);
  int result;
  if (requested > 0) {
    result = av_seek_frame(context_, byBytes ? -1 : referenceStream_, target, libraryFlags);
  } else {
    // The start: backwards first; some demuxers only find it the other way.
    const int stream = byBytes ? -1 : referenceStream_;
    result = av_seek_frame(context_, stream, target, libraryFlags | AVSEEK_FLAG_BACKWARD);
    if (result < 0)
      result = av_seek_frame(context_, stream, target, libraryFlags & ~AVSEEK_FLAG_BACKWARD);
    // Raw streams without timestamps cannot seek by time, but their start is byte 0.
    if (result < 0 && !byBytes)
      result = av_seek_frame(context_, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
  }
  if (result < 0 && !InterruptText().empty()) {
    Fail(llError, InterruptText());
    return false;
  }
  if (result < 0) {
    if (byBytes)
      Fail(llError, "could not seek to position " + std::to_string(requested) + " bytes");
    else
      Fail(llError, format("could not seek to position %0.3f seconds", requested / 1000000.0));
    return false;
  }
  if (context_->pb) {
    Note(llDebug, "seek to position " + std::to_string(avio_tell(context_->pb)) + " bytes");
    if (avio_feof(context_->pb)) {
      Note(llInfo, kEof);
      eof_ = true;
      return false;
    }
  }
  return true;
}

bool TFFDecoder::OpenStreamDecoder(int streamIndex) {
  if (codec_ && openCodecStream_ == streamIndex) return true;
  const AVCodecParameters* parameters = StreamAt(streamIndex)->codecpar;
  if (parameters->width <= 0 || parameters->height <= 0) {
    Fail(llError, "frame size of codec is invalid.");
    return false;
  }
  CloseStreamDecoder();
  const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
  if (!decoder) {
    Fail(llError, "Unsupported codec (id=" + std::to_string(parameters->codec_id) +
                      ") for input file stream #" + std::to_string(streamIndex));
    return false;
  }
  CodecContextPtr codec(avcodec_alloc_context3(decoder));
  const std::string openError =
      "Error while opening codec for input file stream #" + std::to_string(streamIndex);
  if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0) {
    Fail(llError, openError);
    return false;
  }
  codec->pkt_timebase = StreamAt(streamIndex)->time_base;
  codec->thread_count = 0;  // as many as the machine has
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
      Fail(llError, openError);
      return false;
    }
  }
  codec_ = std::move(codec);
  openCodecStream_ = streamIndex;
  draining_ = false;
  return true;
}

bool TFFDecoder::TakePicture(const AVPacket* packet) {
  const AVStream* stream = StreamAt(decodingStream_);
  av_frame_unref(picture_.get());
  av_frame_move_ref(picture_.get(), scratch_.get());
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
  interlaced_ = (picture_->flags & AV_FRAME_FLAG_INTERLACED) != 0;
#else
  interlaced_ = picture_->interlaced_frame != 0;
#endif
  pictureType_ = picture_->pict_type >= 0 && picture_->pict_type <= 7 ? picture_->pict_type : 0;
  // The library's corrected presentation time; without one the time of the packet that
  // completed the picture, else the picture's own, else the packet's. (The completing
  // packet's decoding time alone lags behind by the reorder delay on streams with
  // B-pictures.)
  int64_t ticks = picture_->best_effort_timestamp;
  if (ticks == AV_NOPTS_VALUE) ticks = picture_->pkt_dts;
  if (ticks == AV_NOPTS_VALUE) ticks = picture_->pts;
  if (ticks == AV_NOPTS_VALUE && packet) ticks = packet->pts;
  if (ticks != AV_NOPTS_VALUE && stream->start_time != AV_NOPTS_VALUE) ticks -= stream->start_time;
  previousPts_ = picturePts_;
  picturePts_ =
      ticks == AV_NOPTS_VALUE ? -1 : av_rescale_q(ticks, stream->time_base, AV_TIME_BASE_Q);
  if (packet) {
    packetDts_ = packet->dts == AV_NOPTS_VALUE ? -1 : packet->dts;
    packetPts_ = packet->pts == AV_NOPTS_VALUE ? -1 : packet->pts;
    packetStreamIndex_ = packet->stream_index;
  }
  char line[160];
  std::snprintf(line, sizeof line, "pkt.st_idx=%d, dts=%lld, pts=%lld, flags=%d, pict_type=%d",
                packetStreamIndex_, static_cast<long long>(packetDts_),
                static_cast<long long>(packetPts_), packet ? packet->flags : 0, pictureType_);
  Note(llDebug, line);
  Note(llDebug, format("decode PTS: %0.3f", picturePts_ / 1000000.0));
  pictureReady_ = true;
  return true;
}

bool TFFDecoder::ReachedEnd() {
  Note(llInfo, kEof);
  eof_ = true;
  return false;
}

bool TFFDecoder::DecodeVideoFrame(int streamIndex) {
  if (!RequireOwnedFile()) return false;
  int chosen;
  if (streamIndex < 0) {
    chosen = decodingStream_ >= 0 ? decodingStream_ : FirstVideoStream();
    if (chosen < 0) {
      Fail(llError, "no video stream.");
      return false;
    }
  } else if (streamIndex >= StreamCount()) {
    Fail(llError, "stream index #" + std::to_string(streamIndex) + " is invalid.");
    return false;
  } else if (context_->streams[streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    Fail(llError, "stream #" + std::to_string(streamIndex) + " is not video stream.");
    return false;
  } else {
    chosen = streamIndex;
  }
  if (chosen != decodingStream_) {
    ResetPicture();
    decodingStream_ = chosen;
  }
  if (pictureReady_ && FormatName() == "image2") return true;
  if (eof_) {
    Note(llInfo, kEof);
    return false;
  }
  if (!OpenStreamDecoder(chosen)) return false;

  previousBytePosition_ = bytePosition_;
  bytePosition_ = context_->pb ? avio_tell(context_->pb) : -1;
  ScopedBlockingCall blocking(*this);
  for (;;) {
    // A picture the decoder already holds comes first.
    const int received = avcodec_receive_frame(codec_.get(), scratch_.get());
    if (received == 0) return TakePicture(packet_->data ? packet_.get() : nullptr);
    if (received == AVERROR_EOF) return ReachedEnd();
    if (draining_) return ReachedEnd();  // a decoder that fails while draining has no more

    av_packet_unref(packet_.get());
    const int read = av_read_frame(context_, packet_.get());
    if (read < 0 && !InterruptText().empty()) {
      Fail(llError, InterruptText());
      return false;
    }
    if (read == AVERROR(EAGAIN)) {
      Note(llInfo, "no data, please try again.");
      return false;
    }
    if (read == AVERROR_EOF || (read < 0 && context_->pb && avio_feof(context_->pb))) {
      // The decoder may still hold pictures of the last packets: ask for them first.
      draining_ = true;
      avcodec_send_packet(codec_.get(), nullptr);
      continue;
    }
    if (read < 0) {
      Note(llInfo, "unknown error #" + std::to_string(read) + ".");
      return false;
    }
    if (packet_->stream_index != chosen) continue;
    // A damaged packet is skipped like one without a picture; reading goes on.
    avcodec_send_packet(codec_.get(), packet_.get());
  }
}

bool TFFDecoder::PictureToBitmap(TBitmap& bitmap) {
  if (!pictureReady_) {
    Fail(llError, "picture not ready, please decode first");
    return false;
  }
  const bool converted = converter_.ToRGB(picture_->data, picture_->linesize, picture_->format,
                                          true, picture_->height, picture_->width);
  if (converted) {
    bitmap = converter_.Bitmap();
  } else {
    bitmap.BitsPerPixel = converter_.BitsPerPixel();
    bitmap.Resize(picture_->width, picture_->height);
    Fail(llError, converter_.LastError());
  }
  return converted;
}

}  // namespace engine
