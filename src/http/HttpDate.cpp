#include "http/HttpDate.h"

#include <cctype>
#include <charconv>
#include <ctime>
#include <string>

namespace http {
namespace {

constexpr const char* kWeekdays[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};

std::string lower3(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < 3; ++i)
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
  return out;
}

int monthOf(std::string_view field) {
  if (field.size() < 3) return 0;
  const std::string m = lower3(field);
  for (int i = 0; i < 12; ++i)
    if (m == kMonths[i]) return i + 1;
  return 0;
}

bool toInt(std::string_view s, int& value) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

void skipBlanks(std::string_view& s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

// Takes the text up to sep (or to the end) and drops the separator and following blanks.
std::string_view takeField(std::string_view& s, char sep) {
  skipBlanks(s);
  const size_t end = s.find(sep);
  std::string_view field = s.substr(0, end);
  s = end == std::string_view::npos ? std::string_view() : s.substr(end + 1);
  skipBlanks(s);
  return field;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr double kUnixEpochAsDateTime = 25569.0;  // 1970-01-01 in days since 1899-12-30

bool parseUtcSeconds(std::string_view text, double& seconds) {
  std::string_view s = text;
  skipBlanks(s);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  if (s.empty()) return false;

  const std::string first = lower3(s);
  for (const char* w : kWeekdays) {
    if (first == w) {
      const size_t space = s.find(' ');
      if (space == std::string_view::npos) return false;
      s.remove_prefix(space + 1);
      skipBlanks(s);
      break;
    }
  }
  const size_t firstSpace = s.find(' ');
  const size_t dash = s.find('-', 1);
  const char sep = dash != std::string_view::npos && dash < firstSpace ? '-' : ' ';

  std::string_view a = takeField(s, sep);
  std::string_view b = takeField(s, sep);
  int month = monthOf(a);
  std::string_view dayText = b;
  if (month == 0) {
    month = monthOf(b);
    dayText = a;
  }
  if (month == 0) return false;
  int day = 1;
  if (!toInt(dayText, day)) day = 1;

  int year = 0;
  std::string_view timeText;
  std::string_view yearField = takeField(s, ' ');
  if (!toInt(yearField, year)) {
    // asctime order: the time comes before the year.
    timeText = yearField;
    std::string_view rest = s;
    std::string_view yearOnly = takeField(rest, ' ');
    if (!toInt(yearOnly, year)) return false;
    s = rest;
  } else if (s.find(':') != std::string_view::npos) {
    timeText = takeField(s, ' ');
  }
  if (year < 80) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }

  int hms[3] = {0, 0, 0};
  for (int i = 0; i < 3 && !timeText.empty(); ++i) {
    const size_t colon = timeText.find(':');
    std::string_view part = timeText.substr(0, colon);
    if (!part.empty() && !toInt(part, hms[i])) return false;
    timeText = colon == std::string_view::npos ? std::string_view() : timeText.substr(colon + 1);
  }

  long offset = 0;
  if (s.size() > 4) {
    const char sign = s[0];
    int hh = 0, mm = 0;
    if ((sign != '+' && sign != '-') || !toInt(s.substr(1, 2), hh) || !toInt(s.substr(3, 2), mm))
      return false;
    offset = (hh * 60L + mm) * 60L * (sign == '-' ? -1 : 1);
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hms[0] > 23 || hms[1] > 59 || hms[2] > 61)
    return false;
  seconds = static_cast<double>(daysFromCivil(year, month, day)) * 86400.0 + hms[0] * 3600.0 +
            hms[1] * 60.0 + hms[2] - static_cast<double>(offset);
  return true;
}

}  // namespace

long LocalUtcOffsetSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_gmtoff;
}

TDateTime ParseHeaderDateUtc(std::string_view text) {
  double seconds = 0;
  if (!parseUtcSeconds(text, seconds)) return 0;
  return kUnixEpochAsDateTime + seconds / 86400.0;
}

TDateTime ParseHeaderDate(std::string_view text) {
  double seconds = 0;
  if (!parseUtcSeconds(text, seconds)) return 0;
  return kUnixEpochAsDateTime + (seconds + static_cast<double>(LocalUtcOffsetSeconds())) / 86400.0;
}

}  // namespace http
