#include "appcore/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "appcore/AppError.h"

namespace app {

namespace {

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded (a deferred write error shows here).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The process's file-creation mask, read without changing it (umask() would change it for
// a moment under the feet of other threads).
mode_t currentUmask() {
  FileDescriptor fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (fd.get() >= 0) {
    char buffer[4096];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer - 1);
    if (n > 0) {
      buffer[n] = '\0';
      if (const char* line = std::strstr(buffer, "Umask:")) {
        return static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8)) & 0777;
      }
    }
  }
  return 022;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw FileOpenError(path, errno);
  std::string bytes;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileOpenError(path, errno);
    }
    if (n == 0) break;
    bytes.append(buffer.data(), static_cast<size_t>(n));
  }
  return bytes;
}

void WriteFileReplacing(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path);
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();

  FileDescriptor fd(::mkstemp(temporary.data()));
  if (fd.get() < 0) throw AppError(WriteErrorText(path));
  bool ok = writeAll(fd.get(), bytes);
  // The temporary file is private; give the result the permissions of the file it
  // replaces, or those of a newly created file.
  struct stat old {};
  const mode_t mode =
      ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~currentUmask());
  ok = ok && ::fchmod(fd.get(), mode) == 0;
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.close() && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    throw AppError(WriteErrorText(path));
  }
  // Make the rename itself durable; a failure here leaves a complete file either way.
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace app
