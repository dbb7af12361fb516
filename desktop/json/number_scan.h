#pragma once
// Number scanning for the JSON parser: the digits of a number's text, eight bytes at a
// time, and the overflow test from_chars leaves to its caller.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kn::json::detail {

// How many of the eight bytes at p (all readable) are digits before the first that is
// not, 0 to 8, and the value of those digits.
inline unsigned LeadingDigits(const char* p, std::uint64_t& value) noexcept {
  std::uint64_t bytes;
  std::memcpy(&bytes, p, 8);
  // Bytes above '9' carry into their top bit, bytes below '0' borrow into it; the
  // borrow may spoil the bytes after, which are not digits of this run anyway.
  const std::uint64_t digits = bytes - 0x3030303030303030ull;
  const std::uint64_t stops = ((bytes + 0x4646464646464646ull) | digits) & 0x8080808080808080ull;
  const auto n = static_cast<unsigned>(std::countr_zero(stops)) / 8;
  if (n == 0) return 0;
  // The run's digits to the top bytes, then pairs, fours and eights summed.
  std::uint64_t v = digits << (8 * (8 - n));
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
  v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
  value = v;
  return n;
}

// from_chars reports overflow and underflow alike; only overflow is an error. Decides
// from the digits whether the magnitude is at least 10.
bool IsLargeMagnitude(std::string_view number);

}  // namespace kn::json::detail
