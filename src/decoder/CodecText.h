#pragma once
// The codec text shown for a stream: "name(long name)" of the registered decoder, or
// whatever the stream itself tells when no decoder is installed for it.

#include <string>

struct AVCodecParameters;

namespace engine {

std::string CodecText(const AVCodecParameters& parameters);

}  // namespace engine
