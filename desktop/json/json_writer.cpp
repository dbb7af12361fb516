// Serializer behind JsonNode::JSON and JSONUtf8: compact, or CR LF line breaks with
// four-space indents. The writer keeps its own fill mark, so a write is a bounds check
// and a store.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(_MSC_VER)
#define KN_JSON_NOINLINE __declspec(noinline)
#else
#define KN_JSON_NOINLINE __attribute__((noinline))
#endif

#include "json/json_node.h"
#include "json/sse2.h"

namespace kn::json {
namespace detail {
namespace {

// Control, invisible and direction-changing characters, and every surrogate half, so the
// output is plain to read and survives any UTF-16 checker.
bool NeedsEscapeAbove7F(char16_t c) {
  return c <= 0x9F || c == 0x034F || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
         c == 0x2060 || (c >= 0xFE01 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFFD ||
         (c >= 0xD800 && c <= 0xDFFF);
}

struct AsciiEscapes {
  bool needs[128] = {};
  constexpr AsciiEscapes() {
    for (int c = 0; c < 0x20; ++c) needs[c] = true;
    needs[static_cast<int>('"')] = needs[static_cast<int>('\\')] = needs[0x7F] = true;
  }
};
constexpr AsciiEscapes kAsciiEscapes;

inline bool NeedsEscape(char16_t c) {
  if (c < 0x80) return kAsciiEscapes.needs[c];
  // Latin-1 letters and most text below U+034F need nothing.
  return c < 0x034F ? c <= 0x9F : NeedsEscapeAbove7F(c);
}

// The general form with 15 significant digits, as std::to_chars(general, 15) writes it,
// made from the shortest round-trip digits where those are 15 or fewer. For a normal
// double the shortest digits lie within half a unit in the last place of its exact value,
// closer than half a step of the 15-digit grid, so rounding to 15 digits gives the same
// digits. nullptr when the fast way does not apply.
char* General15(double d, char* first, char* last) {
  const double mag = std::fabs(d);
  if (!(mag >= 1e-300 && mag <= 1e300) || last - first < 32) return nullptr;
  char sci[40];
  const auto res = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific);
  if (res.ec != std::errc()) return nullptr;
  // [-]d[.ddd]e(+|-)dd
  const char* q = sci;
  const bool negative = *q == '-';
  if (negative) ++q;
  char digits[16];
  int count = 0;
  digits[count++] = *q++;
  if (*q == '.') {
    for (++q; *q != 'e'; ++q) {
      if (count == 15) return nullptr;
      digits[count++] = *q;
    }
  }
  while (count > 1 && digits[count - 1] == '0') --count;
  ++q;  // the 'e'
  const bool exp_negative = *q == '-';
  int exponent = 0;
  for (++q; q < res.ptr; ++q) exponent = exponent * 10 + (*q - '0');
  if (exp_negative) exponent = -exponent;

  char* o = first;
  if (negative) *o++ = '-';
  if (exponent < -4 || exponent >= 15) {
    *o++ = digits[0];
    if (count > 1) {
      *o++ = '.';
      o = std::copy(digits + 1, digits + count, o);
    }
    *o++ = 'e';
    *o++ = exp_negative ? '-' : '+';
    const int e = exp_negative ? -exponent : exponent;
    if (e >= 100) *o++ = static_cast<char>('0' + e / 100);
    *o++ = static_cast<char>('0' + e / 10 % 10);
    *o++ = static_cast<char>('0' + e % 10);
  } else if (exponent < 0) {
    *o++ = '0';
    *o++ = '.';
    o = std::fill_n(o, -exponent - 1, '0');
    o = std::copy(digits, digits + count, o);
  } else {
    const int whole = exponent + 1;
    for (int k = 0; k < whole; ++k) *o++ = k < count ? digits[k] : '0';
    if (count > whole) {
      *o++ = '.';
      o = std::copy(digits + whole, digits + count, o);
    }
  }
  return o;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The same text as General15 for magnitudes from 1e-4 up to 1e15, where the general form
// is plain notation, without finding the shortest digits first. The 15 digits are the
// value scaled by an exact power of ten and rounded; the scaling rounds correctly, so the
// rounding to an integer can only differ from the exact one when the scaled value lies
// within an ulp of a half, and then the slow way decides. nullptr when it does not apply.
char* Plain15(double d, char* first) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                       1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  // 10^-4 .. 10^14, each the double nearest to it: the quotients 10^(e+4) / 10^4 that were
  // computed here before.
  static constexpr double kBounds[] = {1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4, 1e5,
                                       1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14};
  const double mag = std::fabs(d);
  if (!(mag >= 1e-4 && mag < 1e15)) return nullptr;
  // Decimal exponent of mag, possibly one too high near a power of ten. Counted up: most
  // values are small.
  int exponent = -4;
  while (exponent < 14 && mag >= kBounds[exponent + 5]) ++exponent;
  double scaled = mag * kPowers[14 - exponent];
  if (scaled < 1e14 && exponent > -4) {
    --exponent;
    scaled = mag * kPowers[14 - exponent];
  }
  const double whole = std::floor(scaled);
  const double frac = scaled - whole;
  // ulp(scaled) is at most 1/8 below 1e15.
  if (frac > 0.375 && frac < 0.625) return nullptr;
  auto digits_value = static_cast<std::uint64_t>(frac >= 0.5 ? whole + 1 : whole);
  if (digits_value >= 1000000000000000u) {
    digits_value /= 10;
    ++exponent;
    if (exponent >= 15) return nullptr;
  }
  if (digits_value < 100000000000000u) return nullptr;
  // Two digits a step, in two halves that do not wait for each other.
  char digits[16];
  const auto high = static_cast<std::uint32_t>(digits_value / 100000000u);  // 7 digits
  auto low = static_cast<std::uint32_t>(digits_value % 100000000u);         // 8 digits
  auto rest = high % 1000000u;
  digits[0] = static_cast<char>('0' + high / 1000000u);
  for (int i = 5; i >= 1; i -= 2, rest /= 100) std::memcpy(digits + i, kDigitPairs + 2 * (rest % 100), 2);
  for (int i = 13; i >= 7; i -= 2, low /= 100) std::memcpy(digits + i, kDigitPairs + 2 * (low % 100), 2);
  int count = 15;
  while (count > 1 && digits[count - 1] == '0') --count;

  char* o = first;
  if (d < 0) *o++ = '-';
  if (exponent < 0) {
    *o++ = '0';
    *o++ = '.';
    o = std::fill_n(o, -exponent - 1, '0');
    o = std::copy(digits, digits + count, o);
  } else {
    const int int_digits = exponent + 1;
    for (int k = 0; k < int_digits; ++k) *o++ = k < count ? digits[k] : '0';
    if (count > int_digits) {
      *o++ = '.';
      o = std::copy(digits + int_digits, digits + count, o);
    }
  }
  return o;
}

std::string CurrencyText(std::int64_t scaled) {
  const bool negative = scaled < 0;
  const std::uint64_t mag =
      negative ? 0u - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string out = negative ? "-" : "";
  out += std::to_string(mag / 10000);
  std::uint64_t frac = mag % 10000;
  if (frac != 0) {
    char digits[5] = {'0', '0', '0', '0', 0};
    for (int i = 3; i >= 0; --i, frac /= 10) digits[i] = static_cast<char>('0' + frac % 10);
    std::string_view f(digits, 4);
    out += '.';
    out += f.substr(0, f.find_last_not_of('0') + 1);
  }
  return out;
}

// Printable ASCII other than quote and backslash, eight units at a time where SSE2 is
// there: the part of a text that goes to UTF-8 output byte for byte.
std::size_t AsciiRun(const char16_t* p, std::size_t n) {
  std::size_t i = 0;
#if KN_SSE2
  const __m128i space = _mm_set1_epi16(0x1F);
  const __m128i del = _mm_set1_epi16(0x7F);
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i backslash = _mm_set1_epi16(u'\\');
  while (i + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i printable = _mm_and_si128(_mm_cmpgt_epi16(v, space), _mm_cmplt_epi16(v, del));
    const __m128i special = _mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash));
    const auto plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(special, printable)));
    if (plain != 0xFFFF) return i + static_cast<std::size_t>(std::countr_zero(~plain)) / 2;
    i += 8;
  }
#endif
  while (i < n && p[i] < 0x80 && !kAsciiEscapes.needs[p[i]]) ++i;
  return i;
}

// Units below 0x80 to bytes.
void NarrowAscii(const char16_t* p, std::size_t n, char* out) {
  std::size_t i = 0;
#if KN_SSE2
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
  }
#endif
  for (; i < n; ++i) out[i] = static_cast<char>(p[i]);
}

}  // namespace

// Writes UTF-16 (Unit char16_t) or UTF-8 (Unit char). The output grows in chunks that are
// joined once at the end, so nothing is copied or cleared while it grows.
template <typename Unit>
class Writer {
  static constexpr bool kUtf8 = sizeof(Unit) == 1;

 public:
  explicit Writer(bool whitespace) : whitespace_(whitespace), cur_(first_), end_(first_ + kFirstChunk) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void WriteNodeItem(const JsonNode& node) { WriteNode(node, 0); }

  // name: nullptr for array members and the top level, which differs from an empty name.
  void WriteItem(const std::u16string_view* name, const JsonValue& value, int level) {
    if (name) {
      if (whitespace_) Indent(level);
      WriteString(*name, ':');
    } else if (whitespace_) {
      Indent(level);
    }
    switch (value.Kind()) {
      case JsonKind::kEmpty:
      case JsonKind::kNull:
        PutAscii("null");
        break;
      case JsonKind::kText:
        WriteString(value.Get<JsonText>()->View());
        break;
      case JsonKind::kNode:
        WriteNode(**value.Get<std::shared_ptr<JsonNode>>(), level);
        break;
      case JsonKind::kDate:
        Fail(51, NamePart(name) + u", unknown/unsupported type = " + Ascii(std::to_string(value.TypeCode())));
      default:
        WriteNumber(name, value);
        break;
    }
  }

  std::basic_string<Unit> Take() {
    if (full_.empty()) return std::basic_string<Unit>(first_, cur_);
    std::size_t total = static_cast<std::size_t>(cur_ - begin_);
    for (const Chunk& c : full_) total += c.used;
    std::basic_string<Unit> out;
    out.reserve(total);
    for (const Chunk& c : full_) out.append(c.data, c.used);
    out.append(begin_, cur_);
    return out;
  }

 private:
  struct Chunk {
    const Unit* data;
    std::size_t used;
  };
  static constexpr std::size_t kFirstChunk = 512;
  static constexpr std::size_t kLargestChunk = std::size_t{1} << 18;

  [[noreturn]] static void Fail(int number, std::u16string description) {
    throw JsonError(number, std::move(description));
  }

  static std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }
  static std::u16string NamePart(const std::u16string_view* name) {
    return name ? std::u16string(*name) : std::u16string();
  }

  // Room for n more units at cur_.
  void Reserve(std::size_t n) {
    if (static_cast<std::size_t>(end_ - cur_) < n) NewChunk(n);
  }
  // Out of line, so that Reserve stays small enough to inline everywhere.
  KN_JSON_NOINLINE void NewChunk(std::size_t n) {
    full_.push_back(Chunk{begin_, static_cast<std::size_t>(cur_ - begin_)});
    const std::size_t size = std::max(next_chunk_, n);
    if (next_chunk_ < kLargestChunk) next_chunk_ *= 2;
    owned_.push_back(std::make_unique_for_overwrite<Unit[]>(size));
    begin_ = cur_ = owned_.back().get();
    end_ = begin_ + size;
  }
  void Put(Unit c) {
    Reserve(1);
    *cur_++ = c;
  }
  // UTF-16 units, room already reserved: as they are, or as UTF-8 when all are ASCII.
  void CopyAscii(const char16_t* s, std::size_t n) {
    if constexpr (kUtf8) {
      NarrowAscii(s, n, cur_);
    } else if (n <= 16) {
      // Most runs are names and short values, too short to pay for a call to memcpy.
      for (std::size_t i = 0; i < n; ++i) cur_[i] = s[i];
    } else {
      std::memcpy(cur_, s, n * sizeof(char16_t));
    }
    cur_ += n;
  }
  void PutAscii(std::string_view text) {
    Reserve(text.size());
    if constexpr (kUtf8) {
      std::memcpy(cur_, text.data(), text.size());
      cur_ += text.size();
    } else {
      for (const char c : text) *cur_++ = static_cast<char16_t>(c);
    }
  }

  void Indent(int level) {
    const auto n = static_cast<std::size_t>(level) * 4;
    Reserve(n);
    cur_ = std::fill_n(cur_, n, static_cast<Unit>(' '));
  }

  void WriteNode(const JsonNode& node, int level) {
    // A node stored inside itself would recurse forever.
    if (level >= JsonNode::kMaxDepth) Fail(28, std::u16string(kOutOfStackSpace));
    const Unit open = node.is_array_ ? '[' : '{';
    const Unit close = node.is_array_ ? ']' : '}';
    Put(open);
    if (node.Count() == 0) {
      Put(close);
      return;
    }
    if (whitespace_) PutAscii("\r\n");
    bool first = true;
    auto separate = [&] {
      if (!first) {
        Put(',');
        if (whitespace_) PutAscii("\r\n");
      }
      first = false;
    };
    if (node.is_array_) {
      for (const JsonValue& v : node.items_) {
        separate();
        WriteItem(nullptr, v, level + 1);
      }
    } else {
      for (const JsonNode::Member& m : node.members_) {
        if (!m.Live()) continue;
        separate();
        const std::u16string_view name = m.name.View();
        WriteItem(&name, m.value, level + 1);
      }
    }
    if (whitespace_) {
      PutAscii("\r\n");
      Indent(level);
    }
    Put(close);
  }

  void WriteNumber(const std::u16string_view* name, const JsonValue& value) {
    char buf[64];
    std::to_chars_result res{buf, std::errc()};
    bool finite = true;
    switch (value.Kind()) {
      case JsonKind::kInt16:
        res = std::to_chars(buf, buf + sizeof buf, *value.Get<std::int16_t>());
        break;
      case JsonKind::kInt32:
        res = std::to_chars(buf, buf + sizeof buf, *value.Get<std::int32_t>());
        break;
      case JsonKind::kByte:
        res = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned>(*value.Get<std::uint8_t>()));
        break;
      case JsonKind::kSingle: {
        const float f = *value.Get<float>();
        finite = std::isfinite(f);
        res = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::general, 7);
        break;
      }
      case JsonKind::kDouble: {
        const double d = *value.Get<double>();
        finite = std::isfinite(d);
        // Whole numbers below 10^15 have at most 15 digits, which the general form
        // writes out plainly: the integer's digits are the same text, made faster.
        // -0 keeps its sign that way only through the general form.
        if (d > -1e15 && d < 1e15 && d == std::trunc(d) && !(d == 0 && std::signbit(d))) {
          res = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(d));
        } else if (std::fabs(d) >= 1.797693134862315e308) {
          // Rounded to 15 digits these would exceed the largest double and not parse
          // back; the shortest exact form does.
          res = std::to_chars(buf, buf + sizeof buf, d);
        } else if (char* plain = finite ? Plain15(d, buf) : nullptr) {
          res.ptr = plain;
        } else if (char* end = finite ? General15(d, buf, buf + sizeof buf) : nullptr) {
          res.ptr = end;
        } else {
          res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
        }
        break;
      }
      case JsonKind::kBoolean:
        PutAscii(*value.Get<bool>() ? "true" : "false");
        return;
      case JsonKind::kCurrency:
        PutAscii(CurrencyText(value.Get<Currency>()->scaled));
        return;
      case JsonKind::kDecimal:
        PutAscii(value.Get<Decimal>()->ToString());
        return;
      default:
        Fail(51, NamePart(name) + u", unknown/unsupported type = " + Ascii(std::to_string(value.TypeCode())));
    }
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    // Infinity and NaN have no JSON form; writing them would produce text that does not parse.
    if (!finite) Fail(51, NamePart(name) + u", value " + Ascii(text) + u" failed to serialize");
    PutAscii(text);
  }

  // The escape of c (room for 6 reserved).
  void Escape(char16_t c) {
    Unit* o = cur_;
    *o++ = '\\';
    switch (c) {
      case u'"':
      case u'\\':
        *o++ = static_cast<Unit>(c);
        break;
      case 0x08:
        *o++ = 'b';
        break;
      case 0x0C:
        *o++ = 'f';
        break;
      case 0x0A:
        *o++ = 'n';
        break;
      case 0x0D:
        *o++ = 'r';
        break;
      case 0x09:
        *o++ = 't';
        break;
      default: {
        static constexpr char kHex[] = "0123456789ABCDEF";
        *o++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4) *o++ = static_cast<Unit>(kHex[(c >> shift) & 0xF]);
      }
    }
    cur_ = o;
  }

  // A unit from 0x80 up that needs no escape, so no surrogate: two or three bytes.
  void PutWide(char16_t c) {
    if constexpr (kUtf8) {
      if (c < 0x800) {
        *cur_++ = static_cast<char>(0xC0 | (c >> 6));
      } else {
        *cur_++ = static_cast<char>(0xE0 | (c >> 12));
        *cur_++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      }
      *cur_++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *cur_++ = c;
    }
  }

  // The text in quotes, then `after` unless it is 0.
  void WriteString(std::u16string_view s, char after = 0) {
    const char16_t* p = s.data();
    const std::size_t n = s.size();
    std::size_t i = AsciiRun(p, n);
    if (i == n) {
      // Nothing to escape and nothing wide, as with nearly every name and most values:
      // one bounds check.
      Reserve(n + 3);
      *cur_++ = '"';
      CopyAscii(p, n);
      *cur_++ = '"';
      if (after) *cur_++ = static_cast<Unit>(after);
      return;
    }
    Reserve(i + 1);
    *cur_++ = '"';
    CopyAscii(p, i);
    while (i < n) {
      const char16_t c = p[i++];
      Reserve(6);
      if (NeedsEscape(c)) {
        Escape(c);
      } else {
        PutWide(c);
      }
      const std::size_t run = AsciiRun(p + i, n - i);
      Reserve(run);
      CopyAscii(p + i, run);
      i += run;
    }
    Reserve(2);
    *cur_++ = '"';
    if (after) *cur_++ = static_cast<Unit>(after);
  }

  bool whitespace_;
  Unit first_[kFirstChunk];
  // begin_ to cur_ is the current chunk's text; cur_ to end_ its room. Earlier chunks are full_.
  Unit* begin_ = first_;
  Unit* cur_;
  Unit* end_;
  std::size_t next_chunk_ = 4096;
  std::vector<Chunk> full_;
  std::vector<std::unique_ptr<Unit[]>> owned_;
};

}  // namespace detail

std::u16string JsonNode::JSON() const {
  detail::Writer<char16_t> writer(Whitespace);
  writer.WriteNodeItem(*this);
  return writer.Take();
}

std::string JsonNode::JSONUtf8() const {
  detail::Writer<char> writer(Whitespace);
  writer.WriteNodeItem(*this);
  return writer.Take();
}

std::u16string ToJson(const JsonValue& value, bool whitespace) {
  detail::Writer<char16_t> writer(whitespace);
  writer.WriteItem(nullptr, value, 0);
  return writer.Take();
}

}  // namespace kn::json
