#pragma once
// The picture the task list shows for a file: the first picture decoded from half the
// duration (from the start when the container tells no duration).

#include <cstdint>

#include "decoder/FFDecoder.h"

namespace engine {

// For an open file. at: microseconds, or negative for half the duration. False (with the
// decoder's LastErrorMessage) when the file has no video or no picture can be decoded.
bool GrabThumbnail(TFFDecoder& decoder, TBitmap& bitmap, int64_t at = -1);

}  // namespace engine
