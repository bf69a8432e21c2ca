#include "download/LinkExtraction.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "script/CustomScript.h"
#include "script/ScriptLiteral.h"
#include "script/HostScriptlet.h"

namespace download {
namespace {

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool startsWith(std::string_view text, size_t at, std::string_view prefix) {
  return text.size() - std::min(at, text.size()) >= prefix.size() &&
         text.compare(at, prefix.size(), prefix) == 0;
}

// The document goes where %get_video_info stands, as a string literal.
const char* const kExtractionScript[] = {
    "function getYouTubeUrl() {",
    "  var info = %get_video_info;",
    "  var pieces = info.split('&');",
    "  var matched = false;",
    "  for (var i = 0; i < pieces.length; i++) {",
    "    if (pieces[i].substr(0, 26) != 'url_encoded_fmt_stream_map') continue;",
    "    matched = true;",
    "    var entries = unescape(pieces[i].substr(27)).split(',');",
    "    var itags = [], urls = [], sigs = [];",
    "    for (var j = 0; j < entries.length; j++) {",
    "      var fields = entries[j].split('&');",
    "      for (var f = 0; f < fields.length; f++) {",
    "        var field = fields[f];",
    "        if (field.substr(0, 5) == 'itag=') itags.push(parseInt(field.substr(5), 10));",
    "        else if (field.substr(0, 4) == 'url=') urls.push(field.substr(4));",
    "        else if (field.substr(0, 4) == 'sig=') sigs.push(field.substr(4));",
    "      }",
    "    }",
    "    var out = '';",
    "    for (var k = 0; k < itags.length; k++) {",
    "      var itag = itags[k];",
    "      if (itag == 43 || itag == 44 || itag == 45 || itag == 46 || itag == 100 ||",
    "          itag == 101 || itag == 102) continue;",
    "      if (out != '') out += '<br>';",
    "      out += '<' + itag + '>[' + unescape(urls[k]) + '&signature=' + sigs[k] + ']';",
    "    }",
    "    Host.Echo(out);",
    "  }",
    "  if (!matched) Host.Echo('');",
    "}",
    "getYouTubeUrl();",
};

}  // namespace

std::string DecodeHtmlText(std::string_view text) {
  static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&quot;", "\""}};
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    bool done = false;
    for (const auto& [entity, replacement] : kNamed) {
      if (startsWith(text, i, entity)) {
        out += replacement;
        i += entity.size();
        done = true;
        break;
      }
    }
    if (done) continue;
    if (startsWith(text, i, "&#")) {
      size_t j = i + 2;
      uint32_t value = 0;
      bool overflow = false;
      while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
        value = value * 10 + static_cast<uint32_t>(text[j] - '0');
        if (value > 0x10FFFF) overflow = true;
        ++j;
      }
      // A number that names no character (0, a surrogate, past U+10FFFF) stays as text.
      if (j > i + 2 && j < text.size() && text[j] == ';' && !overflow && value != 0 &&
          !(value >= 0xD800 && value <= 0xDFFF)) {
        appendUtf8(out, value);
        i = j + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

std::string ExtractTitle(std::string_view page) {
  static constexpr std::string_view kOpen = "<meta name=\"title\" content=\"";
  static constexpr std::string_view kClose = "\">";
  size_t from = 0;
  for (;;) {
    const size_t start = page.find(kOpen, from);
    if (start == std::string_view::npos) return {};
    const size_t content = start + kOpen.size();
    // The content runs up to the next "<"; the match ends at the last "\">" within it that
    // leaves at least one character of content (the pattern's greedy [^<]+).
    const size_t runEnd = std::min(page.find('<', content), page.size());
    const std::string_view run = page.substr(content, runEnd - content);
    const size_t close = run.size() >= 3 ? run.rfind(kClose) : std::string_view::npos;
    if (close != std::string_view::npos && close >= 1) {
      std::string match(run.substr(0, close + kClose.size()));
      // The match loses its first "\">", which may lie inside the content.
      match.erase(match.find(kClose), kClose.size());
      return DecodeHtmlText(match);
    }
    from = content;
  }
}

std::string ExtractVideoId(std::string_view page, std::string_view serviceDomain) {
  static constexpr std::string_view kWatch = "/watch?v=";
  const size_t head = serviceDomain.size() + kWatch.size();
  if (page.size() < head + 2) return {};
  for (size_t i = 0; i + head + 2 <= page.size(); ++i) {
    bool same = true;
    for (size_t d = 0; d < serviceDomain.size() && same; ++d) {
      same = serviceDomain[d] == '.' || page[i + d] == serviceDomain[d];
    }
    if (!same || page.compare(i + serviceDomain.size(), kWatch.size(), kWatch) != 0) continue;
    // At least one character, then everything up to the first quote after it.
    const size_t quote = page.find('"', i + head + 1);
    if (quote == std::string_view::npos) continue;
    std::string match(page.substr(i, quote + 1 - i));
    const std::string literal = std::string(serviceDomain) + std::string(kWatch);
    for (size_t at; (at = match.find(literal)) != std::string::npos;) match.erase(at, literal.size());
    match.erase(std::remove(match.begin(), match.end(), '"'), match.end());
    return match;
  }
  return {};
}

std::string InfoAddress(std::string_view serviceDomain, std::string_view videoId) {
  return "http://" + std::string(serviceDomain) + "/get_video_info?video_id=" +
         std::string(videoId);
}

bool LinkTable::Set(int itag, const std::string& link) {
  const auto it = std::find(kItags.begin(), kItags.end(), itag);
  if (it == kItags.end()) return false;
  links_[static_cast<size_t>(it - kItags.begin())] = link;
  return true;
}

const std::string& LinkTable::Get(int itag) const {
  static const std::string none;
  const auto it = std::find(kItags.begin(), kItags.end(), itag);
  return it == kItags.end() ? none : links_[static_cast<size_t>(it - kItags.begin())];
}

bool LinkTable::Empty() const {
  return std::all_of(links_.begin(), links_.end(), [](const std::string& l) { return l.empty(); });
}

namespace {
// The text between the first `open` and the first `close` after it; empty when either is
// missing.
std::string between(const std::string& item, char open, char close) {
  const size_t a = item.find(open);
  if (a == std::string::npos) return {};
  const size_t b = item.find(close, a + 1);
  if (b == std::string::npos) return {};
  return item.substr(a + 1, b - a - 1);
}

int parseItag(const std::string& text) {
  int value = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || stop != end) {
    throw std::invalid_argument("'" + text + "' is not a valid integer value");
  }
  return value;
}
}  // namespace

void ParseLinkItems(const std::string& text, LinkTable& table) {
  static constexpr std::string_view kSeparator = "<br>";
  size_t from = 0;
  while (from < text.size()) {
    size_t at = text.find(kSeparator, from);
    if (at == std::string::npos) at = text.size();
    const std::string item = text.substr(from, at - from);
    from = at + kSeparator.size();
    if (item.empty()) continue;
    const int itag = parseItag(between(item, '<', '>'));
    table.Set(itag, between(item, '[', ']'));
  }
}

QString ScriptStringLiteral(const QString& text) { return script::ScriptStringLiteral(text); }

QString BytesToScriptText(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ScriptTextToBytes(const QString& text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < 0x100) {
      out += static_cast<char>(c);
    } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
               QChar::isLowSurrogate(text[i + 1].unicode())) {
      appendUtf8(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
      ++i;
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

QStringList ExtractionScript(const std::string& document) {
  const QString literal = ScriptStringLiteral(BytesToScriptText(document));
  QStringList lines;
  for (const char* line : kExtractionScript) {
    QString text = QString::fromLatin1(line);
    text.replace(QLatin1String("%get_video_info"), literal, Qt::CaseSensitive);
    lines.push_back(text);
  }
  return lines;
}

LinkExtractor::LinkExtractor() : host_(std::make_unique<script::TJavaScript>()) {
  auto toParser = [this](script::THostScriptlet&, const QString& text) {
    if (target_) ParseLinkItems(ScriptTextToBytes(text), *target_);
  };
  host_->AddScriptlet(script::CreateHostScriptlet(toParser, toParser));
  host_->OnError = [this](script::TCustomScript&, const script::TScriptError& e) {
    if (OnError) {
      OnError("错误：行号 " + std::to_string(e.Line + 1) + ", " + e.Description.toStdString());
    }
  };
}

LinkExtractor::~LinkExtractor() = default;

void LinkExtractor::Extract(const std::string& document, LinkTable& table) {
  target_ = &table;
  // A script built from downloaded data reaches no file and creates no object.
  host_->Limits = script::TScriptLimits{};
  host_->Limits.TimeLimit = TimeLimit;
  host_->Lines = ExtractionScript(document);
  struct Reset {
    LinkTable*& target;
    ~Reset() { target = nullptr; }
  } reset{target_};
  host_->Execute();
}

}  // namespace download
