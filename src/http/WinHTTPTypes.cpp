#include "http/WinHTTPTypes.h"

namespace http {

const char* StatusText(int statusCode) {
  switch (statusCode) {
    case 10:
      return "Resolving name";
    case 11:
      return "Name resolved";
    case 20:
      return "Connecting to server";
    case 21:
      return "Connected";
    case 30:
      return "Sending Request";
    case 31:
      return "Request sent";
    case 40:
      return "Receiving response";
    case 41:
      return "Response received";
    case 42:
      return "CTL Response received";
    case 43:
      return "Prefetch";
    case 50:
      return "Closing connection";
    case 51:
      return "Connection closed";
    case 60:
      return "Handle created";
    case 70:
      return "Handle closing";
    case 100:
      return "Request complete";
    case 110:
      return "Redirect";
    case 120:
      return "Intermediate response";
    case 200:
      return "State change";
    default:
      return "Unknown status";
  }
}

}  // namespace http
