// The settings readers and the number conversions behind them.
//
// Input: lines (LF-separated; a CR stays part of its line, as the profile functions
// would hand it over). Line i is the value of the i-th settings key in table order; keys
// past the last line read as missing, so the reader returns the default. Every line also
// goes through the number conversions on its own, and its first eight bytes are taken as
// a raw double and a raw 64-bit integer for the rounding and "0000" helpers.
//
// The expected values come from two plain oracles: a whole text that is an integer of at
// most 15 digits (blanks around it) must convert to exactly that integer, and a text
// without any digit is no number at all. Each key is checked as the settings table
// describes it (kind, field width, range, default), and what the settings dialog would
// write for it must read back as the value it came from.
#include "core/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "check.h"
#include "core/number_text.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::optional<long long> plain_integer(std::string_view t) {
  while (!t.empty() && is_blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && is_blank(t.back())) t.remove_suffix(1);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty() || t.size() > 15) return std::nullopt;
  long long v = 0;
  for (char c : t) {
    if (!is_digit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

bool has_digit(std::string_view t) {
  for (char c : t) {
    if (is_digit(c)) return true;
  }
  return false;
}

std::string trim_spaces(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return std::string(t);
}

std::optional<bool> bool_word(std::string_view t) {
  std::string w;
  for (char c : t) {
    if (!is_blank(c)) w += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  // Only blanks around the word count; a blank inside is no word.
  std::string_view s = t;
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  if (s.size() != w.size()) return std::nullopt;
  if (w == "true") return true;
  if (w == "false") return false;
  return std::nullopt;
}

bool in_int16(long long v) { return v >= -32768 && v <= 32767; }
bool in_int32(long long v) { return v >= -2147483648LL && v <= 2147483647LL; }

// "-0042" style: an optional minus and at least four digits.
bool is_0000_form(const std::string& s) {
  std::size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
  if (s.size() - i < 4) return false;
  for (; i < s.size(); ++i) {
    if (!is_digit(s[i])) return false;
  }
  return true;
}

template <class T>
void check_rounding(double v, std::optional<T> r) {
  const double lo = static_cast<double>(std::numeric_limits<T>::min()) - 0.5;
  const double hi = static_cast<double>(std::numeric_limits<T>::max()) + 0.5;
  // Half to even: the lower limit minus a half rounds to the (even) limit, the upper
  // limit plus a half to the even number beyond it.
  FUZZ_CHECK(r.has_value() == (v >= lo && v < hi));
  if (!r) return;
  const double diff = std::fabs(static_cast<double>(*r) - v);
  FUZZ_CHECK(diff <= 0.5);
  if (diff == 0.5) FUZZ_CHECK(*r % 2 == 0);
}

void check_double(double v) {
  check_rounding<std::int16_t>(v, kn::round_to_int16(v));
  const auto r32 = kn::round_to_int32(v);
  check_rounding<std::int32_t>(v, r32);
  const std::int32_t c = kn::round_clamp_int32(v);
  if (r32) {
    FUZZ_CHECK(c == *r32);
  } else if (std::isnan(v)) {
    FUZZ_CHECK(c == 0);
  } else {
    FUZZ_CHECK(c ==
               (v < 0 ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int32_t>::max()));
  }
}

void check_format_int(std::int64_t k) {
  const std::string s = kn::format_0000(k);
  FUZZ_CHECK(is_0000_form(s));
  errno = 0;
  FUZZ_CHECK(std::strtoll(s.c_str(), nullptr, 10) == k && errno == 0);
}

void check_conversions(std::string_view t) {
  const auto p = kn::parse_number(t);
  const double lead = kn::leading_number(t);
  FUZZ_CHECK(std::isfinite(lead));
  if (p) {
    FUZZ_CHECK(std::isfinite(*p));
    FUZZ_CHECK(lead == *p);  // a whole number is also the number at the start
    check_double(*p);
  }
  check_double(lead);
  if (const auto k = plain_integer(t)) {
    FUZZ_CHECK(p && *p == static_cast<double>(*k));
    FUZZ_CHECK(kn::strict_int16(t).has_value() == in_int16(*k));
    if (in_int16(*k)) FUZZ_CHECK(*kn::strict_int16(t) == *k);
    FUZZ_CHECK(kn::strict_int32(t).has_value() == in_int32(*k));
    if (in_int32(*k)) FUZZ_CHECK(*kn::strict_int32(t) == *k);
    FUZZ_CHECK(kn::strict_bool(t) == std::optional<bool>(*k != 0));
    const std::string f = kn::format_0000(t);
    FUZZ_CHECK(is_0000_form(f) && std::strtoll(f.c_str(), nullptr, 10) == *k);
  }
  if (!has_digit(t)) {
    FUZZ_CHECK(!p && lead == 0.0);
    FUZZ_CHECK(!kn::strict_int16(t) && !kn::strict_int32(t));
    FUZZ_CHECK(kn::strict_bool(t) == bool_word(t));
  }
  if (const auto w = bool_word(t)) FUZZ_CHECK(kn::strict_bool(t) == w);

  const std::string f = kn::format_0000(t);
  if (!p) {
    FUZZ_CHECK(f == t);
  } else {
    FUZZ_CHECK(is_0000_form(f));
    const double r = std::round(*p);  // halves away from zero
    const auto back = kn::parse_number(f);
    FUZZ_CHECK(back && *back == r);
  }

  unsigned char raw[8] = {};
  std::memcpy(raw, t.data(), std::min<std::size_t>(t.size(), 8));
  double d;
  std::memcpy(&d, raw, sizeof d);
  check_double(d);
  std::int64_t k;
  std::memcpy(&k, raw, sizeof k);
  check_format_int(k);
}

// A number field: the integer of a plain text, fitted into the field's width and the
// key's range; the default's integer when it does not fit.
void check_number(long long got, std::string_view text, const kn::SettingDef& d, long long lo, long long hi) {
  const long long def = *plain_integer(d.default_text);
  auto fit = [&](long long k) {
    if (k < lo || k > hi) return def;
    if (d.range && k < d.range->lo) return d.range->below_reads_default ? def : d.range->lo;
    if (d.range && k > d.range->hi) return static_cast<long long>(d.range->hi);
    return k;
  };
  if (const auto k = plain_integer(text)) FUZZ_CHECK(got == fit(*k));
  // A text without digits is no number; the number at its start is 0.
  if (!has_digit(text)) FUZZ_CHECK(got == (d.kind == kn::SettingKind::kLeading ? fit(0) : def));
  if (d.range) FUZZ_CHECK(got >= d.range->lo && got <= d.range->hi);
}

void check_flag(bool got, std::string_view text, const kn::SettingDef& d) {
  if (const auto k = plain_integer(text)) FUZZ_CHECK(got == (*k != 0));
  if (d.kind == kn::SettingKind::kLeading) {
    if (!has_digit(text)) FUZZ_CHECK(!got);
    return;
  }
  if (const auto w = bool_word(text)) FUZZ_CHECK(got == *w);
  if (!has_digit(text) && !bool_word(text)) FUZZ_CHECK(got == (*plain_integer(d.default_text) != 0));
}

// The text is trimmed and lower-cased. The case mapping takes the byte after a 0xC3 as
// the second half of a Latin-1 letter, which it always is in the UTF-8 the program
// makes from ANSI text; other bytes are checked one by one.
void check_lower_text(const std::string& got, std::string_view text) {
  const std::string trimmed = trim_spaces(text);
  FUZZ_CHECK(got.size() == trimmed.size());
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    const auto c = static_cast<unsigned char>(trimmed[i]);
    if (c == 0xC3) {
      ++i;
      continue;
    }
    if (c < 0x80) FUZZ_CHECK(got[i] == (c >= 'A' && c <= 'Z' ? c + 32 : c));
  }
}

void check_text(const std::string& got, std::string_view text, const kn::SettingDef& d) {
  switch (d.kind) {
    case kn::SettingKind::kLowerText:
      check_lower_text(got, text);
      break;
    case kn::SettingKind::kAddress: {
      std::string base = trim_spaces(text);
      while (!base.empty() && base.back() == '/') base.pop_back();
      FUZZ_CHECK(got == (base.empty() ? std::string(d.default_text) : base));
      FUZZ_CHECK(!got.empty() && got.back() != '/');
      break;
    }
    default:
      FUZZ_CHECK(got == trim_spaces(text));
      break;
  }
}

void check_setting(const kn::Settings& s, std::string_view text, const kn::SettingDef& d) {
  std::visit(
      [&](auto member) {
        const auto& got = s.*member;
        using T = std::remove_cvref_t<decltype(got)>;
        if constexpr (std::is_same_v<T, std::string>) {
          check_text(got, text, d);
        } else if constexpr (std::is_same_v<T, bool>) {
          check_flag(got, text, d);
        } else {
          check_number(got, text, d, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
        }
      },
      d.field);
}

// What the settings dialog writes reads back as the value it came from; a colour as the
// same colour number.
void check_written(const kn::Settings& s, const kn::SettingDef& d) {
  const auto written = kn::written_text(s, d);
  if (!written) {
    FUZZ_CHECK(d.kind == kn::SettingKind::kColour &&
               static_cast<std::int32_t>(kn::colour_from_text(kn::setting_text(s, d))) < 0);
    return;
  }
  kn::Settings back = s;
  kn::read_setting(back, d, *written);
  if (d.kind == kn::SettingKind::kColour) {
    FUZZ_CHECK(kn::colour_from_text(kn::setting_text(back, d)) ==
               kn::colour_from_text(kn::setting_text(s, d)));
  } else {
    FUZZ_CHECK(kn::setting_text(back, d) == kn::setting_text(s, d));
  }
}

void check_settings(const std::vector<std::string>& lines) {
  const auto table = kn::settings_table();
  std::vector<std::string> given;
  const kn::Settings s = kn::read_settings([&](const std::string& key, const std::string& def) {
    const std::size_t i = given.size();
    FUZZ_CHECK(i < table.size() && key == table[i].key && def == table[i].default_text);
    given.push_back(i < lines.size() ? lines[i] : def);
    return given.back();
  });
  FUZZ_CHECK(given.size() == table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    check_setting(s, given[i], table[i]);
    if (table[i].dialog_order != 0) check_written(s, table[i]);
  }
}

// The station list as the settings text describes it.
void check_station_list(const std::string& stations) {
  std::vector<kn::StationEntry> list(2);
  list[0].name = "old";
  kn::build_station_list(stations, list);
  if (stations.empty()) {
    FUZZ_CHECK(list.size() == 2 && list[0].name == "old");  // kept
    return;
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = stations.find(';', start);
    const std::string name = kn::normalise_station_name(
        std::string_view(stations).substr(start, end == std::string::npos ? end : end - start));
    if (!name.empty()) names.push_back(name);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (names.empty()) {
    FUZZ_CHECK(list.size() == 1 && list[0].name.empty() && list[0].min_hoerer == 0);
    return;
  }
  FUZZ_CHECK(list.size() == names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto& e = list[i];
    FUZZ_CHECK(e.name == names[i]);
    FUZZ_CHECK(e.name.find(';') == std::string::npos);
    FUZZ_CHECK(e.name.front() != ' ' && e.name.back() != ' ');
    FUZZ_CHECK(e.min_hoerer == 999999 && e.max_hoerer == 0 && e.current_hoerer == 0 && e.last_song_id == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= in.size();) {
    const std::size_t end = in.find('\n', start);
    lines.emplace_back(
        in.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (size == 0) lines.clear();
  for (const auto& line : lines) check_conversions(line);
  check_settings(lines);
  if (!lines.empty()) check_station_list(lines[0]);
  return 0;
}
