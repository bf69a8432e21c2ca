#pragma once
// A packed RGB picture laid out like a device-independent bitmap: rows bottom-up (the top
// image row at the highest address), each row padded to a multiple of 4 bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct TBitmap {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 24;
  // The colour depth when it differs from the bits per pixel: 15 for 16-bit pixels of five
  // bits per colour (then the top bit is unused). 0: the same as BitsPerPixel.
  int Depth = 0;
  std::vector<uint8_t> Pixels;

  int RowBytes() const { return ((Width * BitsPerPixel + 31) / 32) * 4; }
  // Image row y (0 = top), which is stored last.
  uint8_t* Row(int y) { return Pixels.data() + static_cast<size_t>(Height - 1 - y) * RowBytes(); }
  const uint8_t* Row(int y) const {
    return Pixels.data() + static_cast<size_t>(Height - 1 - y) * RowBytes();
  }
  // New size; the contents are black.
  void Resize(int width, int height);
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

// Writes a 24- or 32-bit bitmap as a BMP file. False (and nothing left behind) when the
// depth is another or the file cannot be written.
bool WriteBmpFile(const TBitmap& bitmap, const std::string& path);

}  // namespace engine
