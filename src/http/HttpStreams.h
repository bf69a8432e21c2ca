#pragma once
// The output streams of a transfer: memory, or the output file.

#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace http {

class THttpStream {
 public:
  virtual ~THttpStream() = default;
  virtual bool Write(const char* data, size_t n) = 0;
  // Reads up to n bytes at the current position; returns how many were read.
  virtual size_t Read(char* data, size_t n) = 0;
  virtual bool Seek(int64_t pos) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
};

// The body in memory. Big bodies take their memory straight from the system, in huge
// pages where it allows them: filling hundreds of megabytes page by page costs more than
// receiving them.
class TMemoryStream : public THttpStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  void Reserve(size_t n);
  bool Write(const char* data, size_t n) override;
  size_t Read(char* data, size_t n) override;
  bool Seek(int64_t pos) override;
  int64_t Position() const override { return static_cast<int64_t>(pos_); }
  int64_t Size() const override { return static_cast<int64_t>(size_); }
  const char* Data() const { return data_; }
  std::string Text() const { return std::string(data_, size_); }

 private:
  void Grow(size_t needed);
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t pos_ = 0;
};

enum TWinHTTPFileAttribute {
  atrArchive,
  atrHidden,
  atrReadOnly,
  atrSystem,
  atrTemporary,
  atrOffline
};
using TWinHTTPFileAttributes = std::set<TWinHTTPFileAttribute>;

// Applies what Linux can express of the attributes: read-only clears the write permission,
// its absence gives the owner write permission back. The others have no counterpart.
bool ApplyFileAttributes(const std::string& path, const TWinHTTPFileAttributes& attributes);

// The output file, opened for reading and writing.
class TWinHTTPFileStream : public THttpStream {
 public:
  // truncate: created anew; otherwise opened, or created when missing.
  TWinHTTPFileStream(const std::string& path, bool truncate);
  // A new file with an unused name in the folder of `path`, for a body that replaces
  // that file only once it is complete. Not open when none could be made.
  static std::unique_ptr<TWinHTTPFileStream> CreateBeside(const std::string& path);
  ~TWinHTTPFileStream() override;
  TWinHTTPFileStream(const TWinHTTPFileStream&) = delete;
  TWinHTTPFileStream& operator=(const TWinHTTPFileStream&) = delete;
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  bool Write(const char* data, size_t n) override;
  size_t Read(char* data, size_t n) override;
  bool Seek(int64_t pos) override;
  int64_t Position() const override;
  int64_t Size() const override;
  void Close();

 private:
  TWinHTTPFileStream() = default;
  std::string path_;
  int fd_ = -1;
};

}  // namespace http
