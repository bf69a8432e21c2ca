// The transfer component and wizconv-cli fetch against nginx itself, on loopback.
#include <gtest/gtest.h>

#include <filesystem>

#include "HttpTestSupport.h"
#include "NginxServer.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

using namespace httptest;

namespace {

class NginxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    std::filesystem::create_directories(dir.path() / "www");
    dir.write("www/video.bin", body);
    nginx = std::make_unique<NginxServer>(dir.path() / "nginx", dir.path() / "www");
    if (!nginx->available()) GTEST_SKIP() << "nginx could not be started";
  }
  const std::string body = PatternBytes(3 * 1024 * 1024 + 17, 9);
  testsupport::TempDir dir;
  std::unique_ptr<NginxServer> nginx;
};

TEST_F(NginxTest, FetchResumeCompletesThePartialFile) {
  const size_t held = 1234567;
  const auto out = dir.write("video.part", body.substr(0, held));
  const auto r = testsupport::RunProcess({testsupport::ProgramPath("wizconv-cli"), "fetch",
                                          nginx->url("/video.bin"), "-o", out.string(),
                                          "--resume"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("206 Partial Content"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("done: " + std::to_string(body.size()) + " bytes"), std::string::npos)
      << r.err;
  const std::string now = testsupport::ReadFile(out);
  EXPECT_EQ(now.size(), body.size());
  EXPECT_TRUE(now == body);
}

TEST_F(NginxTest, ComponentResumesIntoThePartialFileAndFetchesWholeIntoMemory) {
  const size_t held = 2000000;
  const auto out = dir.write("video.part", body.substr(0, held));
  {
    http::TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = nginx->url("/video.bin");
    h.OutputFileName = out.string();
    ASSERT_TRUE(h.StartTransferRange(held, 0));
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_TRUE(WaitIdle(h));
    EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
    EXPECT_EQ(h.StatusCode(), 206);
    EXPECT_EQ(r.fileSize, static_cast<int64_t>(body.size()));
    EXPECT_TRUE(testsupport::ReadFile(out) == body);
  }
  http::TWinHTTP h;
  Recorder r;
  r.attach(h);
  h.URL = nginx->url("/video.bin");
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r));
  EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
  EXPECT_TRUE(r.body == body);
}

}  // namespace
