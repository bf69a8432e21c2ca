#pragma once
// Turns a decoded picture into a packed RGB bitmap and back (frame grabs, preview, video
// hooks). A picture already in the chosen RGB format with even dimensions and rows padded
// like the bitmap's is used as it is, without a copy.

#include <cstdint>
#include <string>

#include "enginebase/Bitmap.h"
#include "enginebase/LibraryPtr.h"
#include "enginebase/ReadWholeFile.h"

namespace engine {

// The current RGB picture as a bitmap-style description.
struct TPictureInfo {
  int Type = 0;
  int Width = 0;
  int Height = 0;
  int BytesPerRow = 0;
  uint16_t Planes = 1;
  uint16_t BitsPixel = 0;
  uint8_t* Bits = nullptr;  // first (top) row
};

class TFormatConverter {
 public:
  TFormatConverter();

  // 8, 15, 16, 24 or 32; anything else throws FFmpegException("Invalid BitsPixel %d").
  void SetBitsPixel(int depth);
  int Depth() const { return depth_; }
  int BitsPerPixel() const;
  // The library pixel format of the chosen depth.
  int PixelFormat() const;

  bool ToRGB(const uint8_t* const data[4], const int linesize[4], int pixelFormat, bool copy,
             int height, int width);
  // Both need a current picture (after a successful ToRGB); false without one.
  bool CopyToBitmap();
  bool CopyFromBitmap();
  bool FromRGB(uint8_t* const data[4], const int linesize[4], int pixelFormat, int height,
               int width);

  const TBitmap& Bitmap() const { return bitmap_; }
  TBitmap& Bitmap() { return bitmap_; }
  const TPictureInfo& Picture() const { return picture_; }
  // True when the last ToRGB used the caller's picture directly.
  bool UsesCallerPicture() const { return current_ && current_ != buffer_.get(); }
  const std::string& LastError() const { return lastError_; }

 private:
  void ClearPicture();

  int depth_ = 24;
  TBitmap bitmap_;
  LibraryBuffer buffer_;
  size_t capacity_ = 0;
  uint8_t* current_ = nullptr;  // first row of the current RGB picture
  int currentLinesize_ = 0;
  int width_ = 0;
  int height_ = 0;
  TPictureInfo picture_;
  SwsContextPtr toRGB_;
  SwsContextPtr fromRGB_;
  std::string lastError_;
};

}  // namespace engine
