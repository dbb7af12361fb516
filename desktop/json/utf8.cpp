#include "json/utf8.h"

#include <bit>

#include "json/sse2.h"

namespace kn::json::detail {

std::size_t WidenAscii(const char* s, std::size_t n, char16_t* out) {
  std::size_t i = 0;
#if KN_SSE2
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<char16_t>(static_cast<unsigned char>(s[i]));
  return n;
}

std::size_t DecodeUtf8(const char* s, std::size_t n, char16_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  char16_t* o = out;
  for (std::size_t i = 0; i < n;) {
    const unsigned c = p[i];
    if (c < 0x80) {
#if KN_SSE2
      // A block is widened whole; its leading ASCII bytes say how much of it holds.
      if (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(v, zero));
        const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
        const std::size_t run = high == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(high));
        i += run;
        o += run;
        continue;
      }
#endif
      *o++ = static_cast<char16_t>(c);
      ++i;
      continue;
    }
    // Two-byte sequences (Latin letters, umlauts) on the spot.
    if ((c & 0xE0) == 0xC0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
      *o++ = static_cast<char16_t>(((c & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
      continue;
    }
    std::uint32_t cp = NextCodePoint(p, n, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
  }
  return static_cast<std::size_t>(o - out);
}

std::size_t DecodeTwoByteForms(const char* s, std::size_t n, char16_t* out) {
#if KN_SSE2
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  const __m128i zero = _mm_setzero_si128();
  const __m128i c0 = _mm_set1_epi8(static_cast<char>(0xC0));
  const __m128i c2 = _mm_set1_epi8(static_cast<char>(0xC2));
  const __m128i e0 = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i low5 = _mm_set1_epi16(0x1F);
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i bf = _mm_set1_epi16(0xBF);
  unsigned carry = 0;  // the block before ended on a lead byte
  std::size_t o = 0;
  for (std::size_t w = 0; w < n; w += 16) {
    const std::size_t m = n - w < 16 ? n - w : 16;
    const unsigned keep = m == 16 ? 0xFFFFu : (1u << m) - 1;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + w));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + w + 1));
    auto at_least = [&v](__m128i bound) {
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, bound), v)));
    };
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v)) & keep;
    const unsigned from_c0 = at_least(c0) & keep;
    const unsigned from_c2 = at_least(c2) & keep;
    const unsigned from_e0 = at_least(e0) & keep;
    const unsigned lead = from_c2 & ~from_e0;
    const unsigned cont = high & ~from_c0;
    // Longer sequences, the overlong leads C0 and C1, and a continuation byte that does
    // not follow a lead, or a lead without one, are for the general way.
    if ((from_e0 | (from_c0 & ~from_c2) | (cont ^ (((lead << 1) | carry) & keep))) != 0)
      return kNotTwoByteForms;
    carry = (lead >> (m - 1)) & 1;
    // Every byte's unit as if it began a sequence; a lead's joined with the byte after.
    alignas(16) char16_t units[16];
    for (int half = 0; half < 2; ++half) {
      const __m128i b = half == 0 ? _mm_unpacklo_epi8(v, zero) : _mm_unpackhi_epi8(v, zero);
      const __m128i next = half == 0 ? _mm_unpacklo_epi8(after, zero) : _mm_unpackhi_epi8(after, zero);
      const __m128i joined =
          _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b, low5), 6), _mm_and_si128(next, low6));
      const __m128i is_lead = _mm_cmpgt_epi16(b, bf);
      _mm_store_si128(reinterpret_cast<__m128i*>(units + 8 * half),
                      _mm_or_si128(_mm_and_si128(is_lead, joined), _mm_andnot_si128(is_lead, b)));
    }
    // Continuation bytes give no unit: the next unit overwrites what they store. One
    // never ends the text, so that store stays within the n units.
    for (std::size_t i = 0; i < m; ++i) {
      out[o] = units[i];
      o += ((cont >> i) & 1) ^ 1;
    }
  }
  return carry ? kNotTwoByteForms : o;
#else
  (void)s;
  (void)n;
  (void)out;
  return kNotTwoByteForms;
#endif
}

bool HasOverlongAscii(const char* s, std::size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  // Only these leads can make a code point below 0x80, and no lead byte is ever part of
  // another sequence: each one found starts a sequence where it stands.
  auto check = [p, n](std::size_t i) {
    const unsigned c = p[i];
    if (c != 0xC0 && c != 0xC1 && c != 0xE0 && c != 0xF0) return false;
    return NextCodePoint(p, n, i) < 0x80;
  };
  std::size_t i = 0;
#if KN_SSE2
  const __m128i fe = _mm_set1_epi8(static_cast<char>(0xFE));
  const __m128i c0 = _mm_set1_epi8(static_cast<char>(0xC0));
  const __m128i e0 = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i f0 = _mm_set1_epi8(static_cast<char>(0xF0));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(v, fe), c0),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, e0), _mm_cmpeq_epi8(v, f0)));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
      if (check(i + static_cast<std::size_t>(std::countr_zero(mask)))) return true;
    }
  }
#endif
  for (; i < n; ++i) {
    if (check(i)) return true;
  }
  return false;
}

std::size_t Utf16Units(const char* s, std::size_t n, std::size_t end) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  std::size_t units = 0;
  for (std::size_t i = 0; i < end;) {
    if (p[i] < 0x80) {
      ++units;
      ++i;
    } else {
      units += NextCodePoint(p, n, i) >= 0x10000 ? 2 : 1;
    }
  }
  return units;
}

}  // namespace kn::json::detail
