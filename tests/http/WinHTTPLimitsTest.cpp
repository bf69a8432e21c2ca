// Limits of a transfer: the memory a body may take, sizes and times that must not wrap,
// and a server that stops sending.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

using namespace httptest;
using namespace std::chrono_literals;
using http::TWinHTTP;
using Clock = std::chrono::steady_clock;

namespace {

// A chunked body of `total` bytes made from one repeated piece, so that the server
// itself holds little memory.
void ServeChunked(httplib::Server& server, const std::string& path, size_t total) {
  server.Get(path, [total](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider(
        "application/octet-stream", [total](size_t offset, httplib::DataSink& sink) {
          static const std::string piece = PatternBytes(1000, 4);
          if (offset >= total) {
            sink.done();
            return true;
          }
          const size_t n = std::min(piece.size(), total - offset);
          return sink.write(piece.data(), n);
        });
  });
}

int64_t StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::stoll(line.substr(std::strlen(key)));
  }
  return -1;
}

class LimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    server.server.Get("/sized", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(PatternBytes(5000, 4), "application/octet-stream");
    });
    ServeChunked(server.server, "/chunked", 5000);
  }
  TestServer server;
  testsupport::TempDir dir;
};

TEST_F(LimitsTest, MaxMemorySizeTable) {
  struct Case {
    int64_t limit;
    const char* path;
    bool toFile;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {4999, "/sized", false, {"AnyError"}},   // refused on its announced length
      {4999, "/chunked", false, {"AnyError"}},  // refused when it grows past the limit
      {5000, "/sized", false, {"Done"}},
      {5000, "/chunked", false, {"Done"}},
      {0, "/chunked", false, {"Done"}},  // no limit
      {10, "/chunked", true, {"Done"}},  // a file is not memory
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " limit " + std::to_string(c.limit));
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = server.url(c.path);
    h.MaxMemorySize = c.limit;
    if (c.toFile) h.OutputFileName = (dir.path() / "body.bin").string();
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_TRUE(WaitIdle(h));
    EXPECT_EQ(r.events, c.events);
    if (c.events.front() == "Done") {
      const std::string piece = PatternBytes(1000, 4);
      const std::string expected =
          std::string(c.path) == "/sized" ? PatternBytes(5000, 4)
                                          : piece + piece + piece + piece + piece;
      EXPECT_TRUE((c.toFile ? testsupport::ReadFile(h.OutputFileName) : r.body) == expected);
    } else {
      EXPECT_NE(h.LastErrorText().find("MaxMemorySize"), std::string::npos) << h.LastErrorText();
    }
  }
}

TEST_F(LimitsTest, ABodyOfUnknownLengthInMemoryTakesLittleMoreMemoryThanItself) {
  // Just past a power of two: growing by copying into a block twice the size would need
  // about three times the body at the moment of the copy.
  const size_t size = (33u << 20) + 12345;
  ServeChunked(server.server, "/big", size);
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
  const int64_t before = StatusKb("VmRSS:");
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  h.URL = server.url("/big");
  int64_t got = 0;
  h.OnDone = [&](http::TCustomWinHTTP&, const std::string&, int64_t n, http::THttpStream*) {
    got = n;
    r.events.push_back("Done");
  };
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r, 60s));
  ASSERT_TRUE(WaitIdle(h));
  const int64_t peak = StatusKb("VmHWM:");
  ASSERT_GT(before, 0);
  EXPECT_EQ(got, static_cast<int64_t>(size));
  const double grown = static_cast<double>(peak - before) * 1024.0;
  EXPECT_LT(grown, 1.5 * static_cast<double>(size)) << "peak grew by " << grown / 1048576 << " MiB";
}

TEST_F(LimitsTest, AHugeAnnouncedLengthGivesNoNegativeOrWrappedFigures) {
  // Announces the largest 64-bit length and a resume position, trickles for over a
  // second, then ends early.
  RawServer raw([](const std::string&, RawServer::Connection& c) {
    c.write(
        "HTTP/1.1 206 Partial Content\r\nContent-Length: 9223372036854775807\r\n"
        "Content-Range: bytes 1000-9223372036854775806/9223372036854775807\r\n"
        "Connection: close\r\n\r\n");
    for (int i = 0; i < 12; ++i) {
      if (!c.write(std::string(5000, 'h'))) return;
      c.holdOpen(100);
    }
  });
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  r.recordProgress(h);
  int64_t announced = 0;
  h.OnHeaderInfo = [&](http::TCustomWinHTTP&, int, const std::string&, const std::string&,
                       const std::string&, const std::string&, int64_t length, const std::string&,
                       http::TDateTime, http::TDateTime, http::TDateTime, const std::string&,
                       bool&) { announced = length; };
  h.URL = raw.url("/huge");
  ASSERT_TRUE(h.StartTransferRange(1000, 0));
  ASSERT_TRUE(WaitForEnd(r));
  EXPECT_EQ(r.events, (std::vector<std::string>{"ConnLost", "AnyError"}));
  EXPECT_EQ(announced, INT64_MAX);
  ASSERT_FALSE(r.progress.empty());
  EXPECT_GE(r.progress.back().elapsed, 1u);
  for (const ProgressEvent& p : r.progress) {
    EXPECT_EQ(p.dataSize, INT64_MAX);
    EXPECT_GT(p.bytesRead, 1000);
    EXPECT_GE(p.left, 0);
    EXPECT_LE(p.percent, 100);
    EXPECT_GE(p.rate, 0.0f);
  }
}

TEST_F(LimitsTest, StallLimitTable) {
  // Headers and 5000 bytes, then silence; or nothing at all; or a trickle that never
  // pauses for long.
  RawServer raw([](const std::string& request, RawServer::Connection& c) {
    if (request.rfind("GET /silent-body ", 0) == 0) {
      c.write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
              std::string(5000, 's'));
      c.holdOpen(20000);
    } else if (request.rfind("GET /mute ", 0) == 0) {
      c.holdOpen(20000);
    } else {
      c.write("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\nConnection: close\r\n\r\n");
      for (int i = 0; i < 10; ++i) {
        c.holdOpen(100);
        c.write(std::string(1000, 't'));
      }
    }
  });
  struct Case {
    const char* path;
    std::vector<std::string> events;
    int64_t kept;  // bytes in the output file
  };
  const Case cases[] = {
      {"/silent-body", {"ConnLost", "AnyError"}, 5000},
      {"/mute", {"HostUnreachable", "AnyError"}, -1},
      {"/trickle", {"Done"}, 10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto out = dir.path() / "stall.bin";
    std::filesystem::remove(out);
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    r.recordProgress(h);  // blocks of 4096 bytes: the rest waits in the block buffer
    h.URL = raw.url(c.path);
    h.OutputFileName = out.string();
    h.StallTimeout = 400;
    const auto start = Clock::now();
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r, 10s));
    const auto took = Clock::now() - start;
    ASSERT_TRUE(WaitIdle(h));
    EXPECT_EQ(r.events, c.events);
    EXPECT_LT(took, 3s);
    if (c.kept >= 0) {
      EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(out)), c.kept);
    } else {
      EXPECT_FALSE(std::filesystem::exists(out));
    }
    if (c.events.front() != "Done") {
      EXPECT_TRUE(h.TimedOut());
      EXPECT_NE(h.LastErrorText().find("no data"), std::string::npos) << h.LastErrorText();
    } else {
      EXPECT_FALSE(h.TimedOut());
    }
  }
}

}  // namespace
