#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJSEngine>
#include <filesystem>

#include "StandInService.h"
#include "TestSupport.h"
#include "download/LinkExtraction.h"

using namespace download;

TEST(LinkExtractionTest, TitleIsTakenFromTheMetaElementAndDecoded) {
  const struct {
    const char* page;
    const char* title;
  } cases[] = {
      {"<meta name=\"title\" content=\"Plain\">", "Plain"},
      {"x<meta name=\"title\" content=\"Tom &amp; Jerry&#39;s\">\n<p>", "Tom & Jerry's"},
      {"<meta name=\"title\" content=\"&lt;b&gt; &quot;q&quot;&nbsp;z\">", "<b> \"q\" z"},
      {"<meta name=\"title\" content=\"&#20013;&#25991;\">", "中文"},
      // Other ampersands stay as they are.
      {"<meta name=\"title\" content=\"R&B &copy; &#; &#x41; &#0; a&\">", "R&B &copy; &#; &#x41; &#0; a&"},
      // Raw UTF-8 bytes of the page are kept.
      {"<meta name=\"title\" content=\"视频\">", "视频"},
      // The first element counts; one without content does not match.
      {"<meta name=\"title\" content=\"\"><meta name=\"title\" content=\"Second\">", "Second"},
      {"<meta name=\"title\" content=\"One\"><meta name=\"title\" content=\"Two\">", "One"},
      // The greedy content reaches the last "\">" before the next "<", and the first "\">"
      // of the match goes.
      {"<meta name=\"title\" content=\"a\">b\">", "ab\">"},
      {"<meta name=\"title\" content=\"multi\nline\">", "multi\nline"},
      {"<title>No meta</title>", ""},
      {"<meta name=\"title\" content=\"unclosed", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractTitle(c.page), c.title) << c.page;
}

TEST(LinkExtractionTest, IdentifierAndInformationAddress) {
  const struct {
    const char* page;
    const char* domain;
    const char* id;
  } cases[] = {
      {"<a href=\"http://www.youtube.com/watch?v=abc123\">", "youtube.com", "abc123"},
      {"x youtube.com/watch?v=first\" y youtube.com/watch?v=second\"", "youtube.com", "first"},
      // At least one character before the quote: an empty value reaches the next quote.
      {"youtube.com/watch?v=\"x\"", "youtube.com", "x"},
      // The domain's dots stand for any character; then only the exact domain is removed.
      {"youtubeXcom/watch?v=abc\"", "youtube.com", "youtubeXcom/watch?v=abc"},
      {"127.0.0.1:8080/watch?v=v1&amp;feature=x\"", "127.0.0.1:8080", "v1&amp;feature=x"},
      {"youtube.com/watch?v=noquote", "youtube.com", ""},
      {"nothing here", "youtube.com", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractVideoId(c.page, c.domain), c.id) << c.page;
  EXPECT_EQ(InfoAddress("youtube.com", "abc"), "http://youtube.com/get_video_info?video_id=abc");
  EXPECT_EQ(InfoAddress("127.0.0.1:99", ""), "http://127.0.0.1:99/get_video_info?video_id=");
}

TEST(LinkExtractionTest, TheParserFillsTheSlotsOfKnownItags) {
  LinkTable t;
  ParseLinkItems("<18>[http://a/18]<br><22>[http://a/22]<br><99>[http://a/99]", t);
  EXPECT_EQ(t.Get(18), "http://a/18");
  EXPECT_EQ(t.Get(22), "http://a/22");
  EXPECT_EQ(t.Get(99), "");
  EXPECT_EQ(t.Get(5), "");
  // A later item replaces an earlier one; empty items are skipped.
  ParseLinkItems("<br><5>[x]<br><br><5>[y]<br>", t);
  EXPECT_EQ(t.Get(5), "y");
  ParseLinkItems("", t);
  EXPECT_EQ(t.Get(5), "y");
  // An itag that is not a number is an error; the items before it were taken.
  LinkTable u;
  EXPECT_THROW(ParseLinkItems("<6>[six]<br><x>[bad]<br><17>[seventeen]", u), std::invalid_argument);
  EXPECT_EQ(u.Get(6), "six");
  EXPECT_EQ(u.Get(17), "");
  EXPECT_THROW(ParseLinkItems("no brackets", u), std::invalid_argument);
  u.Clear();
  EXPECT_TRUE(u.Empty());
}

namespace {
struct Extraction {
  LinkTable links;
  std::vector<std::string> errors;
};
Extraction extract(const std::string& document) {
  LinkExtractor x;
  Extraction e;
  x.OnError = [&](const std::string& m) { e.errors.push_back(m); };
  x.Extract(document, e.links);
  return e;
}
std::string mapOf(const std::vector<std::string>& entries) {
  std::string joined;
  for (const auto& entry : entries) joined += (joined.empty() ? "" : ",") + entry;
  return "url_encoded_fmt_stream_map=" + standin::Escape(joined);
}
}  // namespace

TEST(LinkExtractionTest, TheScriptPairsItagsUrlsAndSignatures) {
  const std::string doc =
      "status=ok&" +
      mapOf({"itag=22&url=" + standin::Escape("http://v.example/play?id=1&q=hd") + "&sig=S22",
             "itag=43&url=" + standin::Escape("http://v.example/webm") + "&sig=S43",
             "type=video&itag=18&url=" + standin::Escape("http://v.example/play?id=1&q=sd") +
                 "&sig=S18"}) +
      "&other=1";
  const Extraction e = extract(doc);
  EXPECT_TRUE(e.errors.empty());
  EXPECT_EQ(e.links.Get(22), "http://v.example/play?id=1&q=hd&signature=S22");
  EXPECT_EQ(e.links.Get(18), "http://v.example/play?id=1&q=sd&signature=S18");
  EXPECT_EQ(e.links.Get(5), "");

  // Entries without signatures give the script's word for a missing one.
  const Extraction unsigned_ = extract(mapOf({"itag=5&url=" + standin::Escape("http://v/5")}));
  EXPECT_EQ(unsigned_.links.Get(5), "http://v/5&signature=undefined");

  // No map: no links, no error.
  const Extraction none = extract("status=fail&reason=gone");
  EXPECT_TRUE(none.links.Empty());
  EXPECT_TRUE(none.errors.empty());
}

TEST(LinkExtractionTest, TheDocumentIsDataNeverCode) {
  testsupport::TempDir dir;
  const std::string victim = dir.str() + "/written.txt";
  const std::string map =
      mapOf({"itag=18&url=" + standin::Escape("http://v.example/18") + "&sig=A",
             "itag=5&url=" + standin::Escape("http://v.example/5") + "&sig=B"});
  const std::string hostile[] = {
      "';Host.WriteText('" + victim + "','pwned');'",
      "\";Host.WriteText(\"" + victim + "\",\"pwned\");\"",
      "\\';Host.WriteText('" + victim + "','x');//",
      "\n');Host.WriteText('" + victim + "','x');('\r\n",
      "</script><script>Host.WriteText('" + victim + "','x')</script>",
      "<br><99>[evil]<br><18>[http://evil/]",
      "\xe2\x80\xa8');Host.Echo('<18>[http://evil/]');('",
      std::string("\x00\x01\x7f", 3),
  };
  const Extraction plain = extract("a=1&" + map + "&b=2");
  ASSERT_EQ(plain.links.Get(18), "http://v.example/18&signature=A");
  for (const std::string& junk : hostile) {
    SCOPED_TRACE(junk);
    const Extraction e = extract("a=" + junk + "&" + map + "&b=" + junk);
    EXPECT_TRUE(e.errors.empty()) << e.errors.front();
    for (int itag : LinkTable::kItags) EXPECT_EQ(e.links.Get(itag), plain.links.Get(itag)) << itag;
    EXPECT_FALSE(std::filesystem::exists(victim));
  }
}

TEST(LinkExtractionTest, TheStringLiteralIsTheSameTextInsideTheScript) {
  const QString text = QString::fromUtf8("a'b\"c\\d\ne\r\u2028\u2029</script>\t\x01");
  const QString literal = ScriptStringLiteral(text);
  EXPECT_FALSE(literal.contains(QLatin1Char('\n')));
  EXPECT_FALSE(literal.contains(QChar(0x2028)));
  EXPECT_FALSE(literal.contains(QLatin1String("</")));
  QJSEngine engine;
  EXPECT_EQ(engine.evaluate(literal).toString(), text);
}

TEST(LinkExtractionTest, AScriptRunPastTheTimeLimitIsStoppedWithAnError) {
  std::string document;
  for (int i = 0; i < 400000; ++i) document += "key=value&";
  LinkExtractor x;
  x.TimeLimit = std::chrono::milliseconds(1);
  std::vector<std::string> errors;
  x.OnError = [&](const std::string& m) { errors.push_back(m); };
  LinkTable t;
  const auto start = std::chrono::steady_clock::now();
  x.Extract(document + mapOf({"itag=5&url=x"}), t);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("错误：行号 ", 0), 0u) << errors[0];
  EXPECT_TRUE(t.Empty());
}
