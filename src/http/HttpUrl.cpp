#include "http/HttpUrl.h"

#include <cctype>
#include <charconv>

namespace http {
namespace {

constexpr size_t kMaxScheme = 32;
constexpr size_t kMaxHost = 256;
constexpr size_t kMaxCredential = 128;
constexpr size_t kMaxPathOrExtra = 2048;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isEscapeAt(std::string_view s, size_t i) {
  return i + 2 < s.size() && s[i] == '%' && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0;
}

bool validHost(std::string_view host) {
  if (host.size() > kMaxHost) return false;
  for (unsigned char c : host) {
    if (c >= 0x80) continue;  // an international name, left to the resolver
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '[' || c == ']' ||
        c == ':')
      continue;
    return false;
  }
  return true;
}

bool validScheme(std::string_view scheme) {
  if (scheme.empty() || scheme.size() > kMaxScheme ||
      !std::isalpha(static_cast<unsigned char>(scheme[0])))
    return false;
  for (unsigned char c : scheme) {
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

int defaultPort(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return 0;
}

}  // namespace

std::string WithDefaultScheme(const std::string& url) {
  return url.find("://") == std::string::npos ? "http://" + url : url;
}

std::string DecodeEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (isEscapeAt(text, i)) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string EscapeForWire(std::string_view text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool escape = c < 0x21 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '#' ||
                        (c == '%' && !isEscapeAt(text, i));
    if (escape) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool CrackUrl(const std::string& url, UrlParts& parts) {
  parts = UrlParts{};
  UrlParts p;
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) return false;
  p.scheme = url.substr(0, schemeEnd);
  if (!validScheme(p.scheme)) return false;
  for (char& c : p.scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  const size_t authorityStart = schemeEnd + 3;
  size_t authorityEnd = url.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  std::string_view authority(url.data() + authorityStart, authorityEnd - authorityStart);

  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const size_t colon = userInfo.find(':');
    p.user = DecodeEscapes(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) p.password = DecodeEscapes(userInfo.substr(colon + 1));
    if (p.user.size() > kMaxCredential || p.password.size() > kMaxCredential) return false;
  }

  // The port follows the last ':' outside an IPv6 literal's brackets.
  const size_t bracket = authority.rfind(']');
  const size_t colon = authority.rfind(':');
  std::string_view hostPart = authority;
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    std::string_view portText = authority.substr(colon + 1);
    hostPart = authority.substr(0, colon);
    if (portText.empty()) {
      p.port = defaultPort(p.scheme);
    } else {
      int port = 0;
      auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
      if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
        return false;
      p.port = port;
    }
  } else {
    p.port = defaultPort(p.scheme);
  }
  p.host = DecodeEscapes(hostPart);
  if (!validHost(p.host)) return false;

  size_t pathEnd = url.find_first_of("?#", authorityEnd);
  if (pathEnd == std::string::npos) pathEnd = url.size();
  p.path = url.substr(authorityEnd, pathEnd - authorityEnd);
  if (pathEnd < url.size() && url[pathEnd] == '?') {
    size_t extraEnd = url.find('#', pathEnd);
    if (extraEnd == std::string::npos) extraEnd = url.size();
    p.extra = url.substr(pathEnd, extraEnd - pathEnd);
  }
  if (p.path.size() > kMaxPathOrExtra || p.extra.size() > kMaxPathOrExtra) return false;
  if (p.path.empty()) p.path.push_back('/');
  parts = std::move(p);
  return true;
}

}  // namespace http
