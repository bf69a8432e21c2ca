#pragma once
// Reads a whole file into one NUL-terminated buffer from the library allocator.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine {

struct LibraryFree {
  void operator()(void* p) const;
};
using LibraryBuffer = std::unique_ptr<uint8_t[], LibraryFree>;

// 0 on success: buffer holds the bytes and a NUL, size is the bytes read plus one.
// -1 when the file cannot be opened, -12 when the buffer cannot be allocated.
int ReadWholeFile(const std::string& name, LibraryBuffer& buffer, size_t& size);

}  // namespace engine
