// Address splitting and escaping, header dates and progress figures.
#include <gtest/gtest.h>

#include <climits>

#include "http/CurlRequest.h"
#include "http/HttpDate.h"
#include "http/HttpProgress.h"
#include "http/HttpStreams.h"
#include "http/HttpUrl.h"

namespace {

TEST(UrlTest, SplittingTable) {
  struct Case {
    std::string url;
    bool ok;
    http::UrlParts parts;
  };
  const std::string longPath = "http://h/" + std::string(2048, 'p');
  const Case cases[] = {
      {"http://example.com", true, {"http", "example.com", 80, "", "", "/", ""}},
      {"HTTPS://Example.com:8443/a/b?x=1#top",
       true,
       {"https", "Example.com", 8443, "", "", "/a/b", "?x=1"}},
      {"http://us%65r:p%40ss@h:81/p%20q?a=%41",
       true,
       {"http", "h", 81, "user", "p@ss", "/p%20q", "?a=%41"}},
      {"http://[::1]:8080/v6", true, {"http", "[::1]", 8080, "", "", "/v6", ""}},
      {"file:///tmp/a%20b.txt", true, {"file", "", 0, "", "", "/tmp/a%20b.txt", ""}},
      {"http://h:/x", true, {"http", "h", 80, "", "", "/x", ""}},
      {"no-scheme.example/x", false, {}},
      {"http://h:0/", false, {}},
      {"http://h:65536/", false, {}},
      {"http://h:8a/", false, {}},
      {"1http://h/", false, {}},
      {std::string(33, 'a') + "://h/", false, {}},
      {"http://" + std::string(257, 'h') + "/", false, {}},
      {"http://" + std::string(129, 'u') + "@h/", false, {}},
      {longPath, false, {}},
      {"http://h/?" + std::string(2048, 'q'), false, {}},
      {"http://bad host/", false, {}},
      {"http://bad\nhost/", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 60));
    http::UrlParts p;
    p.host = "stale";
    EXPECT_EQ(http::CrackUrl(c.url, p), c.ok);
    EXPECT_EQ(p.scheme, c.parts.scheme);
    EXPECT_EQ(p.host, c.parts.host);
    EXPECT_EQ(p.port, c.parts.port);
    EXPECT_EQ(p.user, c.parts.user);
    EXPECT_EQ(p.password, c.parts.password);
    EXPECT_EQ(p.path, c.ok ? c.parts.path : "");
    EXPECT_EQ(p.extra, c.parts.extra);
  }
}

TEST(UrlTest, DefaultSchemeOnlyWhenThereIsNone) {
  EXPECT_EQ(http::WithDefaultScheme("example.com/x"), "http://example.com/x");
  EXPECT_EQ(http::WithDefaultScheme("https://example.com"), "https://example.com");
  EXPECT_EQ(http::WithDefaultScheme(""), "http://");
}

TEST(UrlTest, EscapingForTheWireTable) {
  const std::pair<std::string, std::string> cases[] = {
      {"?a=b c", "?a=b%20c"},
      {"?x=%41&y=%25", "?x=%41&y=%25"},  // escapes travel as they are
      {"?p=100%", "?p=100%25"},          // a lone % is escaped
      {"?p=%4", "?p=%254"},
      {"?q=<\">#", "?q=%3C%22%3E%23"},
      {std::string("?c=\x01\x1f\x7f", 6), "?c=%01%1F%7F"},
      {"?u=\xe4\xb8\xad", "?u=%E4%B8%AD"},  // UTF-8 bytes
      {"/a+b*c", "/a+b*c"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(http::EscapeForWire(in), out) << in;
  EXPECT_EQ(http::DecodeEscapes("a%20b%zz%4"), "a b%zz%4");
}

TEST(HeaderDateTest, FormatsServersSendTable) {
  // 1994-11-06 08:49:37 UTC as days since 1899-12-30.
  const double expected = 34644.0 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
  const char* same[] = {
      "Sun, 06 Nov 1994 08:49:37 GMT",   "Sunday, 06-Nov-94 08:49:37 GMT",
      "Sun Nov  6 08:49:37 1994",        "  sun, 06 nov 1994 08:49:37 gmt  ",
      "Sun, 06 Nov 1994 10:49:37 +0200", "Sun, 06 Nov 1994 03:49:37 -0500",
  };
  for (const char* text : same) EXPECT_NEAR(http::ParseHeaderDateUtc(text), expected, 1e-7) << text;
  const char* unreadable[] = {"",
                              "   ",
                              "yesterday",
                              "Sun,",
                              "06 Foo 1994 08:49:37 GMT",
                              "Sun, 06 Nov 1994 08:49:37 +02x0",
                              "Sun, 06 Nov 1994 99:00:00 GMT"};
  for (const char* text : unreadable) EXPECT_EQ(http::ParseHeaderDateUtc(text), 0.0) << text;
  // Two-digit years: below 80 are this century.
  EXPECT_NEAR(http::ParseHeaderDateUtc("Mon, 01-Jan-24 00:00:00 GMT"), 45292.0, 1e-7);
  // The event's value is local time: UTC shifted by the current offset.
  EXPECT_NEAR(http::ParseHeaderDate("Sun, 06 Nov 1994 08:49:37 GMT"),
              expected + http::LocalUtcOffsetSeconds() / 86400.0, 1e-7);
}

TEST(ProgressTest, FiguresTable) {
  struct Case {
    int64_t startPos, dataSize, bytesRead;
    uint32_t elapsedMs;
    uint8_t percent;
    uint32_t elapsed;
    int32_t left;
    float rate;
  };
  const Case cases[] = {
      // first second: the rate is the KB read so far
      {0, 10000, 4096, 400, 41, 0, 0, 4.0f},
      // 2.5 s for a quarter: 10 s in all, 2 s counted -> round(4 * 2) - 2
      {0, 4000, 1000, 2500, 25, 2, 6, 1000 / 1024.0f / 2},
      // no length: 0 %, minus the elapsed time
      {0, 0, 5000, 3000, 0, 3, -3, 5000 / 1024.0f / 3},
      // resumed: percent counts the part before the start, the estimate does not
      {6000, 4000, 2000, 1000, 80, 1, 1, 2000 / 1024.0f},
      // halves round to even: 12.5 % -> 12, 62.5 % -> 62
      {0, 800, 100, 0, 12, 0, 0, 100 / 1024.0f},
      {0, 800, 500, 0, 62, 0, 0, 500 / 1024.0f},
      // more than announced never shows over 100 %, nor a negative time left
      {0, 100, 300, 0, 100, 0, 0, 300 / 1024.0f},
      {0, 100, 300, 5000, 100, 5, 0, 300 / 1024.0f / 5},
      // the largest announced length: the time left stops at the largest figure
      {0, INT64_MAX, 1000, 5000, 0, 5, INT32_MAX, 1000 / 1024.0f / 5},
      {4000000000, INT64_MAX - 4000000000, 1000, 5000, 0, 5, INT32_MAX, 1000 / 1024.0f / 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.startPos << "/" << c.dataSize << "/" << c.bytesRead);
    const http::ProgressFigures f =
        http::ComputeProgress(c.startPos, c.dataSize, c.bytesRead, c.elapsedMs);
    EXPECT_EQ(f.PercentsDone, c.percent);
    EXPECT_EQ(f.ElapsedTime, c.elapsed);
    EXPECT_EQ(f.EstimatedTimeLeft, c.left);
    EXPECT_FLOAT_EQ(f.TransferRate, c.rate);
  }
}

}  // namespace

namespace {

TEST(MemoryStreamTest, GrowsPastTheBigBodySizeAndKeepsEveryByte) {
  http::TMemoryStream m;
  std::string expected;
  // Small writes, then across the size where memory comes straight from the system.
  for (int i = 0; i < 300; ++i) {
    const std::string piece(i * 97 + 1, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(m.Write(piece.data(), piece.size()));
    expected += piece;
  }
  const std::string big(5 * 1024 * 1024, 'Z');
  ASSERT_TRUE(m.Write(big.data(), big.size()));
  expected += big;
  EXPECT_EQ(m.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(m.Text() == expected);
  // Reading from the start gives it back; a read past the end gives nothing.
  ASSERT_TRUE(m.Seek(0));
  std::string back(expected.size() + 10, '\0');
  EXPECT_EQ(m.Read(back.data(), back.size()), expected.size());
  EXPECT_EQ(m.Read(back.data(), 1), 0u);
  // Writing past the end leaves zeros in between, as a file would.
  http::TMemoryStream gap;
  ASSERT_TRUE(gap.Seek(3));
  ASSERT_TRUE(gap.Write("x", 1));
  EXPECT_EQ(gap.Text(), std::string("\0\0\0x", 4));
}

}  // namespace

namespace {

// Response heads read line by line, as the library hands them over; the broken lines are
// what the fuzzing of this reader turned up.
TEST(ResponseHeadTest, LinesOfAHeadTable) {
  struct Case {
    std::vector<std::string> lines;
    int status;
    std::string raw;
    std::vector<std::pair<std::string, std::string>> fields;
  };
  const Case cases[] = {
      {{"HTTP/1.1 206 Partial Content\r\n", "Content-Range:  bytes 5-9/10 \r\n", "\r\n"},
       206,
       "HTTP/1.1 206 Partial Content\r\nContent-Range:  bytes 5-9/10\r\n\r\n",
       {{"Content-Range", "bytes 5-9/10"}}},
      {{"HTTP/2 200\n", "no colon here\n", "X:\n", "\n"},
       200,
       "HTTP/2 200\r\nno colon here\r\nX:\r\n\r\n",
       {{"X", ""}}},
      // A CR inside a line is no line break: it cannot smuggle a field into the raw head.
      {{"HTTP/1.1 200 OK\r\n", "X-A: one\rSet-Cookie: evil=1\r\n", "\r\n"},
       200,
       "HTTP/1.1 200 OK\r\nX-A: one Set-Cookie: evil=1\r\n\r\n",
       {{"X-A", "one Set-Cookie: evil=1"}}},
      {{"HTTP/1.1 200\rOK\r\n"}, 200, "HTTP/1.1 200 OK\r\n", {}},
      // The status is three digits or nothing: no sign, no fourth digit, no short code.
      {{"HTTP/1.1 -09 Odd\r\n"}, 0, "HTTP/1.1 -09 Odd\r\n", {}},
      {{"HTTP/1.1 +20 Odd\r\n"}, 0, "HTTP/1.1 +20 Odd\r\n", {}},
      {{"HTTP/1.1 2000 Odd\r\n"}, 0, "HTTP/1.1 2000 Odd\r\n", {}},
      {{"HTTP/1.1 20\r\n"}, 0, "HTTP/1.1 20\r\n", {}},
      {{"HTTP/1.1\r\n"}, 0, "HTTP/1.1\r\n", {}},
      {{"HTTP/1.1 404\r\n"}, 404, "HTTP/1.1 404\r\n", {}},
      // A new status line starts a new head (after an interim answer).
      {{"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 301 Moved\r\n", "Location: /x\r\n"},
       301,
       "HTTP/1.1 301 Moved\r\nLocation: /x\r\n",
       {{"Location", "/x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.front());
    http::ResponseHead head;
    for (const std::string& line : c.lines) http::ReadHeadLine(head, line);
    EXPECT_EQ(head.status, c.status);
    EXPECT_EQ(head.raw, c.raw);
    EXPECT_EQ(head.fields, c.fields);
  }
  http::ResponseHead head;
  EXPECT_EQ(http::ReadHeadLine(head, "HTTP/1.0 200 OK\n"), http::HeadLine::Status);
  EXPECT_EQ(http::ReadHeadLine(head, "A: b\r\n"), http::HeadLine::Field);
  EXPECT_EQ(http::ReadHeadLine(head, " \t\r\n"), http::HeadLine::End);
}

}  // namespace
