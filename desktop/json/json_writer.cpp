// Serializer behind JsonNode::JSON: compact, or CR LF line breaks with four-space indents.
// Everything is appended to one output string, whose capacity grows geometrically.
#include <charconv>
#include <cmath>
#include <string>

#include "json/json_node.h"

namespace kn::json {
namespace detail {
namespace {

// Control, invisible and direction-changing characters, and every surrogate half, so the
// output is plain to read and survives any UTF-16 checker.
bool NeedsEscape(char16_t c) {
  if (c >= 0x20 && c < 0x7F) return c == u'"' || c == u'\\';
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x034F || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || c == 0x2060 || (c >= 0xFE01 && c <= 0xFE0F) || c == 0xFEFF ||
         c == 0xFFFD || (c >= 0xD800 && c <= 0xDFFF);
}

void AppendAscii(std::u16string& out, std::string_view text) { out.append(text.begin(), text.end()); }

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

}  // namespace

class Writer {
 public:
  explicit Writer(bool whitespace) : whitespace_(whitespace) {}

  void WriteNodeItem(const JsonNode& node) { WriteNode(node, 0); }

  // name: nullptr for array members and the top level, which differs from an empty name.
  void WriteItem(const std::u16string* name, const JsonValue& value, int level) {
    if (name) {
      if (whitespace_) Indent(level);
      WriteString(*name);
      out_.push_back(u':');
    } else if (whitespace_) {
      Indent(level);
    }
    switch (value.Kind()) {
      case JsonKind::kEmpty:
      case JsonKind::kNull:
        AppendAscii(out_, "null");
        break;
      case JsonKind::kText:
        WriteString(value.AsText());
        break;
      case JsonKind::kNode:
        WriteNode(*value.AsNode(), level);
        break;
      case JsonKind::kDate:
        Fail(51, NamePart(name) + u", unknown/unsupported type = " + Ascii(std::to_string(value.TypeCode())));
      default:
        WriteNumber(name, value);
        break;
    }
  }

  std::u16string Take() { return std::move(out_); }

 private:
  [[noreturn]] static void Fail(int number, std::u16string description) {
    throw JsonError(number, std::move(description));
  }

  static std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }
  static std::u16string NamePart(const std::u16string* name) { return name ? *name : std::u16string(); }

  void Indent(int level) { out_.append(static_cast<std::size_t>(level) * 4, u' '); }

  void WriteNode(const JsonNode& node, int level) {
    // A node stored inside itself would recurse forever.
    if (level >= JsonNode::kMaxDepth) Fail(28, std::u16string(kOutOfStackSpace));
    const char16_t open = node.is_array_ ? u'[' : u'{';
    const char16_t close = node.is_array_ ? u']' : u'}';
    out_.push_back(open);
    if (node.Count() == 0) {
      out_.push_back(close);
      return;
    }
    if (whitespace_) AppendAscii(out_, "\r\n");
    bool first = true;
    auto separate = [&] {
      if (!first) {
        out_.push_back(u',');
        if (whitespace_) AppendAscii(out_, "\r\n");
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
        if (!m.live) continue;
        separate();
        WriteItem(&m.name, m.value, level + 1);
      }
    }
    if (whitespace_) {
      AppendAscii(out_, "\r\n");
      Indent(level);
    }
    out_.push_back(close);
  }

  void WriteNumber(const std::u16string* name, const JsonValue& value) {
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
        res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
        break;
      }
      case JsonKind::kBoolean:
        AppendAscii(out_, value.AsBoolean() ? "true" : "false");
        return;
      case JsonKind::kCurrency:
        AppendAscii(out_, CurrencyText(value.Get<Currency>()->scaled));
        return;
      case JsonKind::kDecimal:
        AppendAscii(out_, value.AsDecimal().ToString());
        return;
      default:
        Fail(51, NamePart(name) + u", unknown/unsupported type = " + Ascii(std::to_string(value.TypeCode())));
    }
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    // Infinity and NaN have no JSON form; writing them would produce text that does not parse.
    if (!finite) Fail(51, NamePart(name) + u", value " + Ascii(text) + u" failed to serialize");
    AppendAscii(out_, text);
  }

  void WriteString(std::u16string_view s) {
    out_.push_back(u'"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const char16_t c = s[i];
      if (!NeedsEscape(c)) continue;
      out_.append(s.data() + run, i - run);
      run = i + 1;
      out_.push_back(u'\\');
      switch (c) {
        case u'"':
        case u'\\':
          out_.push_back(c);
          break;
        case 0x08:
          out_.push_back(u'b');
          break;
        case 0x0C:
          out_.push_back(u'f');
          break;
        case 0x0A:
          out_.push_back(u'n');
          break;
        case 0x0D:
          out_.push_back(u'r');
          break;
        case 0x09:
          out_.push_back(u't');
          break;
        default: {
          static constexpr char kHex[] = "0123456789ABCDEF";
          out_.push_back(u'u');
          for (int shift = 12; shift >= 0; shift -= 4)
            out_.push_back(static_cast<char16_t>(kHex[(c >> shift) & 0xF]));
        }
      }
    }
    out_.append(s.data() + run, s.size() - run);
    out_.push_back(u'"');
  }

  bool whitespace_;
  std::u16string out_;
};

}  // namespace detail

std::u16string JsonNode::JSON() const {
  detail::Writer writer(Whitespace);
  writer.WriteNodeItem(*this);
  return writer.Take();
}

std::u16string ToJson(const JsonValue& value, bool whitespace) {
  detail::Writer writer(whitespace);
  writer.WriteItem(nullptr, value, 0);
  return writer.Take();
}

}  // namespace kn::json
