#include "enginebase/Bitmap.h"

#include <cstdio>
#include <filesystem>

namespace engine {
namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

}  // namespace

void TBitmap::Resize(int width, int height) {
  Width = width > 0 ? width : 0;
  Height = height > 0 ? height : 0;
  Pixels.assign(static_cast<size_t>(RowBytes()) * static_cast<size_t>(Height), 0);
}

bool WriteBmpFile(const TBitmap& bitmap, const std::string& path) {
  if ((bitmap.BitsPerPixel != 24 && bitmap.BitsPerPixel != 32) || bitmap.Empty()) return false;
  const uint32_t imageSize = static_cast<uint32_t>(bitmap.Pixels.size());
  std::vector<uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  put32(header, 14 + 40 + imageSize);
  put32(header, 0);
  put32(header, 14 + 40);
  put32(header, 40);
  put32(header, static_cast<uint32_t>(bitmap.Width));
  put32(header, static_cast<uint32_t>(bitmap.Height));  // positive: bottom-up rows
  put16(header, 1);
  put16(header, static_cast<uint32_t>(bitmap.BitsPerPixel));
  put32(header, 0);  // uncompressed
  put32(header, imageSize);
  put32(header, 2835);  // 72 dpi
  put32(header, 2835);
  put32(header, 0);
  put32(header, 0);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
            std::fwrite(bitmap.Pixels.data(), 1, bitmap.Pixels.size(), file) == imageSize;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  return ok;
}

}  // namespace engine
