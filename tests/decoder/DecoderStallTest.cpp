// A source on the network that sends its first bytes and then stalls: opening it gives up
// after the decoder's time-out, or at once when the caller stops it from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "MediaFixtures.h"
#include "StallingHttpServer.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "decoder/FFDecoder.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

using namespace engine;
using namespace std::chrono_literals;

namespace {

TEST(DecoderStall, OpeningAStalledSourceGivesUpAfterTheTimeOutOrWhenStopped) {
  core::MainThread::SetCurrentAsMain();
  ASSERT_TRUE(LoadEngineLibraries("lib")) << LastLoadError();
  std::vector<std::string> lines;
  TFFLogger logger;
  logger.SetTriggerEventInMainThread(false);
  logger.SetLogLevel(llInfo);
  std::mutex mutex;
  logger.OnLog = [&](const void*, uint32_t, TLogLevel level, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    if (level == llInfo) lines.push_back(text);
  };
  // The first 500 bytes of a real file: enough to be recognised, not to be described.
  const std::string head = testsupport::ReadFile(fixtures::Media("av.mp4")).substr(0, 500);
  struct Case {
    const char* name;
    int ioTimeout;
    bool stop;
    const char* reason;
  };
  const Case cases[] = {
      {"time-out", 400, false, "connecting/reading/writing timeout"},
      {"stopped", 10000, true, "connecting/reading/writing canceled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::StallingHttpServer server(head);
    const std::string url = server.Url("/clip.mp4");
    TFFDecoder decoder;
    decoder.IoTimeout = c.ioTimeout;
    std::thread stopper;
    if (c.stop)
      stopper = std::thread([&decoder] {
        std::this_thread::sleep_for(400ms);
        decoder.StopRequested = true;
      });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(decoder.LoadFile(url));
    const auto took = std::chrono::steady_clock::now() - begin;
    if (stopper.joinable()) stopper.join();
    EXPECT_GE(took, 350ms);
    EXPECT_LT(took, 3s);
    EXPECT_GE(server.Requests(), 1);
    EXPECT_EQ(decoder.LastErrorMessage(), url + ": " + c.reason);
    EXPECT_FALSE(decoder.IsOpen());
    {
      std::lock_guard<std::mutex> lock(mutex);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), c.reason), 1);
      lines.clear();
    }
    // The same decoder opens a local file once the caller lets it.
    decoder.StopRequested = false;
    EXPECT_TRUE(decoder.LoadFile(fixtures::Media("video.mkv"))) << decoder.LastErrorMessage();
  }
}

}  // namespace
