#pragma once
// Dates of response headers (Date, Last-Modified, Expires) as local date-time values.

#include <string_view>

namespace http {

// A date-time as days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// Reads the three formats servers send ("Sun, 06 Nov 1994 08:49:37 GMT",
// "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994") and numeric zone offsets,
// and converts from universal to local time with the current offset from UTC.
// 0 for an empty or unreadable text.
TDateTime ParseHeaderDate(std::string_view text);

// The same without the conversion to local time (universal time).
TDateTime ParseHeaderDateUtc(std::string_view text);

// The current offset of local time from universal time, in seconds (east positive).
long LocalUtcOffsetSeconds();

}  // namespace http
