#pragma once
// What the download branch reads from the video service: the title and the identifier on
// a watch page, the address of the video-information document, and the direct links the
// extraction script finds in that document, one per format number (itag).
//
// Pages and documents are taken byte for byte; titles stay in the page's own bytes
// (UTF-8 on every page the service sends).

#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace script {
class TJavaScript;
}

namespace download {

// HTML-decodes a title: &amp; &lt; &gt; &nbsp; &quot; and &#NNN; (the character of that
// number, in UTF-8). Any other "&" is copied as it is.
std::string DecodeHtmlText(std::string_view text);

// The decoded text of the first <meta name="title" content="..."> element; empty without
// one.
std::string ExtractTitle(std::string_view page);

// The video identifier: the text of the first "<domain>/watch?v=...\"" on the page (each
// dot of the domain standing for any character), without the domain part and the quote.
// Empty without one.
std::string ExtractVideoId(std::string_view page, std::string_view serviceDomain);

// "http://<domain>/get_video_info?video_id=<id>"
std::string InfoAddress(std::string_view serviceDomain, std::string_view videoId);

// One link per itag the download branch knows: 5 (the default quality) and the eight of
// the quality table.
class LinkTable {
 public:
  static constexpr std::array<int, 9> kItags = {5, 6, 18, 35, 22, 13, 17, 34, 37};
  // False for an itag outside the table (the link is dropped).
  bool Set(int itag, const std::string& link);
  // The link of the itag; empty when there is none.
  const std::string& Get(int itag) const;
  void Clear() { links_.fill({}); }
  bool Empty() const;

 private:
  std::array<std::string, 9> links_;
};

// Hands the items of an extraction output ("<itag>[link]" joined by "<br>") to the table.
// Throws std::invalid_argument when an item's itag is not a number; the items before it
// are kept.
void ParseLinkItems(const std::string& text, LinkTable& table);

// Puts a text into script code as a string literal that is the same text inside the
// script, whatever quotes, backslashes, line breaks or markup it holds: the script host's
// script::ScriptStringLiteral.
QString ScriptStringLiteral(const QString& text);

// The link-extraction script with the document put in as a string literal.
QStringList ExtractionScript(const std::string& document);

// The document's bytes as script text (one character per byte) and script text back to
// bytes (characters past 255 in UTF-8).
QString BytesToScriptText(std::string_view bytes);
std::string ScriptTextToBytes(const QString& text);

// Runs the extraction script over documents. The script sees only the Host object, whose
// Echo and Alert hand their text to the link parser; it reaches no file, creates no
// object, has no window, and is stopped after the time limit.
class LinkExtractor {
 public:
  LinkExtractor();
  ~LinkExtractor();
  LinkExtractor(const LinkExtractor&) = delete;
  LinkExtractor& operator=(const LinkExtractor&) = delete;

  std::chrono::milliseconds TimeLimit{10000};
  // A script error as the message box shows it: "错误：行号 <line>, <description>".
  std::function<void(const std::string& message)> OnError;

  // Clears nothing: the links found are added to the table (a later item for an itag
  // replaces an earlier one).
  void Extract(const std::string& document, LinkTable& table);

 private:
  std::unique_ptr<script::TJavaScript> host_;
  LinkTable* target_ = nullptr;
};

}  // namespace download
