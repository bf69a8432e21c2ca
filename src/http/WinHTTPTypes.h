#pragma once
// Settings objects of the HTTP transfer component and its enumerations.

#include <cstdint>
#include <set>
#include <string>

#include "http/HttpStreams.h"

namespace http {

enum TWinHTTPRequestMethod { rmAutoDetect, rmGET, rmPOST };
enum TWinHTTPAccessType { atPreconfig, atDirect, atUseProxy };

enum TCacheOption {
  coAlwaysReload,
  coReloadIfNoExpireInformation,
  coReloadUpdatedObjects,
  coPragmaNoCache,
  coNoCacheWrite,
  coUseCacheIfNetFail,
  coCreateTempFilesIfCantCache,
};
using TCacheOptions = std::set<TCacheOption>;

enum TInternetOption {
  ioIgnoreCertificateInvalid,
  ioIgnoreCertificateDateInvalid,
  ioIgnoreRedirectToHTTP,
  ioIgnoreRedirectToHTTPS,
  ioIgnoreUnknownCertificateAuthority,
  ioKeepConnection,
  ioNoAuthentication,
  ioNoAutoRedirect,
  ioNoCookies,
};
using TInternetOptions = std::set<TInternetOption>;

inline constexpr const char* kDefaultAcceptTypes = "text/html, */*";
// The user-agent text the component sends unless told otherwise.
inline constexpr const char* kDefaultAgent = "Wizconv-HTTP/1.0";

// Each settings object copies member-wise; Assign(nullptr) resets it to its defaults.
struct TWinHTTPProxy {
  TWinHTTPAccessType AccessType = atPreconfig;
  int32_t ProxyPort = 8080;
  std::string ProxyServer;
  std::string ProxyBypass = "127.0.0.1;";
  std::string ProxyUsername;
  std::string ProxyPassword;
  void Assign(const TWinHTTPProxy* source) { *this = source ? *source : TWinHTTPProxy{}; }
  // The server name is worth storing only when a named proxy is used.
  bool StoresProxyServer() const { return AccessType == atUseProxy; }
};

struct TWinHTTPRange {
  uint32_t StartRange = 0;
  uint32_t EndRange = 0;
  void Assign(const TWinHTTPRange* source) { *this = source ? *source : TWinHTTPRange{}; }
};

struct TWinHTTPTimeouts {
  uint32_t ConnectTimeout = 0;  // ms; 0 leaves the system value
  uint32_t ReceiveTimeout = 0;
  uint32_t SendTimeout = 0;
  void Assign(const TWinHTTPTimeouts* source) { *this = source ? *source : TWinHTTPTimeouts{}; }
};

struct TWinHTTPOutputFileAttributes {
  TWinHTTPFileAttributes Complete = {atrArchive};
  TWinHTTPFileAttributes Incomplete = {atrArchive, atrTemporary};
  void Assign(const TWinHTTPOutputFileAttributes* source) {
    *this = source ? *source : TWinHTTPOutputFileAttributes{};
  }
};

// The text reported with each status code of OnStatus.
const char* StatusText(int statusCode);

}  // namespace http
