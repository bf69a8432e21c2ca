#include "decoder/CodecText.h"

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace engine {
namespace {

std::string trimmed(const char* text, size_t limit) {
  std::string s(text, strnlen(text, limit));
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::string CodecText(const AVCodecParameters& parameters) {
  if (const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id)) {
    const std::string longName = decoder->long_name ? trimmed(decoder->long_name, 1024) : "";
    if (!longName.empty()) return std::string(decoder->name) + "(" + longName + ")";
    return decoder->name;
  }
  if (parameters.codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  if (parameters.codec_id != AV_CODEC_ID_NONE) {
    const std::string name = trimmed(avcodec_get_name(parameters.codec_id), 32);
    if (!name.empty()) return name;
  }
  const unsigned tag = parameters.codec_tag;
  char text[64];
  bool printable = true;
  for (int i = 0; i < 4; ++i) {
    const unsigned c = (tag >> (8 * i)) & 0xFF;
    printable = printable && c >= 32 && c <= 126;
  }
  if (printable)
    std::snprintf(text, sizeof text, "%c%c%c%c / 0x%04X", tag & 0xFF, (tag >> 8) & 0xFF,
                  (tag >> 16) & 0xFF, (tag >> 24) & 0xFF, tag);
  else
    std::snprintf(text, sizeof text, "0x%04x", tag);
  return text;
}

}  // namespace engine
