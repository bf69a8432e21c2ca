#pragma once
// Splitting an address into the parts a transfer needs, and the escaping of the parts that
// go on the wire.

#include <string>
#include <string_view>

namespace http {

struct UrlParts {
  std::string scheme;  // lower case
  std::string host;
  int port = 0;          // the scheme's default when the address names none
  std::string user;      // escapes decoded
  std::string password;  // escapes decoded
  std::string path;      // as given (escapes kept); "/" when empty
  std::string extra;     // the query with its leading "?", as given; no fragment
};

// Puts "http://" in front of an address that contains no "://".
std::string WithDefaultScheme(const std::string& url);

// Splits an address. False (and all parts empty) when it cannot be split: no scheme, a
// scheme over 32 characters, a host over 256 or with characters a host cannot hold, a
// user name or password over 128, a path or query over 2048, a bad port.
bool CrackUrl(const std::string& url, UrlParts& parts);

// Decodes %XX escapes; a "%" not followed by two hexadecimal digits stays as it is.
std::string DecodeEscapes(std::string_view text);

// Escapes what cannot travel raw in a request target: control characters and bytes from
// 0x7F up, space, '"', '<', '>', '#', and a '%' that does not start an escape. Escapes
// already present stay as they are, so "%26" in a value is still a literal "&" for the
// server rather than a parameter separator.
std::string EscapeForWire(std::string_view text);

}  // namespace http
