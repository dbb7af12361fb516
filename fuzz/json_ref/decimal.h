#pragma once
// A 96-bit scaled decimal, the number type of DecimalMode: value = mantissa / 10^scale,
// scale 0..28, so decimal fractions such as 0.1 are held exactly.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kn::json_ref {

class Decimal {
 public:
  static constexpr int kMaxScale = 28;

  constexpr Decimal() = default;

  // nullopt when scale is outside 0..28.
  static std::optional<Decimal> FromParts(std::uint32_t lo, std::uint32_t mid, std::uint32_t hi, int scale,
                                          bool negative);
  static Decimal FromInt64(std::int64_t value);

  // Invariant-locale text: [-]digits[.digits][(e|E)[+|-]digits], digits on at least one side
  // of the point. Places beyond the 28th are rounded half to even. nullopt when the text is
  // malformed or the integer part does not fit 96 bits.
  static std::optional<Decimal> Parse(std::string_view text);

  // Plain notation keeping the scale: 1.50 stays "1.50".
  std::string ToString() const;
  double ToDouble() const;

  std::uint32_t Lo() const { return lo_; }
  std::uint32_t Mid() const { return mid_; }
  std::uint32_t Hi() const { return hi_; }
  int Scale() const { return scale_; }
  bool IsNegative() const { return negative_; }
  bool IsZero() const { return lo_ == 0 && mid_ == 0 && hi_ == 0; }

  // Numeric equality: 1.5 == 1.50, and -0 == 0.
  friend bool operator==(const Decimal& a, const Decimal& b);

 private:
  std::uint32_t lo_ = 0;
  std::uint32_t mid_ = 0;
  std::uint32_t hi_ = 0;
  std::uint8_t scale_ = 0;
  bool negative_ = false;
};

}  // namespace kn::json_ref
