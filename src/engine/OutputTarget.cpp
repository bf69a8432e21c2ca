#include "engine/OutputTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

extern "C" {
#include <libavutil/error.h>
}

namespace engine {
namespace {

namespace fs = std::filesystem;

// The library reads "name:" as a protocol when the name is made of these characters.
bool ProtocolCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// Six characters that make a temporary name unlikely to be taken already.
std::string RandomTag() {
  static std::atomic<uint64_t> counter{0};
  static const uint64_t seed = std::random_device{}() ^
                               static_cast<uint64_t>(std::chrono::steady_clock::now()
                                                         .time_since_epoch()
                                                         .count());
  std::mt19937_64 generator(seed + 0x9E3779B97F4A7C15ull * ++counter);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string tag;
  for (int i = 0; i < 6; ++i) tag += kLetters[generator() % (sizeof kLetters - 1)];
  return tag;
}

// Removes the reserving file when it is still the empty file this target made.
void DropReservation(TOutputTarget& target) {
  if (!target.Reserved) return;
  target.Reserved = false;
  struct stat info {};
  if (lstat(target.FinalPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size == 0 && info.st_dev == target.ReservedDevice &&
      info.st_ino == target.ReservedInode)
    unlink(target.FinalPath.c_str());
}

}  // namespace

std::string LocalPath(const std::string& name) {
  if (name.rfind("file:", 0) == 0) return name.substr(5);
  const size_t colon = name.find(':');
  if (colon != std::string::npos && colon > 0) {
    bool protocol = true;
    for (size_t i = 0; i < colon && protocol; ++i) protocol = ProtocolCharacter(name[i]);
    if (protocol) return "";
  }
  return name;
}

bool SameLocalFile(const std::string& a, const std::string& b) {
  const std::string pathA = LocalPath(a), pathB = LocalPath(b);
  if (pathA.empty() || pathB.empty()) return false;
  struct stat infoA {}, infoB {};
  if (stat(pathA.c_str(), &infoA) == 0 && stat(pathB.c_str(), &infoB) == 0)
    return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
  std::error_code ec;
  const fs::path fullA = fs::weakly_canonical(fs::absolute(pathA, ec), ec);
  if (ec) return false;
  const fs::path fullB = fs::weakly_canonical(fs::absolute(pathB, ec), ec);
  if (ec) return false;
  return fullA == fullB;
}

int PrepareOutputTarget(const std::string& fileName, TOutputTarget& target) {
  target = TOutputTarget{};
  target.FinalName = fileName;
  const std::string local = LocalPath(fileName);
  if (local.empty()) {  // another protocol writes in place
    target.HasFile = true;
    return 0;
  }
  target.FinalPath = local;

  struct stat info {};
  bool exists = lstat(local.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) return AVERROR(errno);
  if (!exists) {
    // Reserve the name: output naming and other programs see it taken from now on.
    const int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat made {};
      fstat(fd, &made);
      close(fd);
      target.Reserved = true;
      target.ReservedDevice = made.st_dev;
      target.ReservedInode = made.st_ino;
    } else if (errno == EEXIST) {
      exists = lstat(local.c_str(), &info) == 0;
    } else {
      return AVERROR(errno);
    }
  }
  mode_t keepMode = 0;
  if (exists) {
    // A folder, a device, a pipe or a dangling link is written as it is, in place.
    struct stat followed {};
    if (stat(local.c_str(), &followed) != 0 || !S_ISREG(followed.st_mode)) {
      target.HasFile = true;
      return 0;
    }
    if (S_ISLNK(info.st_mode)) {
      char resolved[PATH_MAX];
      if (!realpath(local.c_str(), resolved)) return AVERROR(errno);
      target.FinalPath = resolved;
    }
    keepMode = followed.st_mode & 07777;
  }

  const fs::path final(target.FinalPath);
  const std::string folder = final.parent_path().string();
  const std::string stem = final.stem().string(), extension = final.extension().string();
  const std::string prefix = (folder.empty() ? std::string() : folder + "/") + stem + ".part-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = prefix + RandomTag() + extension;
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      const int code = AVERROR(errno);
      DropReservation(target);
      return code;
    }
    // A replaced file keeps its permissions.
    if (keepMode) fchmod(fd, keepMode);
    close(fd);
    target.TempPath = candidate;
    target.HasFile = true;
    return 0;
  }
  DropReservation(target);
  return AVERROR(EEXIST);
}

std::string SettleOutputTarget(TOutputTarget& target) {
  if (!target.HasFile) return "";
  target.HasFile = false;  // settled once
  if (target.TempPath.empty()) {
    // Written in place: a regular file that stayed empty is deleted.
    const std::string path = LocalPath(target.FinalName);
    struct stat info {};
    if (!path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size == 0)
      std::remove(path.c_str());
    return "";
  }
  struct stat info {};
  const bool written = stat(target.TempPath.c_str(), &info) == 0 && info.st_size > 0;
  if (target.Complete && written) {
    if (rename(target.TempPath.c_str(), target.FinalPath.c_str()) == 0) {
      target.Reserved = false;  // replaced by the output
      target.TempPath.clear();
      return "";
    }
    const std::string text = "Cannot rename " + target.TempPath + " to " + target.FinalPath +
                             ": " + std::strerror(errno);
    DropReservation(target);
    return text;
  }
  unlink(target.TempPath.c_str());
  target.TempPath.clear();
  DropReservation(target);
  return "";
}

}  // namespace engine
