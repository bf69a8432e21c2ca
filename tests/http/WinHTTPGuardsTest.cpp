// What a transfer sends and to whom: settings that would break a request line into
// several are refused, and a redirect to another origin takes no credentials along.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "TestSupport.h"
#include "core/MainThread.h"
#include "http/WinHTTP.h"

using namespace httptest;
using http::TWinHTTP;

namespace {

class GuardsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    server.server.Get("/page", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      seen.push_back(req.headers);
      res.set_content("page", "text/plain");
    });
  }
  TestServer server;
  std::mutex mutex;
  std::vector<httplib::Headers> seen;
};

TEST_F(GuardsTest, LineBreaksAndNulInTheRequestsFieldsAreRefusedBeforeAnythingIsSent) {
  using Set = std::function<void(TWinHTTP&, const std::string&)>;
  struct Field {
    const char* name;
    Set set;
  };
  const Field fields[] = {
      {"Agent", [](TWinHTTP& h, const std::string& v) { h.Agent = v; }},
      {"Referer", [](TWinHTTP& h, const std::string& v) { h.Referer = v; }},
      {"AcceptTypes", [](TWinHTTP& h, const std::string& v) { h.AcceptTypes = v; }},
      {"AddHeaders", [](TWinHTTP& h, const std::string& v) { h.AddHeaders = {"X-A: " + v}; }},
      {"Username", [](TWinHTTP& h, const std::string& v) { h.Username = v; }},
      {"Password",
       [](TWinHTTP& h, const std::string& v) {
         h.Username = "ann";
         h.Password = v;
       }},
      {"ProxyServer",
       [](TWinHTTP& h, const std::string& v) {
         h.Proxy.AccessType = http::atUseProxy;
         h.Proxy.ProxyServer = v;
       }},
      {"ProxyBypass", [](TWinHTTP& h, const std::string& v) { h.Proxy.ProxyBypass = v; }},
      {"ProxyUsername", [](TWinHTTP& h, const std::string& v) { h.Proxy.ProxyUsername = v; }},
      {"ProxyPassword", [](TWinHTTP& h, const std::string& v) { h.Proxy.ProxyPassword = v; }},
  };
  const std::string values[] = {"x\r\nX-Injected: 1", "x\nX-Injected: 1", "x\rX-Injected: 1",
                                std::string("x\0y", 3)};
  for (const Field& f : fields) {
    for (const std::string& v : values) {
      SCOPED_TRACE(std::string(f.name) + " " + std::to_string(v.size()));
      TWinHTTP h;
      Recorder r;
      r.attach(h);
      h.URL = server.url("/page");
      f.set(h, v);
      ASSERT_TRUE(h.StartTransfer());
      ASSERT_TRUE(WaitForEnd(r));
      ASSERT_TRUE(WaitIdle(h));
      EXPECT_EQ(r.events, (std::vector<std::string>{"AnyError"}));
      EXPECT_NE(h.LastErrorText().find(f.name), std::string::npos) << h.LastErrorText();
    }
  }
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_TRUE(seen.empty());
}

TEST_F(GuardsTest, PlainValuesInTheSameFieldsGoOut) {
  TWinHTTP h;
  Recorder r;
  r.attach(h);
  h.URL = server.url("/page");
  h.Agent = "agent/1 (tab\there)";
  h.Referer = "http://127.0.0.1/from";
  h.AddHeaders = {"X-A: plain"};
  ASSERT_TRUE(h.StartTransfer());
  ASSERT_TRUE(WaitForEnd(r));
  EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].find("User-Agent")->second, "agent/1 (tab\there)");
  EXPECT_EQ(seen[0].find("X-A")->second, "plain");
}

// Two servers on two ports are two origins.
class CrossOriginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::MainThread::SetCurrentAsMain();
    for (TestServer* s : {&first, &second}) {
      s->server.Get("/hop", [s](const httplib::Request& req, httplib::Response& res) {
        res.set_redirect(req.get_param_value("to"));
      });
      s->server.Get("/land", [this, s](const httplib::Request& req, httplib::Response& res) {
        Record(s, req);
        res.set_content("landed", "text/plain");
      });
      // "Basic " + base64("bob:b-pw") is the only answer the second server takes.
      s->server.Get("/secret", [this, s](const httplib::Request& req, httplib::Response& res) {
        Record(s, req);
        if (req.get_header_value("Authorization") == "Basic Ym9iOmItcHc=") {
          res.set_content("secret", "text/plain");
          return;
        }
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"second\"");
      });
    }
  }
  void Record(TestServer* s, const httplib::Request& req) {
    std::lock_guard<std::mutex> lock(mutex);
    landed.push_back({s == &first ? "first" : "second", req.headers});
  }
  std::string Hop(TestServer& from, const std::string& to) {
    return from.url("/hop?to=" + httplib::detail::encode_query_param(to));
  }
  TestServer first, second;
  std::mutex mutex;
  std::vector<std::pair<std::string, httplib::Headers>> landed;
};

TEST_F(CrossOriginTest, CredentialHeadersStayWithTheirOrigin) {
  struct Case {
    const char* name;
    std::string url;
    const char* lands;
    bool keeps;
  };
  const Case cases[] = {
      {"same origin", Hop(first, first.url("/land")), "first", true},
      {"other origin", Hop(first, second.url("/land")), "second", false},
      {"there and back", Hop(first, Hop(second, first.url("/land"))), "first", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    landed.clear();
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = c.url;
    h.AddHeaders = {"Authorization: Bearer t0ken", "Cookie: session=42",
                    "Proxy-Authorization: Basic cHg6cHc=", "X-Other: stays"};
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_TRUE(WaitIdle(h));
    EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(landed.size(), 1u);
    EXPECT_EQ(landed[0].first, c.lands);
    const httplib::Headers& got = landed[0].second;
    EXPECT_EQ(got.count("Authorization"), c.keeps ? 1u : 0u);
    EXPECT_EQ(got.count("Cookie"), c.keeps ? 1u : 0u);
    EXPECT_EQ(got.count("Proxy-Authorization"), c.keeps ? 1u : 0u);
    EXPECT_EQ(got.count("X-Other"), 1u);
  }
}

TEST_F(CrossOriginTest, AnotherOriginAskingForAPasswordGetsOnlyWhatTheHandlerGivesIt) {
  for (bool handlerGivesNew : {false, true}) {
    SCOPED_TRACE(handlerGivesNew ? "handler gives new credentials" : "handler only says again");
    landed.clear();
    TWinHTTP h;
    Recorder r;
    r.attach(h);
    h.URL = Hop(first, second.url("/secret"));
    h.Username = "ann";
    h.Password = "s3cret";
    std::vector<std::string> asking;
    h.OnPasswordRequest = [&](http::TCustomWinHTTP& sender, const std::string&,
                              const std::string& url, bool& tryAgain) {
      asking.push_back(url);
      if (asking.size() > 1) return;
      if (handlerGivesNew) {
        sender.Username = "bob";
        sender.Password = "b-pw";
      }
      tryAgain = true;
    };
    ASSERT_TRUE(h.StartTransfer());
    ASSERT_TRUE(WaitForEnd(r));
    ASSERT_TRUE(WaitIdle(h));
    ASSERT_FALSE(asking.empty());
    EXPECT_EQ(asking.front(), second.url("/secret"));
    if (handlerGivesNew) {
      EXPECT_EQ(r.events, (std::vector<std::string>{"Done"}));
    } else {
      EXPECT_EQ(r.events, (std::vector<std::string>{"HTTPError", "AnyError"}));
    }
    // "Basic " + base64("ann:s3cret"): the first origin's credentials never reach the second.
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& [who, headers] : landed) {
      auto a = headers.find("Authorization");
      EXPECT_FALSE(a != headers.end() && a->second == "Basic YW5uOnMzY3JldA==");
    }
  }
}

}  // namespace
