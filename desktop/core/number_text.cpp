#include "core/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kn {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Converts a cleaned "[-]digits[.digits][e[-]digits]" text in the C locale's form.
double to_double(const std::string& clean) { return std::strtod(clean.c_str(), nullptr); }

}  // namespace

std::optional<double> parse_number(std::string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && is_space(text[i])) ++i;
  while (n > i && is_space(text[n - 1])) --n;
  std::string clean;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') clean += '-';
    ++i;
  }
  size_t digits = 0;
  while (i < n && is_digit(text[i])) {
    clean += text[i++];
    ++digits;
  }
  if (i < n && text[i] == '.') {
    clean += text[i++];
    while (i < n && is_digit(text[i])) {
      clean += text[i++];
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    clean += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) clean += text[i++];
    size_t exp_digits = 0;
    while (i < n && is_digit(text[i])) {
      clean += text[i++];
      ++exp_digits;
    }
    if (exp_digits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  double v = to_double(clean);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

double leading_number(std::string_view text) {
  std::string clean;
  size_t i = 0, n = text.size();
  auto skip_blanks = [&] {
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  };
  skip_blanks();
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') clean += '-';
    ++i;
  }
  bool any = false, point = false;
  for (;;) {
    skip_blanks();
    if (i < n && is_digit(text[i])) {
      clean += text[i++];
      any = true;
    } else if (i < n && text[i] == '.' && !point) {
      clean += text[i++];
      point = true;
    } else {
      break;
    }
  }
  if (!any) return 0.0;
  if (i < n && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    size_t j = i + 1;
    std::string exp = "e";
    if (j < n && (text[j] == '+' || text[j] == '-')) exp += text[j++];
    bool exp_any = false;
    while (j < n && is_digit(text[j])) {
      exp += text[j++];
      exp_any = true;
    }
    if (exp_any) clean += exp;
  }
  double v = to_double(clean);
  return std::isfinite(v) ? v : 0.0;
}

std::optional<int16_t> round_to_int16(double value) {
  auto r = round_half_even(value);
  if (!r || *r < std::numeric_limits<int16_t>::min() || *r > std::numeric_limits<int16_t>::max())
    return std::nullopt;
  return static_cast<int16_t>(*r);
}

std::optional<int32_t> round_to_int32(double value) {
  auto r = round_half_even(value);
  if (!r || *r < std::numeric_limits<int32_t>::min() || *r > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(*r);
}

std::optional<int16_t> strict_int16(std::string_view text) {
  auto v = parse_number(text);
  if (!v) return std::nullopt;
  return round_to_int16(*v);
}

std::optional<int32_t> strict_int32(std::string_view text) {
  auto v = parse_number(text);
  if (!v) return std::nullopt;
  return round_to_int32(*v);
}

std::optional<bool> strict_bool(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && is_space(text[b])) ++b;
  while (e > b && is_space(text[e - 1])) --e;
  std::string word(text.substr(b, e - b));
  for (char& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (word == "true") return true;
  if (word == "false") return false;
  auto v = parse_number(text);
  if (!v) return std::nullopt;
  return *v != 0.0;
}

std::string format_0000(int64_t value) {
  char buf[32];
  // The magnitude in unsigned arithmetic: negating the smallest int64 overflows.
  const uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::snprintf(buf, sizeof buf, value < 0 ? "-%04llu" : "%04llu",
                static_cast<unsigned long long>(magnitude));
  return buf;
}

std::string format_0000(std::string_view text) {
  auto v = parse_number(text);
  if (!v) return std::string(text);
  double r = std::round(*v);  // halves away from zero
  if (std::fabs(r) < 9.0e18) return format_0000(static_cast<int64_t>(r));
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.0f", r);
  return buf;
}

}  // namespace kn
