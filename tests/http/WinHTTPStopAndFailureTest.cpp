// Aborts, time-outs, wait mode, local files and addresses that cannot be fetched.
#include <gtest/gtest.h>

#include <filesystem>

#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

using namespace httptest;
using namespace std::chrono_literals;
using http::TWinHTTP;
using Clock = std::chrono::steady_clock;

namespace {

class StopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    // Sends its headers and 10000 bytes of a 1 MB body, then says nothing for 30 s.
    server.server.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(1000000, "application/octet-stream",
                               [this](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset == 0) {
                                   std::string part(10000, 's');
                                   sink.write(part.data(), part.size());
                                   return true;
                                 }
                                 server.stall(30000);
                                 return false;
                               });
    });
    // Says nothing at all, not even a status line, for 30 s.
    server.server.Get("/mute", [this](const httplib::Request&, httplib::Response& res) {
      server.stall(30000);
      res.set_content("late", "text/plain");
    });
  }
  // Starts a transfer of /stall and serves the main thread until 10000 bytes are in.
  void StartStalled(TWinHTTP& h, Recorder& r) {
    r.attach(h);
    int64_t got = 0;
    h.OnProgress = [&got](http::TCustomWinHTTP&, const std::string&, int64_t, int64_t bytesRead,
                          uint32_t, int32_t, uint8_t, float,
                          http::THttpStream*) { got = bytesRead; };
    h.URL = server.url("/stall");
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(core::MainThread::WaitWhileServing([&] { return got >= 8192; }, 10s));
    core::MainThread::WaitWhileServing([] { return false; }, 50ms);  // let it go silent
  }
  TestServer server;
  testsupport::TempDir dir;
};

TEST_F(StopTest, AbortOfASilentTransferEndsWithin100msAndKeepsOrDeletesThePartialFile) {
  for (bool deleteFile : {false, true}) {
    SCOPED_TRACE(deleteFile ? "delete" : "keep");
    TWinHTTP h;
    Recorder r;
    h.OutputFileName = (dir.path() / (deleteFile ? "gone.bin" : "kept.bin")).string();
    StartStalled(h, r);
    ASSERT_TRUE(h.IsBusy());
    const auto asked = Clock::now();
    h.AbortTransfer(deleteFile, false);
    ASSERT_TRUE(WaitForEnd(r, 5s));
    const auto took = Clock::now() - asked;
    EXPECT_LT(took, 100ms) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
    EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));
    EXPECT_TRUE(WaitIdle(h, 2s));
    EXPECT_EQ(std::filesystem::exists(h.OutputFileName), !deleteFile);
    if (!deleteFile) {
      // Everything that had arrived, the bytes of the block not yet complete too.
      EXPECT_EQ(std::filesystem::file_size(h.OutputFileName), 10000u);
    }
  }
}

TEST_F(StopTest, ImmediateAbortRaisesAbortedDuringTheCallAndLeavesTheObjectReusable) {
  TWinHTTP h;
  Recorder r;
  h.OutputFileName = (dir.path() / "now.bin").string();
  StartStalled(h, r);
  const auto asked = Clock::now();
  h.AbortTransfer(true, true);
  EXPECT_LT(Clock::now() - asked, 100ms);
  EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));
  EXPECT_FALSE(h.IsBusy());
  EXPECT_FALSE(std::filesystem::exists(h.OutputFileName));
  // Nothing of the stopped worker arrives later.
  core::MainThread::WaitWhileServing([] { return false; }, 100ms);
  EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));

  server.server.Get("/ok", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("again", "text/plain");
  });
  Recorder again;
  again.attach(h);
  h.OutputFileName.clear();
  h.OnProgress = nullptr;
  h.URL = server.url("/ok");
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(again));
  EXPECT_EQ(again.events, (std::vector<std::string>{"Done"}));
  EXPECT_EQ(again.body, "again");
}

TEST_F(StopTest, ImmediateAbortFromInsideOnProgressNeitherHangsNorFreesTheStreamInUse) {
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  int64_t sizeAfterAbort = -1;
  h.OnProgress = [&](http::TCustomWinHTTP& sender, const std::string&, int64_t, int64_t, uint32_t,
                     int32_t, uint8_t, float, http::THttpStream* stream) {
    if (sizeAfterAbort >= 0) {
      r.events.push_back("ProgressAfterAbort");
      return;
    }
    sender.AbortTransfer(false, true);
    sizeAfterAbort = stream->Size();  // still valid while this handler runs
  };
  h.URL = server.url("/stall");
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r, 5s));
  core::MainThread::WaitWhileServing([] { return false; }, 100ms);
  EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));
  EXPECT_EQ(sizeAfterAbort, 4096);
  EXPECT_FALSE(h.IsBusy());
  // The object starts again.
  Recorder again;
  again.attach(h);
  h.OnProgress = nullptr;
  h.URL = "file:///nonexistent-wizconv-file";
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(again));
  EXPECT_EQ(again.events, (std::vector<std::string>{"HTTPError", "AnyError"}));
}

TEST_F(StopTest, AbortWhileIdleDoesNothing) {
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  h.AbortTransfer(true, false);
  h.AbortTransfer(true, true);
  core::MainThread::WaitWhileServing([] { return false; }, 30ms);
  EXPECT_TRUE(r.events.empty());
}

TEST_F(StopTest, AbortBeforeAnyAnswerEndsWithin100ms) {
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  h.URL = server.url("/mute");
  ASSERT_TRUE(h.StartTransfer());
  core::MainThread::WaitWhileServing([] { return false; }, 150ms);
  const auto asked = Clock::now();
  h.AbortTransfer(false, false);
  ASSERT_TRUE(WaitForEnd(r, 5s));
  EXPECT_LT(Clock::now() - asked, 100ms);
  EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));
}

// A silent server meets the receive time-out: before the answer there was no response,
// during the body the connection is lost.
TEST_F(StopTest, ReceiveTimeoutTable) {
  struct Case {
    const char* path;
    std::vector<std::string> events;
  };
  for (const Case& c :
       {Case{"/mute", {"HostUnreachable", "AnyError"}}, Case{"/stall", {"ConnLost", "AnyError"}}}) {
    SCOPED_TRACE(c.path);
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = server.url(c.path);
    h.Timeouts.ReceiveTimeout = 300;
    const auto started = Clock::now();
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r, 10s));
    const auto took = Clock::now() - started;
    EXPECT_EQ(r.events, c.events);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 1500ms);
    EXPECT_TRUE(WaitIdle(h));
  }
}

TEST_F(StopTest, SecondStartWhileBusyIsRefusedAndChangesNothing) {
  TWinHTTP h;
  Recorder r;
  StartStalled(h, r);
  EXPECT_FALSE(h.StartTransfer());
  EXPECT_FALSE(h.StartTransferRange(5, 10));
  EXPECT_TRUE(h.IsBusy());
  EXPECT_TRUE(r.events.empty());
  h.AbortTransfer(false, false);
  ASSERT_TRUE(WaitForEnd(r, 5s));
  EXPECT_EQ(r.events, (std::vector<std::string>{"Aborted"}));
}

TEST_F(StopTest, StartFromInsideACompletionEventIsRefused) {
  server.server.Get("/ok", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("x", "text/plain");
  });
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  bool restarted = true;
  h.OnDone = [&](http::TCustomWinHTTP& sender, const std::string&, int64_t, http::THttpStream*) {
    restarted = sender.StartTransfer();
    r.events.push_back("Done");
  };
  h.URL = server.url("/ok");
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r));
  EXPECT_FALSE(restarted);
  ASSERT_TRUE(WaitIdle(h));
  EXPECT_TRUE(h.StartTransfer());  // once completed, it starts again
  ASSERT_TRUE(WaitIdle(h));
}

TEST_F(StopTest, WaitModeReturnsAfterTheEndAndServesTheEventsMeanwhile) {
  server.server.Get("/ok", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(20000, 'w'), "text/plain");
  });
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  r.recordProgress(h);
  h.URL = server.url("/ok");
  ASSERT_TRUE(h.StartTransfer(true));
  EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
  EXPECT_EQ(r.progress.size(), 5u);
  EXPECT_FALSE(h.IsBusy());
  EXPECT_FALSE(h.WaitThread);  // the forced wait was for that call only
}

TEST_F(StopTest, WaitTimeoutTable) {
  for (bool terminate : {true, false}) {
    SCOPED_TRACE(terminate ? "terminate" : "go on");
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    int asked = 0;
    h.OnWaitTimeoutExpired = [&](http::TCustomWinHTTP&, bool& terminateThread) {
      ++asked;
      terminateThread = terminate;
    };
    h.URL = server.url("/mute");
    h.Timeouts.ReceiveTimeout = 600;
    h.WaitTimeout = 200;
    const auto started = Clock::now();
    EXPECT_EQ(h.StartTransfer(true), !terminate);
    EXPECT_LT(Clock::now() - started, 500ms);
    EXPECT_EQ(asked, 1);
    if (terminate) {
      EXPECT_FALSE(h.IsBusy());
      core::MainThread::WaitWhileServing([] { return false; }, 700ms);
      EXPECT_TRUE(r.events.empty());  // the stopped worker reports nothing
    } else {
      ASSERT_TRUE(WaitForEnd(r, 5s));  // it went on and met its receive time-out
      EXPECT_EQ(r.events, (std::vector<std::string>{"HostUnreachable", "AnyError"}));
    }
    ASSERT_TRUE(WaitIdle(h));
    // Either way the object can start again.
    h.WaitTimeout = 0;
    h.URL = "file:///nonexistent-wizconv-file";
    Recorder again;
    again.attach(h);
    EXPECT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(again));
    EXPECT_EQ(again.events, (std::vector<std::string>{"HTTPError", "AnyError"}));
    ASSERT_TRUE(WaitIdle(h));
  }
}

class LocalFileTest : public ::testing::Test {
 protected:
  void SetUp() override { core::MainThread::SetCurrentAsMain(); }
  testsupport::TempDir dir;
};

TEST_F(LocalFileTest, FileAddressTable) {
  const std::string content = PatternBytes(10000, 5);
  const auto source = dir.write("my file.bin", content);
  const std::string address = "file://" + dir.str() + "/my%20file.bin";
  struct Case {
    const char* name;
    std::string url;
    uint32_t startPos;
    bool range;
    std::vector<std::string> events;
    std::string body;
    int64_t fileSize;
  };
  const Case cases[] = {
      {"whole file", address, 0, false, {"Done"}, content, 10000},
      {"from a start position", address, 4000, false, {"Done"}, content.substr(4000), 10000},
      {"Range does not apply", address, 0, true, {"Done"}, content, 10000},
      {"missing file",
       "file://" + dir.str() + "/nope.bin",
       0,
       false,
       {"HTTPError", "AnyError"},
       "",
       -1},
      {"a folder", "file://" + dir.str(), 0, false, {"HTTPError", "AnyError"}, "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = c.url;
    if (c.range) {
      h.Range.StartRange = 10;
      h.Range.EndRange = 20;
    }
    ASSERT_TRUE(h.StartTransferRange(c.startPos, 0));
    ASSERT_TRUE(WaitForEnd(r));
    EXPECT_EQ(r.events, c.events);
    EXPECT_TRUE(r.body == c.body);
    EXPECT_EQ(r.fileSize, c.fileSize);
    if (c.events.front() == "HTTPError") {
      EXPECT_EQ(r.httpError, 404);
    }
    EXPECT_TRUE(WaitIdle(h));
  }
}

TEST_F(LocalFileTest, CopyingAFileOntoItselfIsRefusedAndTheFileKept) {
  const std::string content = PatternBytes(3000);
  const auto source = dir.write("self.bin", content);
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  h.URL = "file://" + source.string();
  h.OutputFileName = source.string();
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r));
  EXPECT_EQ(r.events, (std::vector<std::string>{"AnyError", "OutputFileError"}));
  EXPECT_TRUE(testsupport::ReadFile(source) == content);
}

// An output file that cannot be created is an output error, whether a length was
// announced or not: the body never goes silently into memory instead.
TEST_F(LocalFileTest, OutputFileThatCannotBeCreatedTable) {
  TestServer server;
  server.server.Get("/sized", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("abc", "text/plain");
  });
  server.server.Get("/unsized", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      if (offset == 0)
        sink.write("abc", 3);
      else
        sink.done();
      return true;
    });
  });
  struct Case {
    std::string url;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {server.url("/sized"), {"AnyError", "OutputFileError"}},
      {server.url("/unsized"), {"AnyError", "OutputFileError"}},
      {"file://" + dir.write("in.bin", "abc").string(), {"AnyError", "OutputFileError"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = c.url;
    h.OutputFileName = (dir.path() / "no-such-folder" / "out.bin").string();
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    EXPECT_EQ(r.events, c.events);
    EXPECT_NE(h.LastErrorText().find("cannot create"), std::string::npos) << h.LastErrorText();
    EXPECT_TRUE(WaitIdle(h));
  }
}

// Addresses that cannot be fetched end in a failure event, never in a crash or a success.
TEST(BadAddressTest, EachEndsInAClearFailure) {
  core::MainThread::SetCurrentAsMain();
  TestServer server;
  server.server.Get(R"(/.*)", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("nothing here", "text/plain");
  });
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  // A port nobody listens on.
  int closedPort;
  {
    TestServer gone;
    closedPort = gone.port();
  }
  struct Case {
    std::string url;
    std::string firstEvent;
  };
  const std::vector<Case> cases = {
      {"", "HostUnreachable"},
      {"http://", "HostUnreachable"},
      {"://nothing", "HostUnreachable"},
      {"ht tp://example.invalid/", "HostUnreachable"},
      {"http://exa mple.invalid/", "HostUnreachable"},
      {"http://127.0.0.1:99999/", "HostUnreachable"},
      {"http://127.0.0.1:" + std::to_string(closedPort) + "/", "HostUnreachable"},
      {"http://host\x07name/", "HostUnreachable"},
      {"gopher://127.0.0.1/", "HostUnreachable"},
      {base + "/" + std::string(3000, 'p'), "HostUnreachable"},
      {base + "/a\x01\x02b\tc", "HTTPError"},
      {base + "/%zz%", "HTTPError"},
      {base + "/\xff\xfe", "HTTPError"},
      {"file://remote.host/etc/hostname", "HostUnreachable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 80));
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = c.url;
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[0], c.firstEvent);
    EXPECT_EQ(r.events[1], "AnyError");
    if (c.firstEvent == "HostUnreachable") {
      EXPECT_EQ(h.StatusCode(), -1);
      EXPECT_FALSE(h.LastErrorText().empty());
    }
    EXPECT_TRUE(WaitIdle(h));
  }
}

// The proxy named in the settings gets the request, asks for its credentials and is given
// them by the handler.
TEST(ProxyTest, ProxyAuthenticationIsAnsweredByTheHandler) {
  core::MainThread::SetCurrentAsMain();
  TestServer proxy;
  std::vector<std::string> targets;
  proxy.server.Get(R"(.*)", [&](const httplib::Request& req, httplib::Response& res) {
    targets.push_back(req.target);
    // "Basic " + base64("px:pw")
    if (req.get_header_value("Proxy-Authorization") != "Basic cHg6cHc=") {
      res.status = 407;
      res.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
      return;
    }
    res.set_content("via proxy", "text/plain");
  });
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  int asked = 0;
  h.OnProxyAuthenticationRequest = [&](http::TCustomWinHTTP&, std::string& user,
                                       std::string& password, bool& tryAgain) {
    EXPECT_TRUE(core::MainThread::IsMainThread());
    ++asked;
    user = "px";
    password = "pw";
    tryAgain = asked == 1;
  };
  h.Proxy.AccessType = http::atUseProxy;
  h.Proxy.ProxyServer = "127.0.0.1";
  h.Proxy.ProxyPort = proxy.port();
  h.Proxy.ProxyBypass = "";
  h.URL = "http://example.invalid/page";
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r));
  EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
  EXPECT_EQ(r.body, "via proxy");
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], "http://example.invalid/page");
}

}  // namespace
