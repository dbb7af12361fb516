#include "core/text_util.h"

#include <array>
#include <bit>
#include <cstdint>

#include "json/sse2.h"
#include "json/utf8.h"

namespace kn {

std::string replace_all(std::string_view text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    size_t hit = text.find(find, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(replacement);
    pos = hit + find.size();
  }
  out.append(text.substr(pos));
  return out;
}

int count_occurrences(std::string_view text, std::string_view find, int compare) {
  if (find.empty()) return -1;
  std::string hay = compare == 1 ? to_lower(text) : std::string(text);
  std::string needle = compare == 1 ? to_lower(find) : std::string(find);
  int n = 0;
  for (size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1)) ++n;
  return n;
}

namespace {

// Latin-1 letters live in U+00C0..U+00FE, encoded as C3 80..C3 BE; upper and lower
// case differ by 0x20 except for the multiplication/division signs and sharp s.
std::string map_case(std::string_view text, bool upper) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c < 0x80) {
      if (upper && c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 32);
      if (!upper && c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      if (upper && d >= 0xA0 && d <= 0xBE && d != 0xB7) out[i + 1] = static_cast<char>(d - 0x20);
      if (!upper && d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
      ++i;
    }
  }
  return out;
}

constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one code point; malformed bytes come back as U+FFFD, one byte consumed.
// Beyond ASCII this is the JSON reader's decoder, so both read any bytes alike.
uint32_t next_code_point(std::string_view s, size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  return json::detail::NextCodePoint(reinterpret_cast<const unsigned char*>(s.data()), s.size(), i);
}

// ASCII is narrowed in blocks of 8 (16 with SSE2): JSON answers and settings are mostly
// ASCII. A block is converted whole; the count of its leading ASCII characters says how
// much of it holds, and the caller writes over the rest.
#if KN_SSE2
constexpr size_t kBlock = 16;

size_t narrow_block(const char16_t* p, char* o) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
  // packus saturates units above 0xFF, which lie past the ASCII count anyway.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(a, b));
  // One bit pair per unit, set for ASCII.
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  const auto lo = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(a, high), zero)));
  const auto hi = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(b, high), zero)));
  const unsigned other = ~(lo | (hi << 16));
  return other == 0 ? kBlock : static_cast<size_t>(std::countr_zero(other)) / 2;
}

#else
constexpr size_t kBlock = 8;

size_t count_ascii_block(const char16_t* p) {
  size_t k = 0;
  while (k < 8 && p[k] < 0x80) ++k;
  return k;
}

size_t narrow_block(const char16_t* p, char* o) {
  const size_t n = count_ascii_block(p);
  for (size_t k = 0; k < n; ++k) o[k] = static_cast<char>(p[k]);
  return n;
}
#endif

}  // namespace

std::string to_lower(std::string_view text) { return map_case(text, false); }
std::string to_upper(std::string_view text) { return map_case(text, true); }

std::string trim_blanks(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string cp1252_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else if (c < 0xA0) {
      append_utf8(out, kCp1252High[c - 0x80]);
    } else {
      append_utf8(out, c);
    }
  }
  return out;
}

std::string utf8_to_cp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = next_code_point(text, i);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
      if (kCp1252High[k] == cp && cp != 0xFFFD) mapped = static_cast<char>(0x80 + k);
    }
    out += mapped;
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  // Never more units than bytes: four bytes make at most two units. The JSON reader's
  // decoder, so a document parsed from bytes and one converted first agree.
  std::u16string out(text.size(), u'\0');
  out.resize(json::detail::DecodeUtf8(text.data(), text.size(), out.data()));
  return out;
}

namespace {

bool is_pair(const char16_t* p, size_t i, size_t n) {
  return p[i] >= 0xD800 && p[i] < 0xDC00 && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] < 0xE000;
}

}  // namespace

std::string utf16_to_utf8(std::u16string_view text) {
  const char16_t* p = text.data();
  const size_t n = text.size();
  // Room for mostly-ASCII text; grows when the text turns out wider.
  std::string out(n + n / 4 + 32, '\0');
  char* o = out.data();
  char* end = o + out.size();
  for (size_t i = 0; i < n;) {
    if (static_cast<size_t>(end - o) < kBlock + 4) {
      const size_t used = static_cast<size_t>(o - out.data());
      out.resize(out.size() * 2);
      o = out.data() + used;
      end = out.data() + out.size();
    }
    uint32_t cp = p[i];
    if (cp < 0x80) {
      const size_t run = i + kBlock <= n ? narrow_block(p + i, o) : (*o = static_cast<char>(cp), 1);
      i += run;
      o += run;
      continue;
    }
    if (is_pair(p, i, n)) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (p[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    ++i;
    if (cp < 0x800) {
      *o++ = static_cast<char>(0xC0 | (cp >> 6));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (cp >> 12));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (cp >> 18));
      *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

std::string umlauts_from_pairs(std::string_view text) {
  std::string out = replace_all(text, "OE", "\xC3\x96");  // Ö
  out = replace_all(out, "AE", "\xC3\x84");               // Ä
  return replace_all(out, "UE", "\xC3\x9C");              // Ü
}

}  // namespace kn
