#pragma once
// The decoder with seeking and one-picture decoding, for thumbnails: seek to a time,
// decode the next picture of a video stream and hand it over as an RGB bitmap. Seeking and
// decoding need a file the decoder opened itself (LoadFile), never an attached one.

#include <cstdint>

#include "decoder/CustomDecoder.h"
#include "enginebase/FormatConverter.h"
#include "enginebase/LibraryPtr.h"

namespace engine {

class TFFDecoder : public TCustomDecoder {
 public:
  static constexpr int kSeekBackward = 1;
  static constexpr int kSeekByte = 2;
  static constexpr int kSeekAny = 4;

  TFFDecoder();
  ~TFFDecoder() override;

  void CloseFile() override;

  // position: microseconds, or bytes with kSeekByte. Throws FFmpegException on an
  // attached file.
  bool Seek(int flags, int64_t position);
  // A negative index: the stream decoded last, else the first video stream.
  bool DecodeVideoFrame(int streamIndex = -1);
  // The decoded picture as a bitmap at the converter's depth (24 bits by default). Without
  // a convertible picture the bitmap is black at the picture's size and the result false.
  bool PictureToBitmap(TBitmap& bitmap);

  TFormatConverter& Converter() { return converter_; }
  bool PictureReady() const { return pictureReady_; }
  // The decoded picture's time in microseconds, from the decoded stream's start.
  int64_t PicturePTS() const { return picturePts_; }
  int PictureWidth() const { return picture_ ? picture_->width : 0; }
  int PictureHeight() const { return picture_ ? picture_->height : 0; }
  int PicturePixelFormat() const { return picture_ ? picture_->format : -1; }
  bool PictureInterlaced() const { return interlaced_; }
  int PictureType() const { return pictureType_; }
  int64_t PacketDTS() const { return packetDts_; }
  int64_t PacketPTS() const { return packetPts_; }
  int PacketStreamIndex() const { return packetStreamIndex_; }
  int64_t PictureBytePosition() const { return bytePosition_; }
  int ReferenceStream() const { return referenceStream_; }
  bool EndOfFile() const { return eof_; }

 protected:
  void InformationFilled() override;

 private:
  bool RequireOwnedFile();
  void ResetPicture();
  bool OpenStreamDecoder(int streamIndex);
  void CloseStreamDecoder();
  bool TakePicture(const AVPacket* packet);
  bool ReachedEnd();

  TFormatConverter converter_;
  int referenceStream_ = -1;
  int64_t referenceStartTime_ = 0;
  int decodingStream_ = -1;
  int openCodecStream_ = -1;
  CodecContextPtr codec_;
  bool draining_ = false;
  bool eof_ = false;
  FramePtr picture_;
  FramePtr scratch_;
  PacketPtr packet_;
  bool pictureReady_ = false;
  bool interlaced_ = false;
  int pictureType_ = 0;
  int64_t picturePts_ = -1;
  int64_t previousPts_ = -1;
  int64_t packetDts_ = -1;
  int64_t packetPts_ = -1;
  int packetStreamIndex_ = -1;
  int64_t bytePosition_ = -1;
  int64_t previousBytePosition_ = -1;
};

}  // namespace engine
