#pragma once
// Helpers shared by the tests: a fresh temporary folder per test, the build's run-time
// folder, and a message-box stand-in that answers by script and records what it showed.

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/Messages.h"

namespace testsupport {

// A new empty folder under the build's test-tmp folder, removed when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Writes bytes to a file below the folder and returns its path.
  std::filesystem::path write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// The folder where the executables and the default edition's files are laid out.
std::filesystem::path RuntimeDir();
// The root of the source tree.
std::filesystem::path SourceDir();
std::string ReadFile(const std::filesystem::path& p);

// Answers message boxes from a queue (Yes/No for confirmations), records each one,
// and installs itself for its lifetime.
class ScriptedMessages : public core::Messages {
 public:
  struct Shown {
    core::MessageKind kind;
    std::string caption;
    std::string text;
  };
  ScriptedMessages();
  ~ScriptedMessages() override;
  core::MessageAnswer Show(core::MessageKind kind, const std::string& caption,
                           const std::string& text) override;
  void answer(core::MessageAnswer a) { answers_.push_back(a); }
  std::vector<Shown> shown;

 private:
  std::deque<core::MessageAnswer> answers_;
};

}  // namespace testsupport

namespace testsupport {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program could not be started or was killed by a signal
  std::string out;
  std::string err;
};

// Runs a program (argv[0] is its path) with the given standard input and waits for it;
// gives up after `timeoutSeconds` and kills it. `watch`, when given, is called with the
// program's process id and what it has written so far, each time more output arrived.
ProcessResult RunProcess(
    const std::vector<std::string>& argv, const std::string& input = "", int timeoutSeconds = 120,
    const std::function<void(int pid, const ProcessResult& soFar)>& watch = nullptr);

// The path of a built program in the run-time folder ("wizconv-cli").
std::string ProgramPath(const std::string& name);

}  // namespace testsupport
