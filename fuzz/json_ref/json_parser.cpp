// Recursive-descent reader behind JsonNode::SetJSON. One cursor runs through the whole
// document; strings and numbers are collected in two buffers reused for the whole parse.
// Members of nested nodes wait on a stack shared by the whole parse and move into their
// node in one exactly sized block when it closes.
#include <bit>
#include <cfloat>
#include <charconv>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define KN_JSON_SSE2 1
#else
#define KN_JSON_SSE2 0
#endif

#include "json_ref/json_node.h"

namespace kn::json_ref {
namespace detail {
namespace {

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  c = AsciiLower(c);
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

std::u16string Message(std::u16string_view text, std::size_t position) {
  std::u16string out(text);
  char digits[24];
  const auto res = std::to_chars(digits, digits + sizeof digits, position);
  out.append(digits, res.ptr);
  return out;
}

// from_chars reports overflow and underflow alike; only overflow is an error. Decides
// from the digits whether the magnitude is at least 10.
bool IsLargeMagnitude(std::string_view number) {
  std::size_t i = number.front() == '-' ? 1 : 0;
  long long place = 0;  // decimal exponent of the first significant digit
  bool found = false;
  long long int_digits = 0;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    if (!found && number[i] != '0') found = true;
    if (found) ++int_digits;
  }
  if (found) {
    place = int_digits - 1;
  } else if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && IsDigit(number[i]); ++i) {
      --place;
      if (number[i] != '0') {
        found = true;
        break;
      }
    }
  }
  if (!found) return false;
  const std::size_t e = number.find('e');
  if (e == std::string_view::npos) return place > 0;
  long long exponent = 0;
  bool negative = false;
  for (std::size_t j = e + 1; j < number.size(); ++j) {
    if (number[j] == '-') negative = true;
    if (IsDigit(number[j]) && exponent < 100000000) exponent = exponent * 10 + (number[j] - '0');
  }
  return place + (negative ? -exponent : exponent) > 0;
}

}  // namespace

class Parser {
 public:
  Parser(std::u16string_view text, bool decimal_mode)
      : text_(text.data()), len_(text.size()), decimal_mode_(decimal_mode) {}

  void ParseDocument(JsonNode& root) {
    SkipWhitespace();
    if (pos_ < len_ && text_[pos_] == u'{') {
      ++pos_;
      ParseObject(root, 1);
    } else if (pos_ < len_ && text_[pos_] == u'[') {
      ++pos_;
      root.is_array_ = true;
      ParseArray(root, 1);
    } else {
      Fail(13, Message(u"Expected either { or [ at character ", pos_ + 1));
    }
  }

 private:
  [[noreturn]] static void Fail(int number, std::u16string description) {
    throw JsonError(number, std::move(description));
  }

  void SkipWhitespace() {
    while (pos_ < len_) {
      const char16_t c = text_[pos_];
      if (c != u' ' && c != u'\n' && c != u'\r' && c != u'\t') break;
      ++pos_;
    }
  }

  // The root keeps the members read so far when an error ends the parse, so they go
  // straight in; a nested node is only seen once complete, so its members may wait.
  void ParseObject(JsonNode& node, int depth) {
    const bool direct = depth == 1;
    const std::size_t mark = pending_members_.size();
    bool member_seen = false;
    for (;;) {
      SkipWhitespace();
      if (pos_ >= len_) Fail(13, Message(u"Expected , or } at character ", len_ + 1));
      const char16_t c = text_[pos_++];
      if (c == u'"') {
        std::uint32_t hash = 0;
        JsonNode::NameText name = ParseName(hash);
        SkipWhitespace();
        if (pos_ >= len_ || text_[pos_] != u':') Fail(13, Message(u"Expected : at character ", pos_ + 1));
        ++pos_;
        JsonValue value = ParseValue(depth);
        if (direct) {
          node.PutMember(std::move(name), std::move(value), hash);
        } else {
          pending_members_.emplace_back(std::move(name), std::move(value), hash);
        }
        member_seen = true;
      } else if (c == u',') {
        // Doubled commas, a trailing comma and missing commas are let through.
        if (!member_seen) Fail(13, Message(u"Found \",\" before first item at character ", pos_));
      } else if (c == u'}') {
        if (!direct) {
          node.members_.reserve(pending_members_.size() - mark);
          for (std::size_t i = mark; i < pending_members_.size(); ++i) {
            PendingMember& m = pending_members_[i];
            node.PutMember(std::move(m.name), std::move(m.value), m.hash);
          }
          pending_members_.erase(pending_members_.begin() + static_cast<std::ptrdiff_t>(mark),
                                 pending_members_.end());
        }
        return;
      } else {
        Fail(13, Message(u"Expected , or } at character ", pos_));
      }
    }
  }

  void ParseArray(JsonNode& node, int depth) {
    const bool direct = depth == 1;
    const std::size_t mark = pending_items_.size();
    for (;;) {
      SkipWhitespace();
      if (pos_ < len_ && text_[pos_] == u',') {
        ++pos_;
      } else if (pos_ < len_ && text_[pos_] == u']') {
        ++pos_;
        if (!direct) {
          const auto first = pending_items_.begin() + static_cast<std::ptrdiff_t>(mark);
          node.items_.assign(std::make_move_iterator(first), std::make_move_iterator(pending_items_.end()));
          pending_items_.resize(mark);
        }
        return;
      } else if (direct) {
        node.items_.push_back(ParseValue(depth));
      } else {
        pending_items_.push_back(ParseValue(depth));
      }
    }
  }

  JsonValue ParseValue(int depth) {
    SkipWhitespace();
    if (pos_ >= len_) Fail(13, Message(u"Bad value at character ", len_ + 1));
    const char16_t c = text_[pos_];
    if (c == u'"') {
      ++pos_;
      return JsonValue(ParseString());
    }
    if (c == u'{' || c == u'[') {
      if (depth >= JsonNode::kMaxDepth) Fail(28, std::u16string(kOutOfStackSpace));
      ++pos_;
      auto child = std::allocate_shared<JsonNode>(PieceAllocator<JsonNode>());
      child->decimal_mode_ = decimal_mode_;
      if (c == u'[') {
        child->is_array_ = true;
        ParseArray(*child, depth + 1);
      } else {
        ParseObject(*child, depth + 1);
      }
      return JsonValue(std::move(child));
    }
    if (c == u'-' || IsDigit(c)) return ParseNumber();
    if (MatchLiteral(u"null")) return JsonValue(nullptr);
    if (MatchLiteral(u"true")) return JsonValue(true);
    if (MatchLiteral(u"false")) return JsonValue(false);
    Fail(13, Message(u"Bad value at character ", pos_ + 1));
  }

  // Literals match in any letter case.
  bool MatchLiteral(std::u16string_view word) {
    if (len_ - pos_ < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (AsciiLower(text_[pos_ + i]) != word[i]) return false;
    }
    pos_ += word.size();
    return true;
  }

  // A member name, hashed on the way for the node's index. The cursor stands after the
  // opening quote.
  JsonNode::NameText ParseName(std::uint32_t& hash) {
    const std::size_t begin = pos_;
    std::uint32_t h = JsonNode::kHashStart;
    while (pos_ < len_) {
      const char16_t c = text_[pos_];
      if (c == u'"' || c == u'\\' || c < 0x20) break;
      h = JsonNode::HashStep(h, c);
      ++pos_;
    }
    if (pos_ < len_ && text_[pos_] == u'"' && pos_ + 1 < len_) {
      ++pos_;
      hash = h;
      return JsonNode::NameText(text_ + begin, pos_ - 1 - begin);
    }
    // Escapes (or an error): the general way.
    pos_ = begin;
    const std::u16string name = ParseString();
    hash = JsonNode::HashName(name);
    return JsonNode::NameText(name.data(), name.size());
  }

  // Up to the first quote, backslash or control character from pos_ on (or the end).
  void SkipPlain() {
    for (;;) {
#if KN_JSON_SSE2
      const __m128i quote = _mm_set1_epi16(u'"');
      const __m128i backslash = _mm_set1_epi16(u'\\');
      const __m128i space = _mm_set1_epi16(0x20);
      while (pos_ + 8 <= len_) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + pos_));
        // Signed: units from 0x8000 up stop the block test too; the test below passes them.
        const __m128i stop =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash)),
                         _mm_cmplt_epi16(v, space));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
        if (mask != 0) {
          pos_ += static_cast<std::size_t>(std::countr_zero(mask)) / 2;
          break;
        }
        pos_ += 8;
      }
#endif
      if (pos_ >= len_) return;
      const char16_t c = text_[pos_];
      if (c == u'"' || c == u'\\' || c < 0x20) return;
      ++pos_;
    }
  }

  // The cursor stands after the opening quote.
  std::u16string ParseString() {
    const std::size_t begin = pos_;
    SkipPlain();
    // Most strings have no escape: take them straight from the text.
    if (pos_ < len_ && text_[pos_] == u'"') {
      ++pos_;
      if (pos_ >= len_) Fail(13, Message(u"Expected \" at character ", len_ + 1));
      return std::u16string(text_ + begin, pos_ - 1 - begin);
    }
    buf_.assign(text_ + begin, pos_ - begin);
    while (pos_ < len_) {
      const std::size_t run = pos_;
      SkipPlain();
      buf_.append(text_ + run, pos_ - run);
      if (pos_ >= len_) break;

      const char16_t c = text_[pos_];
      if (c < 0x20) Fail(13, Message(u"Invalid string character at ", pos_ + 1));
      if (c == u'"') {
        ++pos_;
        break;
      }
      ++pos_;  // the backslash
      if (pos_ >= len_) BadEscape();
      char16_t out;
      switch (AsciiLower(text_[pos_])) {
        case u'"':
        case u'\\':
        case u'/':
          out = text_[pos_];
          break;
        case u'b':
          out = 0x08;
          break;
        case u'f':
          out = 0x0C;
          break;
        case u'n':
          out = 0x0A;
          break;
        case u'r':
          out = 0x0D;
          break;
        case u't':
          out = 0x09;
          break;
        case u'u': {
          ++pos_;
          if (len_ - pos_ < 4) BadEscape();
          unsigned value = 0;
          for (std::size_t i = 0; i < 4; ++i) {
            const int h = HexValue(text_[pos_ + i]);
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
    if (pos_ >= len_) Fail(13, Message(u"Expected \" at character ", len_ + 1));
    return buf_;
  }

  [[noreturn]] void BadEscape() const {
    Fail(13, Message(u"Bad string character escape at character ", pos_ + 1));
  }

  // The cursor stands on "-" or a digit.
  JsonValue ParseNumber() {
    const std::size_t start = pos_;
    const bool negative = text_[pos_] == u'-';
    std::uint64_t mantissa = negative ? 0 : static_cast<std::uint64_t>(text_[pos_] - u'0');
    std::size_t digits = negative ? 0 : 1;
    ++pos_;
    bool point_seen = false;
    bool exponent = false;
    std::size_t fraction_digits = 0;
    while (pos_ < len_) {
      const char16_t c = text_[pos_];
      if (IsDigit(c)) {
        if (digits < 19) mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - u'0');
        ++digits;
        if (point_seen) ++fraction_digits;
      } else if (c == u'.') {
        if (point_seen) Fail(13, Message(u"Second decimal point at character ", pos_ + 1));
        if (negative && pos_ == start + 1) Fail(13, Message(u"Digit expected at character ", pos_ + 1));
        point_seen = true;
      } else if (c == u'e' || c == u'E') {
        ++pos_;
        exponent = true;
        break;
      } else {
        break;
      }
      ++pos_;
    }
    // An exponent of the plain form [+|-]digits, up to four of them, may take the short way below.
    int power = 0;
    bool plain_exponent = true;
    if (exponent) {
      bool sign_seen = false;
      bool exponent_negative = false;
      int exponent_digits = 0;
      const std::size_t exponent_start = pos_;
      while (pos_ < len_) {
        const char16_t c = text_[pos_];
        if (c == u'+' || c == u'-') {
          if (sign_seen) Fail(13, Message(u"Second exponent sign at character ", pos_ + 1));
          sign_seen = true;
          exponent_negative = c == u'-';
          if (pos_ != exponent_start) plain_exponent = false;
        } else if (IsDigit(c)) {
          if (++exponent_digits <= 4) power = power * 10 + (c - u'0');
        } else {
          break;
        }
        ++pos_;
      }
      if (exponent_digits == 0 || exponent_digits > 4) plain_exponent = false;
      if (exponent_negative) power = -power;
    }
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
    num_.clear();
    for (std::size_t i = start; i < pos_; ++i) {
      num_.push_back(text_[i] == u'E' ? 'e' : static_cast<char>(text_[i]));
    }

    if (decimal_mode_) {
      if (auto d = Decimal::Parse(num_)) return JsonValue(*d);
      NumberError(start);
    }
    double value = 0;
    const char* first = num_.data();
    const char* last = first + num_.size();
    const auto res = std::from_chars(first, last, value);
    if (res.ptr != last) NumberError(start);
    if (res.ec == std::errc::result_out_of_range) {
      if (IsLargeMagnitude(num_)) NumberError(start);
      value = num_.front() == '-' ? -0.0 : 0.0;
    } else if (res.ec != std::errc()) {
      NumberError(start);
    }
    return JsonValue(value);
  }

  [[noreturn]] static void NumberError(std::size_t start) {
    Fail(6, Message(u"Number overflow or parse error at character ", start + 1));
  }

  struct PendingMember {
    PendingMember(JsonNode::NameText&& n, JsonValue&& v, std::uint32_t h)
        : name(std::move(n)), value(std::move(v)), hash(h) {}
    JsonNode::NameText name;
    JsonValue value;
    std::uint32_t hash;
  };

  const char16_t* text_;
  std::size_t len_;
  std::size_t pos_ = 0;
  bool decimal_mode_;
  std::u16string buf_;
  std::string num_;
  std::vector<PendingMember> pending_members_;
  std::vector<JsonValue> pending_items_;
};

}  // namespace detail

void JsonNode::SetJSON(std::u16string_view text) {
  // The text may be one of this node's own values: keep the old contents alive until the
  // parse is over.
  const auto old_items = std::move(items_);
  const auto old_members = std::move(members_);
  Clear();
  detail::ParseArena arena;
  detail::Parser parser(text, decimal_mode_);
  parser.ParseDocument(*this);
}

}  // namespace kn::json_ref
