#include "convert/OutputFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

namespace convert {

bool PrepareOutputFolder(const std::string& folder) {
  if (folder.empty()) return false;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path(folder);
  fs::create_directories(path, ec);
  if (!fs::is_directory(path, ec)) return false;
  // Permission bits do not tell (they do not bind the superuser, and a read-only mount
  // ignores them): a file is made and removed again.
  static std::atomic<unsigned> counter{0};
  const fs::path probe = path / (".wizconv-write-" + std::to_string(getpid()) + "-" +
                                 std::to_string(counter++));
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace convert
