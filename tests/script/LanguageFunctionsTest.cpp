// The language functions that the download workflow's link-extraction script relies on,
// for the inputs that script meets in a video-information document.
#include <gtest/gtest.h>

#include "ScriptRecorder.h"
#include "script/ScriptLiteral.h"

namespace {

QString evaluate(const QString& expression) {
  ScriptRecorder r;
  r.run("Host.Echo(" + expression + ");");
  EXPECT_TRUE(r.errors.empty()) << expression.toStdString();
  return r.echoes.value(0);
}

TEST(LanguageFunctions, BehaveAsTheExtractionScriptExpects) {
  struct Case {
    const char* expression;
    QString expected;
  };
  const Case cases[] = {
      // unescape: %XX and %uXXXX; '+' stays; broken escapes are kept as they are.
      {"unescape('itag%3D18%26url%3Dhttp%253A%252F%252Fv.example%252Fvideoplayback%253Fid%253D1')",
       "itag=18&url=http%3A%2F%2Fv.example%2Fvideoplayback%3Fid%3D1"},
      {"unescape('http%3A%2F%2Fv.example%2Fa%3Fb%3D1%2C2')", "http://v.example/a?b=1,2"},
      {"unescape('a+b%20c')", "a+b c"},
      {"unescape('%u4E2D%u6587')", QString::fromUtf8("中文")},
      {"unescape('100%')", "100%"},
      {"unescape('%zz%4')", "%zz%4"},
      {"unescape('%u12')", "%u12"},
      {"unescape('')", ""},
      // split at a string: every separator counts, empty pieces kept, no limit.
      {"'a,b,,c,'.split(',').length", "5"},
      {"'a,b,,c,'.split(',').join('|')", "a|b||c|"},
      {"''.split('&').length", "1"},
      {"'no-separator'.split('&')[0]", "no-separator"},
      {"'x&&y'.split('&').join('|')", "x||y"},
      // substr(start[, length]).
      {"'url_encoded_fmt_stream_map=abc'.substr(0, 26)", "url_encoded_fmt_stream_map"},
      {"'url_encoded_fmt_stream_map=abc'.substr(27)", "abc"},
      {"'itag=18'.substr(5)", "18"},
      {"'short'.substr(10)", ""},
      {"'short'.substr(0, 26)", "short"},
      {"'abc'.substr(-2)", "bc"},
      // parseInt with base 10.
      {"parseInt('18', 10)", "18"},
      {"parseInt('037', 10)", "37"},
      {"parseInt('22abc', 10)", "22"},
      {"parseInt(' 34', 10)", "34"},
      {"parseInt('', 10)", "NaN"},
      {"parseInt('x5', 10)", "NaN"},
      {"parseInt('0x1F', 10)", "0"},
      // What a missing list entry prints as, and how numbers join text.
      {"'&signature=' + [][0]", "&signature=undefined"},
      {"'<' + parseInt('18', 10) + '>'", "<18>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(evaluate(QString::fromUtf8(c.expression)), c.expected) << c.expression;
  }
}

// A link-extraction script of the kind the download workflow runs, over a small
// video-information document with the service's escaping.
const char kExtraction[] = R"JS(function getYouTubeUrl() {
  var info = '%get_video_info';
  var pieces = info.split('&');
  var found = false;
  for (var p = 0; p < pieces.length; p++) {
    if (pieces[p].substr(0, 26) != 'url_encoded_fmt_stream_map') continue;
    found = true;
    var itags = [], urls = [], sigs = [];
    var entries = unescape(pieces[p].substr(27)).split(',');
    for (var e = 0; e < entries.length; e++) {
      var fields = entries[e].split('&');
      for (var f = 0; f < fields.length; f++) {
        if (fields[f].substr(0, 5) == 'itag=') itags.push(parseInt(fields[f].substr(5), 10));
        else if (fields[f].substr(0, 4) == 'url=') urls.push(fields[f].substr(4));
        else if (fields[f].substr(0, 4) == 'sig=') sigs.push(fields[f].substr(4));
      }
    }
    var out = '';
    for (var k = 0; k < itags.length; k++) {
      var t = itags[k];
      if (t == 43 || t == 44 || t == 45 || t == 46 || t == 100 || t == 101 || t == 102) continue;
      if (out != '') out += '<br>';
      out += '<' + t + '>[' + unescape(urls[k]) + '&signature=' + sigs[k] + ']';
    }
    Host.Echo(out);
  }
  if (!found) Host.Echo('');
}
getYouTubeUrl();)JS";

QStringList extract(const QString& document) {
  ScriptRecorder r;
  r.run(script::SubstitutePlaceholders(QString::fromUtf8(kExtraction),
                                       {{"get_video_info", document}}));
  EXPECT_TRUE(r.errors.empty()) << (r.errors.empty() ? "" : r.errors[0].Description.toStdString());
  EXPECT_FALSE(r.events.join('|').contains("alert:")) << "the document ran as code";
  return r.echoes;
}

TEST(LanguageFunctions, ALinkExtractionScriptFindsEveryLinkOfADocument) {
  // Built as the service does: each entry's fields are escaped once inside the map and
  // the whole map is escaped again as a query value.
  const QString document =
      "status=ok&title=Clip&url_encoded_fmt_stream_map="
      "itag%3D22%26url%3Dhttp%253A%252F%252Fv1.example%252Fplay%253Fid%253Da%2526ip%253D1"
      "%26sig%3DS22%2C"
      "itag%3D43%26url%3Dhttp%253A%252F%252Fv1.example%252Fwebm%26sig%3DS43%2C"
      "itag%3D18%26url%3Dhttp%253A%252F%252Fv2.example%252Fplay%253Fid%253Db%26sig%3DS18"
      "&length_seconds=10";
  EXPECT_EQ(extract(document),
            QStringList({"<22>[http://v1.example/play?id=a&ip=1&signature=S22]<br>"
                         "<18>[http://v2.example/play?id=b&signature=S18]"}));
}

TEST(LanguageFunctions, ExtractionWithoutSignaturesOrWithoutAMap) {
  EXPECT_EQ(
      extract("url_encoded_fmt_stream_map=itag%3D5%26url%3Dhttp%253A%252F%252Fv.example%252Fa"),
      QStringList({"<5>[http://v.example/a&signature=undefined]"}));
  EXPECT_EQ(extract("status=fail&reason=Invalid+parameters."), QStringList({""}));
}

TEST(LanguageFunctions, ADocumentThatTriesToEndItsStringStaysText) {
  // The document is the server's: it must not reach the script as code.
  const QString hostile =
      "reason=it's';\nHost.Alert('ran');//\r\u2028\\'\"</script>&url_encoded_fmt_stream_map="
      "itag%3D5%26url%3Dhttp%253A%252F%252Fv.example%252Fa%26sig%3D'%2BHost.Alert(1)%2B'";
  EXPECT_EQ(extract(hostile), QStringList({"<5>[http://v.example/a&signature='+Host.Alert(1)+']"}));
}

}  // namespace
