// Recursive-descent reader behind JsonNode::SetJSON. One cursor runs through the whole
// document; strings and numbers are collected in two buffers reused for the whole parse.
#include <charconv>
#include <string>
#include <system_error>

#include "json/json_node.h"

namespace kn::json {
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

  void ParseObject(JsonNode& node, int depth) {
    bool member_seen = false;
    for (;;) {
      SkipWhitespace();
      if (pos_ >= len_) Fail(13, Message(u"Expected , or } at character ", len_ + 1));
      const char16_t c = text_[pos_++];
      if (c == u'"') {
        std::u16string name = ParseString();
        SkipWhitespace();
        if (pos_ >= len_ || text_[pos_] != u':') Fail(13, Message(u"Expected : at character ", pos_ + 1));
        ++pos_;
        JsonValue value = ParseValue(depth);
        node.PutMember(std::move(name), std::move(value));
        member_seen = true;
      } else if (c == u',') {
        // Doubled commas, a trailing comma and missing commas are let through.
        if (!member_seen) Fail(13, Message(u"Found \",\" before first item at character ", pos_));
      } else if (c == u'}') {
        return;
      } else {
        Fail(13, Message(u"Expected , or } at character ", pos_));
      }
    }
  }

  void ParseArray(JsonNode& node, int depth) {
    for (;;) {
      SkipWhitespace();
      if (pos_ < len_ && text_[pos_] == u',') {
        ++pos_;
      } else if (pos_ < len_ && text_[pos_] == u']') {
        ++pos_;
        return;
      } else {
        node.items_.push_back(ParseValue(depth));
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
      auto child = std::make_shared<JsonNode>();
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

  // The cursor stands after the opening quote.
  std::u16string ParseString() {
    buf_.clear();
    while (pos_ < len_) {
      const std::size_t run = pos_;
      while (pos_ < len_) {
        const char16_t c = text_[pos_];
        if (c == u'"' || c == u'\\' || c < 0x20) break;
        ++pos_;
      }
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
    num_.clear();
    num_.push_back(static_cast<char>(text_[pos_++]));
    bool point_seen = false;
    bool exponent = false;
    while (pos_ < len_) {
      const char16_t c = AsciiLower(text_[pos_]);
      if (c == u'.') {
        if (point_seen) Fail(13, Message(u"Second decimal point at character ", pos_ + 1));
        if (num_.back() == '-') Fail(13, Message(u"Digit expected at character ", pos_ + 1));
        point_seen = true;
      } else if (c == u'e') {
        ++pos_;
        exponent = true;
        break;
      } else if (!IsDigit(c)) {
        break;
      }
      num_.push_back(static_cast<char>(c));
      ++pos_;
    }
    if (exponent) {
      num_.push_back('e');
      bool sign_seen = false;
      while (pos_ < len_) {
        const char16_t c = text_[pos_];
        if (c == u'+' || c == u'-') {
          if (sign_seen) Fail(13, Message(u"Second exponent sign at character ", pos_ + 1));
          sign_seen = true;
        } else if (!IsDigit(c)) {
          break;
        }
        num_.push_back(static_cast<char>(c));
        ++pos_;
      }
    }
    if (pos_ >= len_) Fail(13, u"Ran off end of string while parsing a number");

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

  const char16_t* text_;
  std::size_t len_;
  std::size_t pos_ = 0;
  bool decimal_mode_;
  std::u16string buf_;
  std::string num_;
};

}  // namespace detail

void JsonNode::SetJSON(std::u16string_view text) {
  // The text may be one of this node's own values: keep the old contents alive until the
  // parse is over.
  const std::vector<JsonValue> old_items = std::move(items_);
  const std::vector<Member> old_members = std::move(members_);
  Clear();
  detail::Parser parser(text, decimal_mode_);
  parser.ParseDocument(*this);
}

}  // namespace kn::json
