#include "json_ref/decimal.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <tuple>

namespace kn::json_ref {
namespace {

// Magnitude as three 32-bit limbs, least significant first. Plain 64-bit arithmetic
// per limb keeps this portable (no 128-bit integer type needed).
struct U96 {
  std::uint32_t w[3] = {0, 0, 0};

  bool IsZero() const { return w[0] == 0 && w[1] == 0 && w[2] == 0; }

  // this = this * 10 + digit; false (and unchanged) on overflow.
  bool MulAdd10(unsigned digit) {
    U96 t;
    std::uint64_t carry = digit;
    for (int i = 0; i < 3; ++i) {
      std::uint64_t v = static_cast<std::uint64_t>(w[i]) * 10u + carry;
      t.w[i] = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry != 0) return false;
    *this = t;
    return true;
  }

  unsigned DivMod10() {
    std::uint64_t rem = 0;
    for (int i = 2; i >= 0; --i) {
      std::uint64_t cur = (rem << 32) | w[i];
      w[i] = static_cast<std::uint32_t>(cur / 10u);
      rem = cur % 10u;
    }
    return static_cast<unsigned>(rem);
  }

  bool Increment() {
    for (int i = 0; i < 3; ++i) {
      if (++w[i] != 0) return true;
    }
    // Wrapped to zero: undo.
    w[0] = w[1] = w[2] = 0xFFFFFFFFu;
    return false;
  }
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Decimal> Decimal::FromParts(std::uint32_t lo, std::uint32_t mid, std::uint32_t hi, int scale,
                                          bool negative) {
  if (scale < 0 || scale > kMaxScale) return std::nullopt;
  Decimal d;
  d.lo_ = lo;
  d.mid_ = mid;
  d.hi_ = hi;
  d.scale_ = static_cast<std::uint8_t>(scale);
  d.negative_ = negative && !d.IsZero();
  return d;
}

Decimal Decimal::FromInt64(std::int64_t value) {
  std::uint64_t mag = value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  Decimal d;
  d.lo_ = static_cast<std::uint32_t>(mag);
  d.mid_ = static_cast<std::uint32_t>(mag >> 32);
  d.negative_ = value < 0;
  return d;
}

std::optional<Decimal> Decimal::Parse(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  bool negative = false;
  if (i < n && text[i] == '-') {
    negative = true;
    ++i;
  }
  const std::size_t int_begin = i;
  while (i < n && IsDigit(text[i])) ++i;
  const std::string_view int_digits = text.substr(int_begin, i - int_begin);
  std::string_view frac_digits;
  if (i < n && text[i] == '.') {
    const std::size_t frac_begin = ++i;
    while (i < n && IsDigit(text[i])) ++i;
    frac_digits = text.substr(frac_begin, i - frac_begin);
  }
  if (int_digits.empty() && frac_digits.empty()) return std::nullopt;

  // The exponent is clamped: anything this far out overflows or rounds to zero anyway.
  constexpr std::int64_t kExponentClamp = 1000000;
  std::int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      exp_negative = text[i] == '-';
      ++i;
    }
    const std::size_t exp_begin = i;
    while (i < n && IsDigit(text[i])) {
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), kExponentClamp);
      ++i;
    }
    if (i == exp_begin) return std::nullopt;
    if (exp_negative) exponent = -exponent;
  }
  if (i != n) return std::nullopt;

  // Significant digits A and the count p of them standing before the point:
  // value = 0.A * 10^p.
  std::string digits;
  digits.reserve(int_digits.size() + frac_digits.size());
  digits.append(int_digits);
  digits.append(frac_digits);
  std::size_t lead = 0;
  while (lead < digits.size() && digits[lead] == '0') ++lead;
  std::int64_t point =
      static_cast<std::int64_t>(int_digits.size()) + exponent - static_cast<std::int64_t>(lead);
  digits.erase(0, lead);

  Decimal result;
  if (digits.empty()) {
    const std::int64_t scale = static_cast<std::int64_t>(frac_digits.size()) - exponent;
    result.scale_ = static_cast<std::uint8_t>(std::clamp<std::int64_t>(scale, 0, kMaxScale));
    return result;
  }
  if (point > 29) return std::nullopt;  // 2^96 has 29 digits
  if (point + kMaxScale < 0) {
    result.scale_ = kMaxScale;
    return result;
  }

  const std::int64_t len = static_cast<std::int64_t>(digits.size());
  const std::int64_t wanted = std::min(point + kMaxScale, std::max(len, point));
  U96 m;
  std::int64_t taken = 0;
  while (taken < wanted) {
    const unsigned d =
        taken < len ? static_cast<unsigned>(digits[static_cast<std::size_t>(taken)] - '0') : 0u;
    if (!m.MulAdd10(d)) break;
    ++taken;
  }
  if (taken < point) return std::nullopt;
  int scale = static_cast<int>(taken - point);

  if (taken < len) {
    const char first = digits[static_cast<std::size_t>(taken)];
    const bool rest = digits.find_first_not_of('0', static_cast<std::size_t>(taken) + 1) != std::string::npos;
    const bool round_up = first > '5' || (first == '5' && (rest || (m.w[0] & 1u) != 0));
    if (round_up && !m.Increment()) {
      if (scale == 0) return std::nullopt;
      const unsigned rem = m.DivMod10();
      --scale;
      if (rem >= 5) m.Increment();
    }
  }
  return FromParts(m.w[0], m.w[1], m.w[2], scale, negative);
}

std::string Decimal::ToString() const {
  U96 m;
  m.w[0] = lo_;
  m.w[1] = mid_;
  m.w[2] = hi_;
  char rev[40];
  int count = 0;
  do {
    rev[count++] = static_cast<char>('0' + m.DivMod10());
  } while (!m.IsZero());
  while (count <= scale_) rev[count++] = '0';

  std::string out;
  out.reserve(static_cast<std::size_t>(count) + 2);
  if (negative_ && !IsZero()) out.push_back('-');
  for (int i = count - 1; i >= 0; --i) {
    out.push_back(rev[i]);
    if (i == scale_ && i != 0) out.push_back('.');
  }
  return out;
}

double Decimal::ToDouble() const {
  const std::string text = ToString();
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool operator==(const Decimal& a, const Decimal& b) {
  auto normalized = [](const Decimal& d) {
    U96 m;
    m.w[0] = d.lo_;
    m.w[1] = d.mid_;
    m.w[2] = d.hi_;
    int scale = d.scale_;
    while (scale > 0) {
      U96 t = m;
      if (t.DivMod10() != 0) break;
      m = t;
      --scale;
    }
    return std::make_tuple(m.w[0], m.w[1], m.w[2], m.IsZero() ? 0 : scale, d.negative_ && !m.IsZero());
  };
  return normalized(a) == normalized(b);
}

}  // namespace kn::json_ref
