// Feeds arbitrary text to the address splitting and escaping of the transfer component and
// checks what callers rely on: a refused address leaves every part empty, an accepted one
// has parts of the promised shape, and escaping for the wire yields text that can travel
// raw, is stable when applied again and decodes to what the original decodes to.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "http/HttpUrl.h"

namespace {

void check(bool ok, const char* what, const std::string& input) {
  if (ok) return;
  std::fprintf(stderr, "broken promise: %s (input of %zu bytes)\n", what, input.size());
  std::abort();
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool emptyParts(const http::UrlParts& p) {
  return p.scheme.empty() && p.host.empty() && p.port == 0 && p.user.empty() &&
         p.password.empty() && p.path.empty() && p.extra.empty();
}

void checkSplit(const std::string& url) {
  http::UrlParts parts;
  parts.host = "left over";
  parts.port = 7;
  if (!http::CrackUrl(url, parts)) {
    check(emptyParts(parts), "a refused address leaves all parts empty", url);
    return;
  }
  check(!parts.scheme.empty() && parts.scheme.size() <= 32, "scheme length", url);
  for (char c : parts.scheme) check(!(c >= 'A' && c <= 'Z'), "scheme in lower case", url);
  check(parts.host.size() <= 256, "host length", url);
  for (unsigned char c : parts.host) {
    check(c >= 0x80 || c > 0x20, "no blank or control character in the host", url);
    check(c != '/' && c != '?' && c != '#' && c != '@', "no delimiter in the host", url);
  }
  check(parts.port >= 0 && parts.port <= 65535, "port range", url);
  check(parts.user.size() <= 128 && parts.password.size() <= 128, "credential length", url);
  check(!parts.path.empty() && parts.path.size() <= 2048, "path length", url);
  check(parts.path.find_first_of("?#") == std::string::npos, "no query or fragment in the path",
        url);
  check(parts.extra.empty() || parts.extra[0] == '?', "the query starts with '?'", url);
  check(parts.extra.size() <= 2048, "query length", url);
  check(parts.extra.find('#') == std::string::npos, "no fragment in the query", url);
  // The address still holds the path and the query as they were given.
  if (parts.path != "/") check(url.find(parts.path) != std::string::npos, "path as given", url);
  check(url.find(parts.extra) != std::string::npos, "query as given", url);
}

void checkEscaping(const std::string& text) {
  const std::string wire = http::EscapeForWire(text);
  for (size_t i = 0; i < wire.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(wire[i]);
    check(c > 0x20 && c < 0x7F, "only printable characters on the wire", text);
    check(c != '"' && c != '<' && c != '>' && c != '#', "no quote, angle or hash on the wire",
          text);
    if (c == '%') {
      check(i + 2 < wire.size() && isHex(wire[i + 1]) && isHex(wire[i + 2]),
            "every '%' on the wire starts an escape", text);
    }
  }
  check(http::EscapeForWire(wire) == wire, "escaping twice changes nothing", text);
  check(http::DecodeEscapes(wire) == http::DecodeEscapes(text),
        "escaping keeps what the text decodes to", text);
  check(http::DecodeEscapes(text).size() <= text.size(), "decoding never grows", text);
  const std::string withScheme = http::WithDefaultScheme(text);
  check(withScheme.find("://") != std::string::npos, "a default scheme gives a scheme", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkSplit(text);
  checkSplit(http::WithDefaultScheme(text));
  checkEscaping(text);
  return 0;
}
