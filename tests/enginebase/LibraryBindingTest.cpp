// Loading the codec libraries (version check, log callback), library log lines reaching
// the engine logger, the interrupt registry, frame-hook modules and the small helpers that
// touch the system.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "TestSupport.h"
#include "core/MainThread.h"
#include "enginebase/Bitmap.h"
#include "enginebase/FrameHooks.h"
#include "enginebase/InterruptRegistry.h"
#include "enginebase/LibraryBinding.h"
#include "enginebase/ReadWholeFile.h"
#include "enginebase/RunInMainThread.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

using namespace engine;
using namespace std::chrono_literals;

namespace {

class Collector {
 public:
  Collector() {
    logger.OnLog = [this](const void*, uint32_t, TLogLevel level, const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex);
      lines.emplace_back(level, text);
    };
  }
  bool contains(const std::string& part) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& l : lines)
      if (l.second.find(part) != std::string::npos) return true;
    return false;
  }
  TFFLogger logger;
  std::mutex mutex;
  std::vector<std::pair<TLogLevel, std::string>> lines;
};

}  // namespace

TEST(LibraryBinding, AVersionMismatchFailsWithTheLibrarysNameThenTheRealLibrariesLoad) {
  core::MainThread::SetCurrentAsMain();
  auto versions = LinkedLibraryVersions();
  ASSERT_EQ(versions.size(), 6u);
  for (auto& v : versions) EXPECT_EQ(v.build >> 16, v.runtime >> 16) << v.name;
  auto broken = versions;
  broken[3].runtime = AV_VERSION_INT(99, 1, 2);  // avutil
  EXPECT_FALSE(LoadEngineLibraries("lib", broken));
  EXPECT_FALSE(EngineLibrariesLoaded());
  EXPECT_EQ(LastLoadError(), "Load library lib/" + versions[3].fileName +
                                 " error: version 99.1.2 found, the program needs version " +
                                 std::to_string(versions[3].build >> 16));
  EXPECT_EQ(versions[3].fileName, "libavutil.so." + std::to_string(versions[3].build >> 16));

  Collector collector;
  collector.logger.SetLogLevel(llError);
  ASSERT_TRUE(LoadEngineLibraries("../lib/")) << LastLoadError();
  EXPECT_TRUE(EngineLibrariesLoaded());
  EXPECT_EQ(LibraryPath(), "../lib/");
  EXPECT_EQ(av_log_get_level(), AV_LOG_ERROR) << "the logger's level reaches the library";
  EXPECT_TRUE(LoadEngineLibraries("lib", broken)) << "loaded once, not checked again";
  collector.logger.SetLogLevel(llWarning);
  EXPECT_EQ(av_log_get_level(), AV_LOG_WARNING);
}

TEST(LibraryLog, LibraryLinesCarryTheContextPrefixAndLongLinesArriveWhole) {
  core::MainThread::SetCurrentAsMain();
  ASSERT_TRUE(LoadEngineLibraries("lib"));
  Collector collector;
  collector.logger.SetLogLevel(llInfo);
  AVFormatContext* ctx = avformat_alloc_context();
  av_log(ctx, AV_LOG_ERROR, "broken header in %s\n", "x.mp4");
  av_log(ctx, AV_LOG_DEBUG, "too detailed\n");
  const std::string longText(5000, 'x');
  av_log(nullptr, AV_LOG_WARNING, "%s|end\n", longText.c_str());
  avformat_free_context(ctx);
  ASSERT_EQ(collector.lines.size(), 2u);
  char address[32];
  std::snprintf(address, sizeof address, "%08" PRIXPTR, reinterpret_cast<uintptr_t>(ctx));
  EXPECT_EQ(collector.lines[0].second,
            std::string("[NULL @ ") + address + "] broken header in x.mp4");
  EXPECT_EQ(collector.lines[0].first, llError);
  EXPECT_EQ(collector.lines[1].second, longText + "|end");
  EXPECT_EQ(collector.lines[1].first, llWarning);
}

TEST(InterruptRegistry, OnlyTheFirstCheckOfAThreadDecides) {
  TInterruptCB registry;
  static int askedOwner = 0;
  auto yes = [](void* owner) {
    askedOwner = *static_cast<int*>(owner);
    return true;
  };
  auto no = [](void* owner) {
    askedOwner = *static_cast<int*>(owner);
    return false;
  };
  int ownerA = 1, ownerB = 2;
  EXPECT_FALSE(registry.RunCheck(7)) << "no check registered";
  registry.AddCheck(7, &ownerA, no);
  registry.AddCheck(7, &ownerB, yes);
  registry.AddCheck(8, &ownerB, yes);
  EXPECT_FALSE(registry.RunCheck(7));
  EXPECT_EQ(askedOwner, 1);
  EXPECT_TRUE(registry.RunCheck(8));
  registry.AddCheck(7, &ownerA, no);  // a duplicate is not added
  registry.RemoveCheck(7, &ownerA, no);
  EXPECT_TRUE(registry.RunCheck(7)) << "the duplicate was not kept";
  EXPECT_EQ(askedOwner, 2);
  registry.RemoveCheck(7, &ownerA, yes);  // owner and check must both match
  EXPECT_TRUE(registry.RunCheck(7));
  registry.RemoveCheck(7, &ownerB, yes);
  EXPECT_FALSE(registry.RunCheck(7));
}

TEST(InterruptRegistry, AnOpenOfTheCallingThreadIsAbortedByItsCheck) {
  testsupport::TempDir dir;
  const auto file = dir.write("some.wav", std::string(4096, '\0'));
  std::atomic<bool> abort{true};
  auto check = [](void* owner) { return static_cast<std::atomic<bool>*>(owner)->load(); };
  ScopedInterruptCheck scoped(&abort, check);
  AVFormatContext* ctx = avformat_alloc_context();
  ctx->interrupt_callback = EngineInterruptCB();
  const int result = avformat_open_input(&ctx, file.c_str(), nullptr, nullptr);
  EXPECT_EQ(result, AVERROR_EXIT);
  if (result == 0) avformat_close_input(&ctx);
  // Another thread has no check: the same callback lets it go on.
  int otherAnswer = -1;
  std::thread([&] { otherAnswer = InterruptCallback(nullptr); }).join();
  EXPECT_EQ(otherAnswer, 0);
  EXPECT_EQ(InterruptCallback(nullptr), 1);
}

TEST(FrameHooks, ChainRunsInOrderAndReleasesEveryHook) {
  void* module = dlopen(WIZCONV_TEST_HOOK, RTLD_NOW);
  ASSERT_NE(module, nullptr);
  int* releaseCount = static_cast<int*>(dlsym(module, "ReleaseCount"));
  ASSERT_NE(releaseCount, nullptr);
  const int releasedBefore = *releaseCount;
  uint8_t pixel[4] = {0};
  uint8_t* data[4] = {pixel, nullptr, nullptr, nullptr};
  int lines[4] = {4, 0, 0, 0};
  {
    TFrameHookList hooks;
    EXPECT_EQ(hooks.Add({WIZCONV_TEST_HOOK, "set", "10"}), 0);
    EXPECT_EQ(hooks.Add({WIZCONV_TEST_HOOK, "add", "5"}), 0);
    hooks.Process(data, lines, 0, 1, 1, 0);
    EXPECT_EQ(pixel[0], 15) << "set then add";
    EXPECT_EQ(hooks.Count(), 2u);
  }
  EXPECT_EQ(*releaseCount, releasedBefore + 2);
  dlclose(module);
}

TEST(FrameHooks, FailuresGiveTheirCodesAndMessages) {
  core::MainThread::SetCurrentAsMain();
  Collector collector;
  collector.logger.SetLogLevel(llError);
  TFrameHookList hooks;
  EXPECT_EQ(hooks.Add({}), -2);
  EXPECT_EQ(hooks.Add({"/nonexistent/hook.so"}), -1);
  EXPECT_TRUE(collector.contains("/nonexistent/hook.so"));
  EXPECT_EQ(hooks.Add({"libm.so.6"}), -2);
  EXPECT_TRUE(collector.contains("Failed to find Process entrypoint in libm.so.6"));
  EXPECT_EQ(hooks.Add({WIZCONV_TEST_HOOK_NOCONFIGURE, "set", "1"}), -2);
  EXPECT_TRUE(collector.contains("Failed to find Configure entrypoint in " +
                                 std::string(WIZCONV_TEST_HOOK_NOCONFIGURE)));
  EXPECT_EQ(hooks.Add({WIZCONV_TEST_HOOK_NOCONFIGURE}), 0) << "no arguments: no Configure needed";
  EXPECT_EQ(hooks.Add({WIZCONV_TEST_HOOK, "refuse"}), -22);
  EXPECT_TRUE(collector.contains("Failed to Configure " + std::string(WIZCONV_TEST_HOOK)));
  EXPECT_EQ(hooks.Count(), 1u);
}

TEST(ReadWholeFile, ContentsWithATerminatingNul) {
  testsupport::TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {{"stats.log", std::string("frame=1\nframe=2\n")},
               {"empty.log", std::string()},
               {"binary.log", std::string("a\0b", 3)}};
  for (const auto& c : cases) {
    LibraryBuffer buffer;
    size_t size = 0;
    ASSERT_EQ(ReadWholeFile(dir.write(c.name, c.bytes).string(), buffer, size), 0) << c.name;
    EXPECT_EQ(size, c.bytes.size() + 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.get()), c.bytes.size()), c.bytes);
    EXPECT_EQ(buffer[c.bytes.size()], 0);
  }
  LibraryBuffer buffer;
  size_t size = 0;
  EXPECT_EQ(ReadWholeFile((dir.path() / "missing.log").string(), buffer, size), -1);
  EXPECT_EQ(ReadWholeFile(dir.str(), buffer, size), -1) << "a folder is not a file";
}

TEST(RunInMainThread, RunsOnTheMainThreadWhileTheCallerWaits) {
  core::MainThread::SetCurrentAsMain();
  bool ranOnMain = false;
  RunInMainThread([&] { ranOnMain = core::MainThread::IsMainThread(); });
  EXPECT_TRUE(ranOnMain) << "at once on the main thread";
  std::atomic<bool> done{false};
  bool valueSeenByWorker = false;
  int value = 0;
  std::thread worker([&] {
    RunInMainThread([&] {
      ranOnMain = core::MainThread::IsMainThread();
      value = 42;
    });
    valueSeenByWorker = value == 42;
    done = true;
  });
  ranOnMain = false;
  EXPECT_TRUE(core::MainThread::WaitWhileServing([&] { return done.load(); }, 5000ms));
  worker.join();
  EXPECT_TRUE(ranOnMain);
  EXPECT_TRUE(valueSeenByWorker);
}

TEST(BitmapFile, TheFfmpegProgramReadsTheWrittenPixels) {
  testsupport::TempDir dir;
  TBitmap bmp;
  bmp.Resize(3, 2);  // 9 bytes per row, padded to 12
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t* p = bmp.Row(y) + x * 3;
      p[0] = static_cast<uint8_t>(10 * x + y);  // B
      p[1] = 100;
      p[2] = static_cast<uint8_t>(200 + y);  // R
    }
  const auto path = (dir.path() / "pic.bmp").string();
  ASSERT_TRUE(WriteBmpFile(bmp, path));
  const auto raw = (dir.path() / "pic.raw").string();
  const std::string cmd =
      "ffmpeg -v error -y -i '" + path + "' -f rawvideo -pix_fmt bgr24 '" + raw + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string bytes = testsupport::ReadFile(raw);
  ASSERT_EQ(bytes.size(), 18u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(static_cast<uint8_t>(bytes[y * 9 + x * 3]), 10 * x + y);
      EXPECT_EQ(static_cast<uint8_t>(bytes[y * 9 + x * 3 + 2]), 200 + y);
    }
  TBitmap sixteen;
  sixteen.BitsPerPixel = 16;
  sixteen.Resize(2, 2);
  EXPECT_FALSE(WriteBmpFile(sixteen, (dir.path() / "no.bmp").string()));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no.bmp"));
  EXPECT_FALSE(WriteBmpFile(bmp, (dir.path() / "missing-folder" / "x.bmp").string()));
}
