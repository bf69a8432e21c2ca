#include "enginebase/ReadWholeFile.h"

#include <sys/stat.h>

#include <cstdio>

extern "C" {
#include <libavutil/mem.h>
}

namespace engine {

void LibraryFree::operator()(void* p) const { av_free(p); }

int ReadWholeFile(const std::string& name, LibraryBuffer& buffer, size_t& size) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return -1;
  // A folder opens too, but has no contents to read.
  struct stat info;
  long length = -1;
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) length = info.st_size;
  if (length < 0) {
    std::fclose(file);
    return -1;
  }
  buffer.reset(static_cast<uint8_t*>(av_malloc(static_cast<size_t>(length) + 1)));
  if (!buffer) {
    std::fclose(file);
    return -12;
  }
  const size_t read = std::fread(buffer.get(), 1, static_cast<size_t>(length), file);
  std::fclose(file);
  buffer[read] = 0;
  size = read + 1;
  return 0;
}

}  // namespace engine
