#include "WavFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace skin {
namespace {

void PutLE(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string WriteWav16(const std::string& path, const std::vector<int16_t>& samples,
                       int sampleRate) {
  const uint32_t channels = 1, bytesPerSample = 2;
  const uint32_t dataSize = static_cast<uint32_t>(samples.size() * bytesPerSample);
  std::string out;
  out.reserve(44 + dataSize);
  out += "RIFF";
  PutLE(out, 36 + dataSize, 4);
  out += "WAVE";
  out += "fmt ";
  PutLE(out, 16, 4);  // size of the format chunk
  PutLE(out, 1, 2);   // PCM
  PutLE(out, channels, 2);
  PutLE(out, static_cast<uint32_t>(sampleRate), 4);
  PutLE(out, static_cast<uint32_t>(sampleRate) * channels * bytesPerSample, 4);
  PutLE(out, channels * bytesPerSample, 2);
  PutLE(out, 16, 2);
  out += "data";
  PutLE(out, dataSize, 4);
  for (int16_t s : samples) PutLE(out, static_cast<uint16_t>(s), 2);

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return "cannot create " + path + ": " + std::strerror(errno);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) return "cannot write " + path + ": " + std::strerror(errno);
  return {};
}

}  // namespace skin
