#include "enginebase/ErrorText.h"

#include <cstdint>
#include <cstdio>
#include <unordered_map>

extern "C" {
#include <libavutil/error.h>
}

namespace engine {
namespace {

struct Row {
  uint32_t code;  // the negative code as its 32-bit pattern
  const char* text;
};

// The format library's own tags (negated four-character codes).
const Row kTagRows[] = {
    {0xBCBABB08u, "Decoder not found"},
    {0xBCB1BA08u, "Encoder not found"},
    {0xBAA8BEB0u, "Not yet implemented in FFmpeg"},
    {0xB9ACBD08u, "Bitstream filter not found"},
    {0xB3B6B908u, "Filter not found"},
    {0xB2BABB08u, "Demuxer not found"},
    {0xB0ADAF08u, "Protocol not found"},
    {0xADABAC08u, "Stream not found"},
    {0xA7AAB208u, "Muxer not found"},
};

// System error numbers (Linux numbering); 22, 32, 33 and 42 carry the library's meaning.
const struct {
  int number;
  const char* text;
} kErrnoRows[] = {
    {1, "Operation not permitted"},
    {2, "No such file or directory"},
    {3, "No such process"},
    {4, "Interrupted function call"},
    {5, "I/O error"},
    {6, "No such device or address"},
    {7, "Argument list too long"},
    {8, "Exec format error"},
    {9, "Bad file number"},
    {10, "No child processes"},
    {11, "Resource temporarily unavailable / Try again"},
    {12, "Not enough space / Out of memory"},
    {13, "Permission denied"},
    {14, "Bad address"},
    {15, "Block device required"},
    {16, "Device or resource busy"},
    {17, "File exists"},
    {18, "Cross-device link"},
    {19, "No such device"},
    {20, "Not a directory"},
    {21, "Is a directory"},
    {22, "Invalid argument / Invalid data found when processing input"},
    {23, "Too many open files in system / File table overflow"},
    {24, "Too many open files"},
    {25, "Inappropriate I/O control operation / Not a typewriter"},
    {26, "Text file busy"},
    {27, "File too large"},
    {28, "No space left on device"},
    {29, "Illegal seek"},
    {30, "Read-only file system"},
    {31, "Too many links"},
    {32, "End of file"},
    {33, "Number syntax expected in filename"},
    {34, "Math result not representable"},
    {35, "Resource deadlock would occur"},
    {36, "File name too long"},
    {37, "No record locks available"},
    {38, "Function not implemented"},
    {39, "Directory not empty"},
    {40, "Too many symbolic links encountered"},
    {42, "Unknown format"},
    {43, "Identifier removed"},
    {44, "Channel number out of range"},
    {45, "Level 2 not synchronized"},
    {46, "Level 3 halted"},
    {47, "Level 3 reset"},
    {48, "Link number out of range"},
    {49, "Protocol driver not attached"},
    {50, "No CSI structure available"},
    {51, "Level 2 halted"},
    {52, "Invalid exchange"},
    {53, "Invalid request descriptor"},
    {54, "Exchange full"},
    {55, "No anode"},
    {56, "Invalid request code"},
    {57, "Invalid slot"},
    {59, "Bad font file format"},
    {60, "Device not a stream"},
    {61, "No data available"},
    {62, "Timer expired"},
    {63, "Out of streams resources"},
    {64, "Machine is not on the network"},
    {65, "Package not installed"},
    {66, "Object is remote"},
    {67, "Link has been severed"},
    {68, "Advertise error"},
    {69, "Srmount error"},
    {70, "Communication error on send"},
    {71, "Protocol error"},
    {72, "Multihop attempted"},
    {73, "RFS specific error"},
    {74, "Not a data message"},
    {75, "Value too large for defined data type"},
    {76, "Name not unique on network"},
    {77, "File descriptor in bad state"},
    {78, "Remote address changed"},
    {79, "Can not access a needed shared library"},
    {80, "Accessing a corrupted shared library"},
    {81, ".lib section in a.out corrupted"},
    {82, "Attempting to link in too many shared libraries"},
    {83, "Cannot exec a shared library directly"},
    {84, "Illegal byte sequence"},
    {85, "Interrupted system call should be restarted"},
    {86, "Streams pipe error"},
    {87, "Too many users"},
    {88, "Socket operation on non-socket"},
    {89, "Destination address required"},
    {90, "Message too long"},
    {91, "Protocol wrong type for socket"},
    {92, "Protocol not available"},
    {93, "Protocol not supported"},
    {94, "Socket type not supported"},
    {95, "Operation not supported on transport endpoint"},
    {96, "Protocol family not supported"},
    {97, "Address family not supported by protocol"},
    {98, "Address already in use"},
    {99, "Cannot assign requested address"},
    {100, "Network is down"},
    {101, "Network is unreachable"},
    {102, "Network dropped connection because of reset"},
    {103, "Software caused connection abort"},
    {104, "Connection reset by peer"},
    {105, "No buffer space available"},
    {106, "Transport endpoint is already connected"},
    {107, "Transport endpoint is not connected"},
    {108, "Cannot send after transport endpoint shutdown"},
    {109, "Too many references: cannot splice"},
    {110, "Connection timed out"},
    {111, "Connection refused"},
    {112, "Host is down"},
    {113, "No route to host"},
    {114, "Operation already in progress"},
    {115, "Operation now in progress"},
    {116, "Stale NFS file handle"},
    {117, "Structure needs cleaning"},
    {118, "Not a XENIX named type file"},
    {119, "No XENIX semaphores available"},
    {120, "Is a named type file"},
    {121, "Remote I/O error"},
    {122, "Quota exceeded"},
    {123, "No medium found"},
    {124, "Wrong medium type"},
    {125, "Operation Canceled"},
    {126, "Required key not available"},
    {127, "Key has expired"},
    {128, "Key has been revoked"},
    {129, "Key was rejected by service"},
    {130, "Owner died"},
    {131, "State not recoverable"},
};

// Socket error numbers of the platform the tables were first made for: their symbolic names.
const struct {
  int number;
  const char* text;
} kSocketRows[] = {
    {10035, "WSAEWOULDBLOCK"},
    {10067, "WSAEPROCLIM"},
    {10091, "WSASYSNOTREADY"},
    {10092, "WSAVERNOTSUPPORTED"},
    {10093, "WSANOTINITIALISED"},
    {10101, "WSAEDISCON"},
    {10102, "WSAENOMORE"},
    {10103, "WSAECANCELLED"},
    {10104, "WSAEINVALIDPROCTABLE"},
    {10105, "WSAEINVALIDPROVIDER"},
    {10106, "WSAEPROVIDERFAILEDINIT"},
    {10107, "WSASYSCALLFAILURE"},
    {10108, "WSASERVICE_NOT_FOUND"},
    {10109, "WSATYPE_NOT_FOUND"},
    {10110, "WSA_E_NO_MORE"},
    {10111, "WSA_E_CANCELLED"},
    {10112, "WSAEREFUSED"},
    {11001, "WSAHOST_NOT_FOUND"},
    {11002, "WSATRY_AGAIN"},
    {11003, "WSANO_RECOVERY"},
    {11004, "WSANO_DATA"},
};

const std::unordered_map<int, const char*>& table() {
  static const std::unordered_map<int, const char*> rows = [] {
    std::unordered_map<int, const char*> m;
    for (const auto& r : kTagRows) m.emplace(static_cast<int32_t>(r.code), r.text);
    for (const auto& r : kErrnoRows) m.emplace(-r.number, r.text);
    for (const auto& r : kSocketRows) m.emplace(-r.number, r.text);
    return m;
  }();
  return rows;
}

}  // namespace

std::string ErrorCodeText(int code) {
  const auto& rows = table();
  if (auto it = rows.find(code); it != rows.end()) return it->second;
  // Today's library returns its own tags for faults the old codes named by number (invalid
  // data, end of file, exit requested, ...): give its text rather than a bare number.
  if (code < -0xFFFF) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    if (av_strerror(code, text, sizeof text) == 0) return text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Error number %d occurred", code);
  return text;
}

std::string ErrorText(const std::string& fileName, int code) {
  return fileName + ": " + ErrorCodeText(code);
}

}  // namespace engine
