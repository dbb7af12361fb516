#include "core/request_url.h"

#include <algorithm>

#include "core/text_util.h"

namespace kn {

std::string request_line_url(std::string_view url_bytes) {
  // Only what a URL cannot carry; the path's own escapes are already there.
  return percent_escape(
      url_bytes, [](unsigned char c) { return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>'; });
}

}  // namespace kn

namespace kn {

namespace {

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Reads n digits at s[at]; false when they are not there.
bool digits(std::string_view s, size_t at, size_t n, int& out) {
  if (at + n > s.size() || !all_digits(s.substr(at, n))) return false;
  out = 0;
  for (size_t i = 0; i < n; ++i) out = out * 10 + (s[at + i] - '0');
  return true;
}

int month_of(std::string_view name) {
  static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 0; m < 12; ++m) {
    if (name == kMonths[m]) return m + 1;
  }
  return 0;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// "hh:mm:ss" at s[at].
bool clock_time(std::string_view s, size_t at, int& h, int& mi, int& sec) {
  return at + 8 <= s.size() && digits(s, at, 2, h) && s[at + 2] == ':' && digits(s, at + 3, 2, mi) &&
         s[at + 5] == ':' && digits(s, at + 6, 2, sec) && h < 24 && mi < 60 && sec <= 60;
}

std::optional<int64_t> http_date(std::string_view s) {
  int y = 0, m = 0, d = 0, h = 0, mi = 0, sec = 0;
  const size_t comma = s.find(',');
  if (comma != std::string_view::npos) {
    std::string_view rest = s.substr(comma + 1);
    if (rest.size() == 25 && rest[0] == ' ' && rest[3] == ' ' && rest[7] == ' ' && rest[12] == ' ' &&
        rest.substr(21) == " GMT") {
      // Sun, 06 Nov 1994 08:49:37 GMT
      m = month_of(rest.substr(4, 3));
      if (!digits(rest, 1, 2, d) || !digits(rest, 8, 4, y) || !clock_time(rest, 13, h, mi, sec)) return {};
    } else if (rest.size() == 23 && rest[0] == ' ' && rest[3] == '-' && rest[7] == '-' && rest[10] == ' ' &&
               rest.substr(19) == " GMT") {
      // Sunday, 06-Nov-94 08:49:37 GMT; two-digit years read as the nearer century.
      m = month_of(rest.substr(4, 3));
      if (!digits(rest, 1, 2, d) || !digits(rest, 8, 2, y) || !clock_time(rest, 11, h, mi, sec)) return {};
      y += y < 70 ? 2000 : 1900;
    } else {
      return {};
    }
  } else if (s.size() == 24 && s[3] == ' ' && s[7] == ' ' && s[10] == ' ' && s[19] == ' ') {
    // Sun Nov  6 08:49:37 1994
    m = month_of(s.substr(4, 3));
    const std::string_view day = s.substr(8, 2);
    if (day[0] == ' ') {
      if (!digits(s, 9, 1, d)) return {};
    } else if (!digits(s, 8, 2, d)) {
      return {};
    }
    if (!clock_time(s, 11, h, mi, sec) || !digits(s, 20, 4, y)) return {};
  } else {
    return {};
  }
  if (m == 0 || d < 1 || d > 31) return {};
  return days_from_civil(y, m, d) * 86400 + h * 3600 + mi * 60 + sec;
}

}  // namespace

std::optional<std::chrono::seconds> retry_after(std::string_view value, int64_t now_unix) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (all_digits(value)) {
    // Beyond a day is as good as never for a request of seconds.
    if (value.size() > 6) return std::chrono::seconds(86400);
    int64_t n = 0;
    for (const char c : value) n = n * 10 + (c - '0');
    return std::chrono::seconds(std::min<int64_t>(n, 86400));
  }
  const std::optional<int64_t> at = http_date(value);
  if (!at) return std::nullopt;
  return std::chrono::seconds(std::clamp<int64_t>(*at - now_unix, 0, 86400));
}

}  // namespace kn
