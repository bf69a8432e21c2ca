// Feeds arbitrary bytes, line by line, to the reading of response heads (the status line,
// header fields and the blank line that ends a head) and to what the transfer component
// does with the fields: the dates, the redirect target, the length and the range of a
// partial answer. Checks the shape that the transfer relies on; any crash or undefined
// behaviour is a finding too. The transfer component's own readers of the length and the
// range are internal to it, so its source is part of this file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/CurlRequest.h"
#include "http/HttpDate.h"
#include "http/WinHTTP.cpp"  // NOLINT: for parseLength and rangeStartOf

namespace {

void check(bool ok, const char* what, std::string_view input) {
  if (ok) return;
  std::fprintf(stderr, "broken promise: %s (input of %zu bytes)\n", what, input.size());
  std::abort();
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

void checkHead(const http::ResponseHead& head, std::string_view input) {
  check(head.status >= 0 && head.status <= 999, "the status is a three-digit number", input);
  check(head.raw.size() >= 2 && head.raw.compare(head.raw.size() - 2, 2, "\r\n") == 0,
        "the raw head ends in CR LF", input);
  for (const auto& [name, value] : head.fields) {
    check(name.empty() || (!blank(name.front()) && !blank(name.back())), "a trimmed name", input);
    check(value.empty() || (!blank(value.front()) && !blank(value.back())), "a trimmed value",
          input);
    check(name.find(':') == std::string::npos, "no colon in a name", input);
    check(name.find_first_of("\r\n") == std::string::npos &&
              value.find_first_of("\r\n") == std::string::npos,
          "no line break inside a field", input);
    const http::TDateTime date = http::ParseHeaderDateUtc(value);
    check(std::isfinite(date), "a date is a finite number", input);
    (void)http::ParseHeaderDate(value);
  }
  if (auto length = head.Find("content-length")) {
    check(http::parseLength(*length) >= 0, "a length is never negative", input);
  }
  if (auto range = head.Find("content-range")) {
    const int64_t start = http::rangeStartOf(*range);
    check(start >= -1, "a range starts at a byte position or is unreadable (-1)", input);
  }
  if (auto location = head.Find("location")) {
    if (auto target = http::ResolveReference("http://127.0.0.1:8080/dir/page?q=1", *location)) {
      check(target->rfind("http://", 0) == 0 || target->rfind("https://", 0) == 0,
            "a redirect target is an http or https address", input);
      check(target->find('#') == std::string::npos, "a redirect target has no fragment", input);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  http::ResponseHead head;
  bool started = false;
  size_t begin = 0;
  while (begin < input.size()) {
    size_t end = input.find('\n', begin);
    end = end == std::string_view::npos ? input.size() : end + 1;
    const std::string_view line = input.substr(begin, end - begin);
    begin = end;
    const http::HeadLine kind = http::ReadHeadLine(head, line);
    if (kind == http::HeadLine::Status) started = true;
    if (started) checkHead(head, input);
    if (kind == http::HeadLine::End) {
      head = http::ResponseHead{};
      started = false;
    }
  }
  return 0;
}
