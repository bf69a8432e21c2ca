#include "http/HttpStreams.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <cerrno>
#include <cstring>
#include <new>

namespace http {

namespace {

constexpr size_t kBigBody = 4 * 1024 * 1024;

void* allocateBody(size_t bytes) {
  if (bytes < kBigBody) return ::operator new(bytes);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  madvise(p, bytes, MADV_HUGEPAGE);  // a hint; without huge pages it is plain memory
  return p;
}

void freeBody(void* p, size_t bytes) {
  if (!p) return;
  if (bytes < kBigBody) {
    ::operator delete(p);
  } else {
    munmap(p, bytes);
  }
}

}  // namespace

TMemoryStream::~TMemoryStream() { freeBody(data_, capacity_); }

void TMemoryStream::Reserve(size_t n) {
  if (n > capacity_) Grow(n);
}

void TMemoryStream::Grow(size_t needed) {
  size_t capacity = std::max<size_t>(capacity_ * 2, 4096);
  if (capacity < needed) capacity = needed;
  if (capacity_ >= kBigBody) {
    // The system moves the pages instead of copying them, so that growing never holds
    // the body twice; pages not yet written take no memory.
    void* p = mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, capacity, MADV_HUGEPAGE);
    data_ = static_cast<char*>(p);
    capacity_ = capacity;
    return;
  }
  char* fresh = static_cast<char*>(allocateBody(capacity));
  if (size_) std::memcpy(fresh, data_, size_);
  freeBody(data_, capacity_);
  data_ = fresh;
  capacity_ = capacity;
}

bool TMemoryStream::Write(const char* data, size_t n) {
  if (pos_ + n > capacity_) Grow(pos_ + n);
  if (pos_ > size_) std::memset(data_ + size_, 0, pos_ - size_);
  std::memcpy(data_ + pos_, data, n);
  pos_ += n;
  size_ = std::max(size_, pos_);
  return true;
}

size_t TMemoryStream::Read(char* data, size_t n) {
  const size_t count = pos_ < size_ ? std::min(n, size_ - pos_) : 0;
  if (count) std::memcpy(data, data_ + pos_, count);
  pos_ += count;
  return count;
}

bool TMemoryStream::Seek(int64_t pos) {
  if (pos < 0) return false;
  pos_ = static_cast<size_t>(pos);
  return true;
}

bool ApplyFileAttributes(const std::string& path, const TWinHTTPFileAttributes& attributes) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes.count(atrReadOnly)) {
    mode &= ~static_cast<mode_t>(0222);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return chmod(path.c_str(), mode) == 0;
}

TWinHTTPFileStream::TWinHTTPFileStream(const std::string& path, bool truncate) : path_(path) {
  const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  do {
    fd_ = ::open(path.c_str(), flags, 0666);
  } while (fd_ < 0 && errno == EINTR);
}

std::unique_ptr<TWinHTTPFileStream> TWinHTTPFileStream::CreateBeside(const std::string& path) {
  std::unique_ptr<TWinHTTPFileStream> file(new TWinHTTPFileStream());
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100 && file->fd_ < 0; ++attempt) {
    file->path_ = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    file->fd_ = ::open(file->path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file->fd_ < 0 && errno != EEXIST && errno != EINTR) break;
  }
  return file;
}

TWinHTTPFileStream::~TWinHTTPFileStream() { Close(); }

void TWinHTTPFileStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TWinHTTPFileStream::Write(const char* data, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd_, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

size_t TWinHTTPFileStream::Read(char* data, size_t n) {
  size_t total = 0;
  while (total < n) {
    const ssize_t r = ::read(fd_, data + total, n - total);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    total += static_cast<size_t>(r);
  }
  return total;
}

bool TWinHTTPFileStream::Seek(int64_t pos) {
  return fd_ >= 0 && ::lseek(fd_, pos, SEEK_SET) == pos;
}

int64_t TWinHTTPFileStream::Position() const { return fd_ >= 0 ? ::lseek(fd_, 0, SEEK_CUR) : -1; }

int64_t TWinHTTPFileStream::Size() const {
  struct stat st {};
  return fd_ >= 0 && fstat(fd_, &st) == 0 ? st.st_size : -1;
}

}  // namespace http
