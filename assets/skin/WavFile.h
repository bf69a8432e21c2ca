#pragma once
// A minimal writer for 16-bit PCM WAV files.

#include <cstdint>
#include <string>
#include <vector>

namespace skin {

// Writes mono samples at `sampleRate`. Returns an empty text, or why it failed.
std::string WriteWav16(const std::string& path, const std::vector<int16_t>& samples,
                       int sampleRate);

}  // namespace skin
