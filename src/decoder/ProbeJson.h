#pragma once
// The decoder's records of one open file as one line of JSON: the container, then every
// stream in file order with the record of its kind.

#include <string>

#include "decoder/CustomDecoder.h"

namespace engine {

std::string ProbeJson(TCustomDecoder& decoder);
// A JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace engine
