#include "enginebase/FormatConverter.h"

#include <algorithm>
#include <cstring>

#include "enginebase/FFmpegException.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace engine {
namespace {

struct DepthRow {
  int depth;
  int bitsPerPixel;
  AVPixelFormat format;
};
constexpr DepthRow kDepths[] = {{8, 8, AV_PIX_FMT_BGR8},
                                {15, 16, AV_PIX_FMT_BGR555LE},
                                {16, 16, AV_PIX_FMT_BGR565LE},
                                {24, 24, AV_PIX_FMT_BGR24},
                                {32, 32, AV_PIX_FMT_BGRA}};

const DepthRow& rowOf(int depth) {
  for (const auto& r : kDepths)
    if (r.depth == depth) return r;
  return kDepths[3];
}

// Rows of the conversion buffer are aligned for the scaler's vector code.
constexpr int kBufferAlign = 32;

}  // namespace

TFormatConverter::TFormatConverter() { bitmap_.BitsPerPixel = 24; }

int TFormatConverter::BitsPerPixel() const { return rowOf(depth_).bitsPerPixel; }
int TFormatConverter::PixelFormat() const { return rowOf(depth_).format; }

void TFormatConverter::SetBitsPixel(int depth) {
  // Compared by depth, not by bits per pixel: 15 and 16 share 16 bits but not the format.
  if (depth == depth_) return;
  bool known = false;
  for (const auto& r : kDepths) known = known || r.depth == depth;
  if (!known) throw FFmpegException("Invalid BitsPixel " + std::to_string(depth));
  depth_ = depth;
  ClearPicture();
  bitmap_.BitsPerPixel = rowOf(depth).bitsPerPixel;
  bitmap_.Depth = depth == bitmap_.BitsPerPixel ? 0 : depth;
  bitmap_.Resize(bitmap_.Width, bitmap_.Height);
}

void TFormatConverter::ClearPicture() {
  picture_ = TPictureInfo();
  current_ = nullptr;
  currentLinesize_ = 0;
}

bool TFormatConverter::ToRGB(const uint8_t* const data[4], const int linesize[4], int pixelFormat,
                             bool copy, int height, int width) {
  if (width <= 0 || height <= 0 || !data || !data[0]) {
    ClearPicture();
    lastError_ = "Cannot initialize the toRGB conversion context";
    return false;
  }
  bitmap_.BitsPerPixel = BitsPerPixel();
  bitmap_.Depth = depth_ == bitmap_.BitsPerPixel ? 0 : depth_;
  if (bitmap_.Width != width || bitmap_.Height != height) bitmap_.Resize(width, height);
  const AVPixelFormat target = rowOf(depth_).format;
  const bool needed =
      pixelFormat != target || (width & 1) || (height & 1) || linesize[0] != bitmap_.RowBytes();
  if (needed) {
    const int size = av_image_get_buffer_size(target, width, height, kBufferAlign);
    if (size < 0) {
      ClearPicture();
      lastError_ = "Cannot initialize the toRGB conversion context";
      return false;
    }
    if (!buffer_ || capacity_ < static_cast<size_t>(size)) {
      buffer_.reset(static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size))));
      capacity_ = buffer_ ? static_cast<size_t>(size) : 0;
    }
    toRGB_.reset(sws_getCachedContext(toRGB_.release(), width, height,
                                      static_cast<AVPixelFormat>(pixelFormat), width, height,
                                      target, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!buffer_ || !toRGB_) {
      ClearPicture();
      lastError_ = "Cannot initialize the toRGB conversion context";
      return false;
    }
    uint8_t* planes[4] = {nullptr};
    int lines[4] = {0};
    av_image_fill_arrays(planes, lines, buffer_.get(), target, width, height, kBufferAlign);
    sws_scale(toRGB_.get(), data, linesize, 0, height, planes, lines);
    current_ = planes[0];
    currentLinesize_ = lines[0];
  } else {
    // The caller's picture already is the bitmap's layout: no copy.
    current_ = const_cast<uint8_t*>(data[0]);
    currentLinesize_ = linesize[0];
  }
  width_ = width;
  height_ = height;
  picture_.Type = 0;
  picture_.Width = width;
  picture_.Height = height;
  picture_.BytesPerRow = currentLinesize_;
  picture_.Planes = 1;
  picture_.BitsPixel = static_cast<uint16_t>(BitsPerPixel());
  picture_.Bits = current_;
  if (copy) CopyToBitmap();
  return true;
}

bool TFormatConverter::CopyToBitmap() {
  if (!current_) return false;
  const int rows = std::min(bitmap_.Height, height_);
  const size_t bytes = static_cast<size_t>(std::min(currentLinesize_, bitmap_.RowBytes()));
  for (int y = 0; y < rows; ++y)
    std::memcpy(bitmap_.Row(y), current_ + static_cast<ptrdiff_t>(y) * currentLinesize_, bytes);
  return true;
}

bool TFormatConverter::CopyFromBitmap() {
  if (!current_) return false;
  const int rows = std::min(bitmap_.Height, height_);
  const size_t bytes = static_cast<size_t>(std::min(currentLinesize_, bitmap_.RowBytes()));
  for (int y = 0; y < rows; ++y)
    std::memcpy(current_ + static_cast<ptrdiff_t>(y) * currentLinesize_, bitmap_.Row(y), bytes);
  return true;
}

bool TFormatConverter::FromRGB(uint8_t* const data[4], const int linesize[4], int pixelFormat,
                               int height, int width) {
  if (!current_) return false;
  if (width != width_ || height != height_) {
    // The scaler would read past the current picture.
    lastError_ = "Cannot initialize the fromRGB conversion context";
    return false;
  }
  const AVPixelFormat source = rowOf(depth_).format;
  fromRGB_.reset(sws_getCachedContext(fromRGB_.release(), width, height, source, width, height,
                                      static_cast<AVPixelFormat>(pixelFormat), SWS_BICUBIC, nullptr,
                                      nullptr, nullptr));
  if (!fromRGB_) {
    lastError_ = "Cannot initialize the fromRGB conversion context";
    return false;
  }
  const uint8_t* const src[4] = {current_, nullptr, nullptr, nullptr};
  const int srcLines[4] = {currentLinesize_, 0, 0, 0};
  sws_scale(fromRGB_.get(), src, srcLines, 0, height, data, linesize);
  return true;
}

}  // namespace engine
