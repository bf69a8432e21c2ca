// Encrypted transfers: certificates are verified unless an option says
// otherwise, and a redirect from an encrypted address to a plain one is refused
// unless allowed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

using namespace httptest;
using http::TWinHTTP;

namespace {

class SecureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    cert = (dir.path() / "cert.pem").string();
    key = (dir.path() / "key.pem").string();
    // A self-signed certificate for 127.0.0.1: right host, unknown authority.
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key + "' -out '" + cert + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    server = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    ASSERT_TRUE(server->is_valid());
    server->Get("/secret", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("over tls", "text/plain");
    });
    server->Get("/down", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(plain.url("/plain"), 302);
    });
    plain.server.Get("/plain", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("in the clear", "text/plain");
    });
    port = server->bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    if (server) server->stop();
    if (thread.joinable()) thread.join();
  }
  std::string url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port) + path;
  }
  testsupport::TempDir dir;
  std::string cert, key;
  TestServer plain;
  std::unique_ptr<httplib::SSLServer> server;
  std::thread thread;
  int port = 0;
};

TEST_F(SecureTest, CertificateCheckTable) {
  struct Case {
    const char* name;
    http::TInternetOptions options;
    std::string firstEvent;
  };
  const Case cases[] = {
      {"verified by default", {http::ioKeepConnection}, "HostUnreachable"},
      {"a wrong name alone does not excuse an unknown authority",
       {http::ioIgnoreCertificateInvalid},
       "HostUnreachable"},
      {"unknown authority allowed", {http::ioIgnoreUnknownCertificateAuthority}, "Done"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.InternetOptions = c.options;
    h.URL = url("/secret");
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.front(), c.firstEvent);
    if (c.firstEvent == "Done") {
      EXPECT_EQ(r.body, "over tls");
    } else {
      EXPECT_NE(h.LastErrorText().find("certificate"), std::string::npos) << h.LastErrorText();
    }
    EXPECT_TRUE(WaitIdle(h));
  }
}

TEST_F(SecureTest, RedirectToPlainHttpTable) {
  for (bool allowed : {false, true}) {
    SCOPED_TRACE(allowed ? "allowed" : "refused");
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.InternetOptions = {http::ioIgnoreUnknownCertificateAuthority};
    if (allowed) h.InternetOptions.insert(http::ioIgnoreRedirectToHTTP);
    h.URL = url("/down");
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    if (allowed) {
      EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
      EXPECT_EQ(r.body, "in the clear");
    } else {
      EXPECT_EQ(r.events, (std::vector<std::string>{"HTTPError", "AnyError"}));
      EXPECT_EQ(r.httpError, 302);
      EXPECT_TRUE(r.redirects.empty());
    }
    EXPECT_TRUE(WaitIdle(h));
  }
}

}  // namespace
