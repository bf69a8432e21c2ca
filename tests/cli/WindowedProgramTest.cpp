// The windowed program as a person starts it: under an X server with a fresh home folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "SettingsKeys.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Waits for a child; -1 when it did not end in time (it is killed then).
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(50ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

template <typename F>
bool Eventually(F condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return condition();
}

}  // namespace

TEST(WindowedProgram, OpensItsTitledWindowAndSavesEverySettingWhenClosed) {
  if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  testsupport::TempDir home;
  const std::string display = ":" + std::to_string(300 + getpid() % 500);
  const pid_t xvfb =
      Spawn({"Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {});
  ASSERT_GT(xvfb, 0);
  const std::string dpy = "DISPLAY=" + display;
  ASSERT_TRUE(Eventually(
      [&] {
        return testsupport::RunProcess({"/usr/bin/xdpyinfo", "-display", display}).exitCode == 0;
      },
      10s));

  const pid_t app = Spawn({testsupport::ProgramPath("wizconv")},
                          {dpy, "HOME=" + home.str(), "XDG_CONFIG_HOME=" + home.str() + "/.config",
                           "QT_QPA_PLATFORM=xcb"});
  ASSERT_GT(app, 0);
  // The window carries the edition's name (the default edition is "Wizconv").
  const bool titled = Eventually(
      [&] {
        auto tree =
            testsupport::RunProcess({"/usr/bin/xwininfo", "-display", display, "-root", "-tree"});
        return tree.out.find("\"Wizconv\"") != std::string::npos;
      },
      20s);
  EXPECT_TRUE(titled);
  const fs::path settings = home.path() / ".config" / "Wizconv" / "~system2.dat";
  EXPECT_TRUE(Eventually([&] { return fs::exists(settings); }, 5s))
      << "a first run writes its defaults";

  // The session ends: the window closes as by its close button and saves.
  fs::remove(settings);
  kill(app, SIGTERM);
  EXPECT_EQ(WaitFor(app, 20s), 0);
  kill(xvfb, SIGTERM);
  WaitFor(xvfb, 5s);

  ASSERT_TRUE(fs::exists(settings));
  const std::string text = testsupport::ReadFile(settings);
  std::vector<std::string> keys;
  std::string section;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[')
      section = line;
    else if (section == "[System]" && line.find('=') != std::string::npos)
      keys.push_back(line.substr(0, line.find('=')));
    pos = end + 1;
  }
  EXPECT_EQ(keys, testsupport::ExpectedSystemKeys());
  EXPECT_NE(text.find("[Form]"), std::string::npos);
}
