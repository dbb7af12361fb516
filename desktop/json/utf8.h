#pragma once
// UTF-8 read exactly as the desktop core's utf8_to_utf16 reads it, so a document parsed
// from its bytes gives the same units, and the same positions, as one converted first:
// a sequence that is malformed, cut off or beyond U+10FFFF stands for one U+FFFD and
// uses up only its first byte; surrogates and overlong forms decode as written.
#include <cstddef>
#include <cstdint>

namespace kn::json::detail {

// The sequence at p[i], a byte from 0x80 up, within p[0, n); i moves past what it used.
inline std::uint32_t NextCodePoint(const unsigned char* p, std::size_t n, std::size_t& i) {
  const unsigned c = p[i];
  const int len = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + static_cast<std::size_t>(len) > n) {
    ++i;
    return 0xFFFD;
  }
  std::uint32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < len; ++k) {
    const unsigned d = p[i + static_cast<std::size_t>(k)];
    if ((d & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (d & 0x3F);
  }
  if (cp > 0x10FFFF) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<std::size_t>(len);
  return cp;
}

// The units of s[0, n) to out (room for n: never more units than bytes); how many.
// A sequence never holds an ASCII byte, so a run that ends before one decodes as it
// would inside the whole text.
std::size_t DecodeUtf8(const char* s, std::size_t n, char16_t* out);
// Marks a text DecodeTwoByteForms leaves to DecodeUtf8.
inline constexpr std::size_t kNotTwoByteForms = ~std::size_t{0};
// DecodeUtf8 for text of ASCII and well-formed two-byte sequences only (Latin letters,
// umlauts), without a branch per sequence; kNotTwoByteForms for anything else. Reads up
// to 16 bytes past s + n, which must be readable.
std::size_t DecodeTwoByteForms(const char* s, std::size_t n, char16_t* out);
// s[0, n) is ASCII: widened to out; n.
std::size_t WidenAscii(const char* s, std::size_t n, char16_t* out);
// True when an overlong sequence in s[0, n) stands for an ASCII character (C0 A2 for a
// quote, say): read as UTF-16 it takes part in the document's structure.
bool HasOverlongAscii(const char* s, std::size_t n);
// How many UTF-16 units s[0, end) stands for, s being n bytes long.
std::size_t Utf16Units(const char* s, std::size_t n, std::size_t end);

}  // namespace kn::json::detail
