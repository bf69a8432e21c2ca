#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {
namespace {
fs::path fromEnv(const char* name, const fs::path& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? fs::path(v) : fallback;
}
}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  fs::path root = fromEnv("WIZCONV_TEST_TMP", WIZCONV_DEFAULT_TEST_TMP);
  fs::create_directories(root);
  for (;;) {
    path_ = root / ("t" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may have made parts read-only; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

fs::path TempDir::write(const std::string& name, const std::string& bytes) const {
  fs::path p = path_ / name;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + p.string());
  return p;
}

fs::path RuntimeDir() { return fromEnv("WIZCONV_RUNTIME_DIR", WIZCONV_DEFAULT_RUNTIME_DIR); }
fs::path SourceDir() { return fromEnv("WIZCONV_SOURCE_DIR", WIZCONV_DEFAULT_SOURCE_DIR); }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ScriptedMessages::ScriptedMessages() { core::Messages::Install(this); }
ScriptedMessages::~ScriptedMessages() { core::Messages::Install(nullptr); }

core::MessageAnswer ScriptedMessages::Show(core::MessageKind kind, const std::string& caption,
                                           const std::string& text) {
  shown.push_back({kind, caption, text});
  if (!answers_.empty()) {
    auto a = answers_.front();
    answers_.pop_front();
    return a;
  }
  return kind == core::MessageKind::Confirmation ? core::MessageAnswer::No
                                                 : core::MessageAnswer::Ok;
}

}  // namespace testsupport
