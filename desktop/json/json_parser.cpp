// Recursive-descent reader behind JsonNode::SetJSON and SetJSONUtf8. One cursor runs
// through the whole document, over UTF-16 units or over UTF-8 bytes. Bytes are decoded
// only where text is stored; an error's UTF-16 position is counted only once it is raised.
// Members and items wait on stacks shared by the whole parse and move into their node in
// one exactly sized block when it closes.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstring>
#include <iterator>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "json/json_node.h"
#include "json/number_scan.h"
#include "json/parse_scratch.h"
#include "json/sse2.h"
#include "json/utf8.h"

namespace kn::json {
namespace detail {
namespace {

constexpr unsigned AsciiLower(unsigned c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
constexpr bool IsDigit(unsigned c) { return c >= '0' && c <= '9'; }

int HexValue(unsigned c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

std::u16string Message(std::u16string_view text, std::size_t position) {
  std::u16string out(text);
  char digits[24];
  const auto res = std::to_chars(digits, digits + sizeof digits, position);
  out.append(digits, res.ptr);
  return out;
}

// Thrown where UTF-8 bytes read as they are would give another result than read after
// conversion to UTF-16.
struct ConvertFirst {};

}  // namespace

template <typename Unit>
class Parser {
  static constexpr bool kUtf8 = sizeof(Unit) == 1;

 public:
  Parser(const Unit* text, std::size_t len, bool decimal_mode, ParseArena& arena)
      : text_(text), len_(len), decimal_mode_(decimal_mode), arena_(arena) {}

  void ParseDocument(JsonNode& root) {
    SkipWhitespace();
    if (pos_ < len_ && At(pos_) == '{') {
      ++pos_;
      ParseTop(root, false);
    } else if (pos_ < len_ && At(pos_) == '[') {
      ++pos_;
      root.is_array_ = true;
      ParseTop(root, true);
    } else {
      Fail(13, Message(u"Expected either { or [ at character ", Position(pos_)));
    }
  }

 private:
  using Member = JsonNode::Member;

  unsigned At(std::size_t i) const { return static_cast<std::make_unsigned_t<Unit>>(text_[i]); }

  // 1-based UTF-16 position of the unit or byte at i (i == len_: one past the end).
  std::size_t Position(std::size_t i) const {
    if constexpr (kUtf8) {
      return Utf16Units(text_, len_, i) + 1;
    } else {
      return i + 1;
    }
  }
  std::size_t EndPosition() const { return Position(len_); }

  [[noreturn]] static void Fail(int number, std::u16string description) {
    throw JsonError(number, std::move(description));
  }

  // The root keeps what was read before an error; nested nodes are only seen complete.
  void ParseTop(JsonNode& root, bool array) {
    try {
      if (array) {
        ParseArray(&root, 1);
      } else {
        ParseObject(&root, 1);
      }
    } catch (...) {
      // Above the top level's entries wait those of nodes left open: never made.
      if (array) {
        pending_items_.Truncate(top_read_);
        root.items_.take(pending_items_.data(), pending_items_.data() + top_read_);
        pending_items_.Forget(0);
      } else {
        pending_members_.Truncate(top_read_);
        if (root.AdoptMembers(pending_members_.data(), pending_members_.data() + top_read_))
          pending_members_.Forget(0);
      }
      throw;
    }
  }

  // Hot loops keep the cursor in a local: stores to pos_ would otherwise have to be made
  // before every read through a char pointer, which may alias it.
  void SkipWhitespace() {
    std::size_t pos = pos_;
    while (pos < len_) {
      const unsigned c = At(pos);
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') break;
      ++pos;
    }
    pos_ = pos;
  }

  // A nested node (`node` null) is made once it closes, right before its member list:
  // the teardown, which reads both, then runs through memory in one direction.
  // A nested node comes back in the value it is made in, never moved: moving the shared
  // reference it holds would read back right away what the making had just stored.
  JsonValue ParseObject(JsonNode* node, int depth) {
    const std::size_t mark = pending_members_.size();
    bool member_seen = false;
    for (;;) {
      SkipWhitespace();
      if (pos_ >= len_) Fail(13, Message(u"Expected , or } at character ", EndPosition()));
      const unsigned c = At(pos_++);
      if (c == '"') {
        JsonText name = ParseString();
        SkipWhitespace();
        if (pos_ >= len_ || At(pos_) != ':') Fail(13, Message(u"Expected : at character ", Position(pos_)));
        ++pos_;
        JsonValue value = ParseValue(depth);
        pending_members_.emplace_back(std::move(name), std::move(value));
        if (depth == 1) ++top_read_;
        member_seen = true;
      } else if (c == ',') {
        // Doubled commas, a trailing comma and missing commas are let through.
        if (!member_seen)
          Fail(13, Message(u"Found \",\" before first item at character ", Position(pos_ - 1)));
      } else if (c == '}') {
        JsonValue made = node ? JsonValue() : JsonValue(MakeNode(false));
        const bool all_moved = (node ? node : NodeOf(made))
                                   ->AdoptMembers(pending_members_.data() + mark,
                                                  pending_members_.data() + pending_members_.size());
        if (all_moved) {
          pending_members_.Forget(mark);
        } else {
          pending_members_.Truncate(mark);
        }
        return made;
      } else {
        Fail(13, Message(u"Expected , or } at character ", Position(pos_ - 1)));
      }
    }
  }

  JsonValue ParseArray(JsonNode* node, int depth) {
    const std::size_t mark = pending_items_.size();
    for (;;) {
      SkipWhitespace();
      if (pos_ < len_ && At(pos_) == ',') {
        ++pos_;
      } else if (pos_ < len_ && At(pos_) == ']') {
        ++pos_;
        JsonValue made = node ? JsonValue() : JsonValue(MakeNode(true));
        (node ? node : NodeOf(made))
            ->items_.take(pending_items_.data() + mark, pending_items_.data() + pending_items_.size());
        pending_items_.Forget(mark);
        return made;
      } else {
        pending_items_.emplace_back(ParseValue(depth));
        if (depth == 1) ++top_read_;
      }
    }
  }

  JsonValue ParseValue(int depth) {
    SkipWhitespace();
    if (pos_ >= len_) Fail(13, Message(u"Bad value at character ", EndPosition()));
    const unsigned c = At(pos_);
    if (c == '"') {
      ++pos_;
      return JsonValue(ParseString());
    }
    if (c == '{' || c == '[') {
      if (depth >= JsonNode::kMaxDepth) Fail(28, std::u16string(kOutOfStackSpace));
      ++pos_;
      return c == '[' ? ParseArray(nullptr, depth + 1) : ParseObject(nullptr, depth + 1);
    }
    if (c == '-' || IsDigit(c)) {
      double value;
      if (ShortNumber(value)) return JsonValue(value);
      return ParseNumber();
    }
    if (MatchLiteral("null")) return JsonValue(nullptr);
    if (MatchLiteral("true")) return JsonValue(true);
    if (MatchLiteral("false")) return JsonValue(false);
    Fail(13, Message(u"Bad value at character ", Position(pos_)));
  }

  static JsonNode* NodeOf(JsonValue& value) noexcept { return value.Ptr<std::shared_ptr<JsonNode>>()->get(); }

  std::shared_ptr<JsonNode> MakeNode(bool array) const {
    auto node = std::allocate_shared<JsonNode>(PieceAllocator<JsonNode>());
    node->is_array_ = array;
    node->decimal_mode_ = decimal_mode_;
    return node;
  }

  // Literals match in any letter case. They are ASCII, so counting bytes or units is the same.
  bool MatchLiteral(std::string_view word) {
    if (len_ - pos_ < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (AsciiLower(At(pos_ + i)) != static_cast<unsigned char>(word[i])) return false;
    }
    pos_ += word.size();
    return true;
  }

  static bool Stops(unsigned c) { return c == '"' || c == '\\' || c < 0x20; }

  // Up to the first quote, backslash or control character from pos_ on (or the end).
  // `wide`: a byte from 0x80 up may have been passed (UTF-8 only).
  void SkipPlain(bool& wide) {
    std::size_t pos = pos_;
    if constexpr (kUtf8) {
#if KN_SSE2
      const __m128i quote = _mm_set1_epi8('"');
      const __m128i backslash = _mm_set1_epi8('\\');
      const __m128i control = _mm_set1_epi8(0x1F);
      unsigned high = 0;
      while (pos + 16 <= len_) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + pos));
        const __m128i stop =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                         _mm_cmpeq_epi8(_mm_min_epu8(v, control), v));
        const auto bytes_high = static_cast<unsigned>(_mm_movemask_epi8(v));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
        if (mask != 0) {
          // Only the bytes before the stop belong to this run.
          high |= bytes_high & (mask - 1) & ~mask;
          pos += static_cast<std::size_t>(std::countr_zero(mask));
          wide = wide || high != 0;
          {
            pos_ = pos;
            return;
          }
        }
        high |= bytes_high;
        pos += 16;
      }
      wide = wide || high != 0;
#endif
      for (; pos < len_; ++pos) {
        const unsigned c = At(pos);
        if (Stops(c)) {
          pos_ = pos;
          return;
        }
        if (c >= 0x80) wide = true;
      }
    } else {
      for (;;) {
#if KN_SSE2
        const __m128i quote = _mm_set1_epi16(u'"');
        const __m128i backslash = _mm_set1_epi16(u'\\');
        const __m128i space = _mm_set1_epi16(0x20);
        while (pos + 8 <= len_) {
          const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + pos));
          // Signed: units from 0x8000 up stop the block test too; the test below passes them.
          const __m128i stop =
              _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash)),
                           _mm_cmplt_epi16(v, space));
          const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
          if (mask != 0) {
            pos += static_cast<std::size_t>(std::countr_zero(mask)) / 2;
            break;
          }
          pos += 8;
        }
#endif
        if (pos >= len_ || Stops(At(pos))) {
          pos_ = pos;
          return;
        }
        ++pos;
      }
    }
    pos_ = pos;
  }

#if KN_SSE2
  // Masks keeping the first n units of eight.
  static constexpr std::uint16_t kKeep[JsonText::kInline + 1][8] = {
      {0, 0, 0, 0, 0, 0, 0, 0},
      {0xFFFF, 0, 0, 0, 0, 0, 0, 0},
      {0xFFFF, 0xFFFF, 0, 0, 0, 0, 0, 0},
      {0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0, 0},
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0},
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0},
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0},
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0},
  };
#endif

  // A text of up to kInline units, built in a register and stored whole: read back whole
  // right after narrower stores (a move does that), it would wait for them.
  JsonText SmallText(std::size_t begin, std::size_t n) const {
    JsonText text;
#if KN_SSE2
    __m128i v;
    if (begin + 8 <= len_) {
      if constexpr (kUtf8) {
        v = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(text_ + begin)),
                              _mm_setzero_si128());
      } else {
        v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + begin));
      }
    } else {
      alignas(16) std::uint16_t units[8] = {};
      for (std::size_t i = 0; i < n; ++i) units[i] = static_cast<std::uint16_t>(At(begin + i));
      v = _mm_load_si128(reinterpret_cast<const __m128i*>(units));
    }
    v = _mm_and_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep[n])));
    v = _mm_insert_epi16(v, static_cast<int>(n), 7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&text), v);
#else
    for (std::size_t i = 0; i < n; ++i) text.units_[i] = static_cast<char16_t>(At(begin + i));
    text.tag_ = static_cast<std::uint16_t>(n);
#endif
    return text;
  }

  // The same from decoded units; eight of them must be readable at p.
  static JsonText SmallUnits(const char16_t* p, std::size_t n) {
    JsonText text;
#if KN_SSE2
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    v = _mm_and_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep[n])));
    v = _mm_insert_epi16(v, static_cast<int>(n), 7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&text), v);
#else
    for (std::size_t i = 0; i < n; ++i) text.units_[i] = p[i];
    text.tag_ = static_cast<std::uint16_t>(n);
#endif
    return text;
  }

  // Room for `capacity` units on a piece, length unset, as JsonText::Uninitialized makes
  // it, but carved here from the parse's arena without a call: texts are many.
  JsonText PieceText(std::size_t capacity) {
    if (capacity * sizeof(char16_t) > kMaxCarved) return JsonText::Uninitialized(capacity);
    auto* units = static_cast<char16_t*>(arena_.Carve(capacity * sizeof(char16_t)));
    JsonText text;
#if KN_SSE2 && (defined(_M_X64) || defined(__x86_64__))
    // In one store, as JsonText::Allocate does: the text is moved soon.
    const auto pointer = static_cast<long long>(reinterpret_cast<std::uintptr_t>(units));
    const long long tag = static_cast<long long>(std::uint64_t{JsonText::kOnPiece} << 48);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&text), _mm_set_epi64x(tag, pointer));
#else
    std::memcpy(text.units_, &units, sizeof units);
    text.tag_ = JsonText::kOnPiece;
#endif
    return text;
  }
  // Sets the length of a PieceText, giving back the room it does not use.
  void FinishPiece(JsonText& text, std::size_t capacity, std::size_t size) noexcept {
    if (capacity * sizeof(char16_t) > kMaxCarved) {
      text.Finish(capacity, size);
      return;
    }
    const auto n = static_cast<std::uint32_t>(size);
    std::memcpy(reinterpret_cast<unsigned char*>(text.units_) + JsonText::kSizeAt, &n, sizeof n);
    if (size < capacity)
      arena_.Shrink(text.PieceUnits(), capacity * sizeof(char16_t), size * sizeof(char16_t));
  }
  // A text of the n units at p, more than fit in the text itself.
  JsonText CopiedText(const char16_t* p, std::size_t n) {
    JsonText text = PieceText(n);
    std::memcpy(text.PieceUnits(), p, n * sizeof(char16_t));
    FinishPiece(text, n, n);
    return text;
  }

  // Decodes text_[begin, end), bytes from 0x80 up among them, to out (room for as many
  // units as bytes); how many units. Latin text, the usual kind, the quick way when the
  // bytes it reads past the end are there.
  std::size_t DecodeRun(std::size_t begin, std::size_t end, char16_t* out) const {
    const std::size_t n = end - begin;
    if (len_ - end >= 16) {
      const std::size_t size = DecodeTwoByteForms(text_ + begin, n, out);
      if (size != kNotTwoByteForms) return size;
    }
    return Decoded(out, DecodeUtf8(text_ + begin, n, out));
  }

  // The units of text_[begin, end), which holds no quote, backslash or control character.
  JsonText MakeText(std::size_t begin, std::size_t end, bool wide) {
    const std::size_t n = end - begin;
    if constexpr (kUtf8) {
      if (wide) {
        // Short enough that it may fit in the text itself: decoded aside first.
        if (n <= 4 * JsonText::kInline) {
          char16_t units[4 * JsonText::kInline + 8];
          const std::size_t size = DecodeRun(begin, end, units);
          // Eight units stay readable in `units` whatever the size.
          if (size <= JsonText::kInline) return SmallUnits(units, size);
          return CopiedText(units, std::min(size, std::size(units)));  // never more; GCC cannot tell
        }
        JsonText text = PieceText(n);
        FinishPiece(text, n, DecodeRun(begin, end, text.PieceUnits()));
        return text;
      }
      if (n <= JsonText::kInline) return SmallText(begin, n);
      JsonText text = PieceText(n);
      char16_t* out = text.PieceUnits();
      std::size_t i = 0;
#if KN_SSE2
      const __m128i zero = _mm_setzero_si128();
      for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + begin + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
      }
      if (i + 8 <= n) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text_ + begin + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        i += 8;
      }
#endif
      for (; i < n; ++i) out[i] = static_cast<char16_t>(At(begin + i));
      FinishPiece(text, n, n);
      return text;
    } else {
      if (n <= JsonText::kInline) return SmallText(begin, n);
      JsonText text = PieceText(n);
      std::memcpy(text.PieceUnits(), text_ + begin, n * sizeof(char16_t));
      FinishPiece(text, n, n);
      return text;
    }
  }

  // The n units decoded from a run of text with bytes from 0x80 up; n. A quote, backslash
  // or control character among them can only come from an overlong form (a real one
  // ends the run); read as UTF-16 it would end the text or start an escape.
  static std::size_t Decoded(const char16_t* units, std::size_t n) {
    std::size_t i = 0;
#if KN_SSE2
    const __m128i quote = _mm_set1_epi16(u'"');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    const __m128i control = _mm_set1_epi16(0x1F);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
      // Unsigned: v - 0x1F saturates to 0 exactly below 0x20.
      const __m128i stop =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash)),
                       _mm_cmpeq_epi16(_mm_subs_epu16(v, control), zero));
      if (_mm_movemask_epi8(stop) != 0) throw ConvertFirst{};
    }
#endif
    for (; i < n; ++i) {
      if (Stops(units[i])) throw ConvertFirst{};
    }
    return n;
  }

  void AppendRun(std::size_t begin, std::size_t end, bool wide) {
    const std::size_t n = end - begin;
    if (n == 0) return;
    char16_t* out = buf_.Room(n);
    if constexpr (kUtf8) {
      buf_.Commit(wide ? DecodeRun(begin, end, out) : WidenAscii(text_ + begin, n, out));
    } else {
      std::memcpy(out, text_ + begin, n * sizeof(char16_t));
      buf_.Commit(n);
    }
  }

  // The cursor stands after the opening quote.
  JsonText ParseString() {
    const std::size_t begin = pos_;
    bool wide = false;
    SkipPlain(wide);
    // Most strings have no escape: take them straight from the text.
    if (pos_ < len_ && At(pos_) == '"') {
      ++pos_;
      if (pos_ >= len_) Fail(13, Message(u"Expected \" at character ", EndPosition()));
      return MakeText(begin, pos_ - 1, wide);
    }
    buf_.clear();
    AppendRun(begin, pos_, wide);
    while (pos_ < len_) {
      const std::size_t run = pos_;
      wide = false;
      SkipPlain(wide);
      AppendRun(run, pos_, wide);
      if (pos_ >= len_) break;

      const unsigned c = At(pos_);
      if (c < 0x20) Fail(13, Message(u"Invalid string character at ", Position(pos_)));
      if (c == '"') {
        ++pos_;
        break;
      }
      ++pos_;  // the backslash
      if (pos_ >= len_) BadEscape();
      char16_t out;
      switch (AsciiLower(At(pos_))) {
        case '"':
        case '\\':
        case '/':
          out = static_cast<char16_t>(At(pos_));
          break;
        case 'b':
          out = 0x08;
          break;
        case 'f':
          out = 0x0C;
          break;
        case 'n':
          out = 0x0A;
          break;
        case 'r':
          out = 0x0D;
          break;
        case 't':
          out = 0x09;
          break;
        case 'u': {
          ++pos_;
          // The digits are ASCII: short of four units means short of four bytes, and the
          // other way round a non-digit fails alike.
          if (len_ - pos_ < 4) BadEscape();
          unsigned value = 0;
          for (std::size_t i = 0; i < 4; ++i) {
            const int h = HexValue(At(pos_ + i));
            if (h < 0) BadEscape();
            value = value * 16 + static_cast<unsigned>(h);
          }
          out = static_cast<char16_t>(value);
          pos_ += 3;
          break;
        }
        default:
          BadEscape();
      }
      buf_.push_back(out);
      ++pos_;
    }
    // Also when the closing quote ends the text: a document never ends inside a value.
    if (pos_ >= len_) Fail(13, Message(u"Expected \" at character ", EndPosition()));
    // The scratch holds at least eight units.
    if (buf_.View().size() <= JsonText::kInline) return SmallUnits(buf_.View().data(), buf_.View().size());
    return CopiedText(buf_.View().data(), buf_.View().size());
  }

  [[noreturn]] void BadEscape() const {
    Fail(13, Message(u"Bad string character escape at character ", Position(pos_)));
  }

  // The common short forms, [-]digits[.digits] with at most seven digits each side, read
  // eight bytes at a time; ParseNumber's short way gives the same value.
  // False, the cursor unmoved, for any other form or too near the end.
  bool ShortNumber(double& out) {
    if constexpr (!kUtf8) {
      return false;
    } else {
      if (decimal_mode_) return false;
      std::size_t pos = pos_;
      const bool negative = At(pos) == '-';
      pos += negative ? 1 : 0;
      if (len_ - pos < 9) return false;
      std::uint64_t whole = 0;
      const unsigned whole_digits = LeadingDigits(text_ + pos, whole);
      if (whole_digits == 0 || whole_digits == 8) return false;
      pos += whole_digits;
      double value = static_cast<double>(whole);
      if (At(pos) == '.') {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
        ++pos;
        if (len_ - pos < 9) return false;
        std::uint64_t fraction = 0;
        const unsigned fraction_digits = LeadingDigits(text_ + pos, fraction);
        if (fraction_digits == 0 || fraction_digits == 8) return false;
        pos += fraction_digits;
        static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
        value = static_cast<double>(whole * static_cast<std::uint64_t>(kScale[fraction_digits]) + fraction) /
                kScale[fraction_digits];
#else
        return false;
#endif
      }
      const unsigned next = At(pos);
      if (next == '.' || next == 'e' || next == 'E' || IsDigit(next)) return false;
      pos_ = pos;
      out = negative ? -value : value;
      return true;
    }
  }

  // The cursor stands on "-" or a digit.
  JsonValue ParseNumber() {
    const std::size_t start = pos_;
    std::size_t pos = pos_;
    const bool negative = At(pos) == '-';
    std::uint64_t mantissa = negative ? 0 : static_cast<std::uint64_t>(At(pos) - '0');
    std::size_t digits = negative ? 0 : 1;
    ++pos;
    bool point_seen = false;
    bool exponent = false;
    std::size_t fraction_digits = 0;
    // Digits, then at most one point and digits, then the exponent's letter: a loop for
    // each part, so none asks on every digit which part it is in.
    auto take_digits = [&] {
      const std::size_t first = pos;
      for (unsigned c; pos < len_ && IsDigit(c = At(pos)); ++pos) {
        if (digits < 19) mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
        ++digits;
      }
      return pos - first;
    };
    take_digits();
    if (pos < len_ && At(pos) == '.') {
      if (negative && pos == start + 1) Fail(13, Message(u"Digit expected at character ", Position(pos)));
      point_seen = true;
      ++pos;
      fraction_digits = take_digits();
      if (pos < len_ && At(pos) == '.') {
        Fail(13, Message(u"Second decimal point at character ", Position(pos)));
      }
    }
    if (pos < len_ && (At(pos) == 'e' || At(pos) == 'E')) {
      ++pos;
      exponent = true;
    }
    // An exponent of the plain form [+|-]digits, up to four of them, may take the short way below.
    int power = 0;
    bool plain_exponent = true;
    if (exponent) {
      bool sign_seen = false;
      bool exponent_negative = false;
      int exponent_digits = 0;
      const std::size_t exponent_start = pos;
      while (pos < len_) {
        const unsigned c = At(pos);
        if (c == '+' || c == '-') {
          if (sign_seen) Fail(13, Message(u"Second exponent sign at character ", Position(pos)));
          sign_seen = true;
          exponent_negative = c == '-';
          if (pos != exponent_start) plain_exponent = false;
        } else if (IsDigit(c)) {
          if (++exponent_digits <= 4) power = power * 10 + static_cast<int>(c - '0');
        } else {
          break;
        }
        ++pos;
      }
      if (exponent_digits == 0 || exponent_digits > 4) plain_exponent = false;
      if (exponent_negative) power = -power;
    }
    pos_ = pos;
    if (pos_ >= len_) Fail(13, u"Ran off end of string while parsing a number");

    // Up to 15 digits: the digits as an integer are exact in a double. Without a power of
    // ten that is the value; with one up to 10^22, also exact, one multiplication or
    // division rounds correctly, as from_chars does. Only where doubles are computed in
    // double precision: x87 extended precision would round twice.
    if (!decimal_mode_ && digits >= 1 && digits <= 15 && plain_exponent &&
        (!point_seen || fraction_digits > 0)) {
      power -= static_cast<int>(fraction_digits);
      double value = static_cast<double>(mantissa);
      if (power == 0) return JsonValue(negative ? -value : value);
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
      static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
      if (power >= -22 && power <= 22) {
        value = power < 0 ? value / kPowers[-power] : value * kPowers[power];
        return JsonValue(negative ? -value : value);
      }
#endif
    }
    // The number's characters are ASCII: the bytes themselves, or the units narrowed.
    std::string_view number;
    if constexpr (kUtf8) {
      number = std::string_view(text_ + start, pos_ - start);
    } else {
      num_.clear();
      for (std::size_t i = start; i < pos_; ++i) num_.push_back(static_cast<char>(text_[i]));
      number = num_;
    }

    if (decimal_mode_) {
      if (auto d = Decimal::Parse(number)) return JsonValue(*d);
      NumberError(start);
    }
    double value = 0;
    const char* first = number.data();
    const char* last = first + number.size();
    const auto res = std::from_chars(first, last, value);
    if (res.ptr != last) NumberError(start);
    if (res.ec == std::errc::result_out_of_range) {
      if (IsLargeMagnitude(number)) NumberError(start);
      value = number.front() == '-' ? -0.0 : 0.0;
    } else if (res.ec != std::errc()) {
      NumberError(start);
    }
    return JsonValue(value);
  }

  [[noreturn]] void NumberError(std::size_t start) const {
    Fail(6, Message(u"Number overflow or parse error at character ", Position(start)));
  }

  const Unit* text_;
  std::size_t len_;
  std::size_t pos_ = 0;
  bool decimal_mode_;
  ParseArena& arena_;
  // Members and items of the top-level node read so far, at the bottom of the stacks.
  std::size_t top_read_ = 0;
  ScratchText buf_;
  std::string num_;
  ScratchStack<Member, 32> pending_members_;
  ScratchStack<JsonValue, 32> pending_items_;
};

}  // namespace detail

namespace {

template <typename Unit>
void Parse(JsonNode& node, const Unit* text, std::size_t len, bool decimal_mode) {
  detail::ParseArena arena;
  detail::Parser<Unit> parser(text, len, decimal_mode, arena);
  parser.ParseDocument(node);
}

// False when the bytes must be converted first. An overlong form of an ASCII character
// outside a text always stops the direct way with an error; inside one, the decoded
// text shows it.
bool ParseBytes(JsonNode& node, const char* text, std::size_t len, bool decimal_mode) {
  try {
    Parse(node, text, len, decimal_mode);
    return true;
  } catch (const detail::ConvertFirst&) {
    return false;
  } catch (const JsonError&) {
    if (detail::HasOverlongAscii(text, len)) return false;
    throw;
  }
}

}  // namespace

void JsonNode::SetJSON(std::u16string_view text) {
  // The text may be one of this node's own values: keep the old contents alive until the
  // parse is over.
  const auto old_items = std::move(items_);
  const auto old_members = std::move(members_);
  Clear();
  Parse(*this, text.data(), text.size(), decimal_mode_);
}

void JsonNode::SetJSONUtf8(std::string_view text) {
  const auto old_items = std::move(items_);
  const auto old_members = std::move(members_);
  Clear();
  if (ParseBytes(*this, text.data(), text.size(), decimal_mode_)) return;
  // Rare enough to read the way the program used to: converted first.
  Clear();
  std::u16string units(text.size(), u'\0');
  units.resize(detail::DecodeUtf8(text.data(), text.size(), units.data()));
  Parse(*this, units.data(), units.size(), decimal_mode_);
}

}  // namespace kn::json
