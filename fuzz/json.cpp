// JsonNode: whatever parses must serialize, and the serialized text must parse back to
// the same tree. Parse errors must be JsonError with one of the parser's numbers.
//
// Input: the first byte picks the mode by its low bits ('0'..'7' keep corpus files
// readable), the rest is the document.
//   bit 0: the rest is raw UTF-16LE code units (an odd last byte is dropped), so lone
//          surrogates and every other code unit reach the parser; otherwise it is UTF-8,
//          decoded as the program decodes it (malformed bytes become U+FFFD).
//   bit 1: DecimalMode on, numbers become Decimal.
//   bit 2: serialize with Whitespace on.
//   bit 3: no document: the rest drives the API (SetItem, Remove, AddNewObject) with
//          typed values a parse never produces, checked against a plain model.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "core/text_util.h"
#include "json/json_node.h"

using kn::json::Currency;
using kn::json::Date;
using kn::json::Decimal;
using kn::json::JsonError;
using kn::json::JsonKind;
using kn::json::JsonNode;
using kn::json::JsonValue;

namespace {

bool known_parse_error(int number) { return number == 13 || number == 6 || number == 28; }

void check_error(const JsonError& e) {
  FUZZ_CHECK(e.Source() == u"JsonNode");
  FUZZ_CHECK(!e.Description().empty());
  FUZZ_CHECK(std::string(e.what()).rfind("JsonNode error " + std::to_string(e.Number()) + ": ", 0) == 0);
}

bool same_tree(const JsonNode& a, const JsonNode& b);

// A double's JSON text: 15 significant digits in the general form, except where that
// rounding would pass the largest double; the writer's fast paths must give the same text.
std::u16string reference_double_text(double d) {
  char buf[64];
  const auto res = std::fabs(d) >= 1.797693134862315e308
                       ? std::to_chars(buf, buf + sizeof buf, d)
                       : std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  return std::u16string(buf, res.ptr);
}

void check_double_text(double d) {
  if (std::isfinite(d)) FUZZ_CHECK(kn::json::ToJson(JsonValue(d)) == reference_double_text(d));
}

// Every double in the tree, written on its own.
void check_doubles(const JsonNode& node) {
  for (std::int32_t i = 1; i <= node.Count(); ++i) {
    const JsonValue& v = node.ItemRef(i);
    if (v.Kind() == JsonKind::kDouble) check_double_text(v.AsDouble());
    if (v.IsNode()) check_doubles(*v.AsNode());
  }
}

// Numbers compare as the serializer prints them (doubles keep 15 significant digits),
// everything else exactly.
bool same_value(const JsonValue& a, const JsonValue& b) {
  if (a.Kind() != b.Kind()) return false;
  switch (a.Kind()) {
    case JsonKind::kEmpty:
    case JsonKind::kNull:
      return true;
    case JsonKind::kText:
      return a.AsText() == b.AsText();
    case JsonKind::kBoolean:
      return a.AsBoolean() == b.AsBoolean();
    case JsonKind::kDecimal:
      return a.AsDecimal().ToString() == b.AsDecimal().ToString();
    case JsonKind::kDouble: {
      const double x = a.AsDouble();
      const double y = b.AsDouble();
      if (std::fabs(x - y) > std::fabs(x) * 1e-14) return false;
      return kn::json::ToJson(a) == kn::json::ToJson(b);
    }
    case JsonKind::kNode:
      return same_tree(*a.AsNode(), *b.AsNode());
    default:
      return a == b;
  }
}

bool same_tree(const JsonNode& a, const JsonNode& b) {
  if (a.IsArray() != b.IsArray() || a.Count() != b.Count()) return false;
  if (a.IsArray()) {
    for (std::int32_t i = 1; i <= a.Count(); ++i) {
      if (!same_value(a.ItemRef(i), b.ItemRef(i))) return false;
    }
    return true;
  }
  const auto names = a.NewEnum();
  if (names != b.NewEnum()) return false;
  for (const auto& name : names) {
    if (!same_value(a.ItemRef(name), b.ItemRef(name))) return false;
  }
  return true;
}

// Parse into a fresh node; the error number, or 0 when it parsed.
int parse(JsonNode& node, std::u16string_view text) {
  try {
    node.SetJSON(text);
    return 0;
  } catch (const JsonError& e) {
    check_error(e);
    FUZZ_CHECK(known_parse_error(e.Number()));
    return e.Number();
  }
}

void check_document(std::u16string_view text, bool decimal, bool whitespace) {
  JsonNode a;
  a.SetDecimalMode(decimal);
  if (parse(a, text) != 0) return;

  if (!decimal) check_doubles(a);
  a.Whitespace = whitespace;
  const std::u16string s1 = a.JSON();  // a parsed tree always has a JSON form

  JsonNode b;
  b.SetDecimalMode(decimal);
  FUZZ_CHECK(parse(b, s1) == 0);
  FUZZ_CHECK(same_tree(a, b));
  b.Whitespace = whitespace;
  FUZZ_CHECK(b.JSON() == s1);

  // The other layout carries the same tree.
  b.Whitespace = !whitespace;
  JsonNode c;
  c.SetDecimalMode(decimal);
  FUZZ_CHECK(parse(c, b.JSON()) == 0);
  FUZZ_CHECK(same_tree(b, c));

  // Parsing a text that lives inside the node itself must not read freed memory.
  if (a.IsArray() && a.Count() >= 1 && a.ItemRef(1).IsText()) {
    const std::u16string copy = a.ItemRef(1).AsText();
    JsonNode fresh;
    fresh.SetDecimalMode(decimal);
    const int expected = parse(fresh, copy);
    const int got = parse(a, a.ItemRef(1).AsText());
    FUZZ_CHECK(got == expected);
    if (got == 0) FUZZ_CHECK(same_tree(a, fresh));
  }
}

// ---- API mode -------------------------------------------------------------------------

std::u16string take_text(FuzzedDataProvider& in) {
  const std::string bytes = in.ConsumeRandomLengthString(24);
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return out;
}

Decimal currency_decimal(std::int64_t scaled) {
  const std::uint64_t mag =
      scaled < 0 ? 0u - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  return *Decimal::FromParts(static_cast<std::uint32_t>(mag), static_cast<std::uint32_t>(mag >> 32), 0, 4,
                             scaled < 0);
}

// A typed value; `serializable` false for the kinds without a JSON form.
JsonValue take_value(FuzzedDataProvider& in, bool& serializable) {
  serializable = true;
  switch (in.ConsumeIntegralInRange(0, 10)) {
    case 0:
      return JsonValue(in.ConsumeIntegral<std::int16_t>());
    case 1:
      return JsonValue(in.ConsumeIntegral<std::int32_t>());
    case 2:
      return JsonValue(in.ConsumeIntegral<std::uint8_t>());
    case 3: {
      const auto bits = in.ConsumeIntegral<std::uint32_t>();
      float f;
      std::memcpy(&f, &bits, sizeof f);
      serializable = std::isfinite(f);
      return JsonValue(f);
    }
    case 4: {
      const auto bits = in.ConsumeIntegral<std::uint64_t>();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      serializable = std::isfinite(d);
      return JsonValue(d);
    }
    case 5:
      return JsonValue(Currency{in.ConsumeIntegral<std::int64_t>()});
    case 6: {
      const auto lo = in.ConsumeIntegral<std::uint32_t>();
      const auto mid = in.ConsumeIntegral<std::uint32_t>();
      const auto hi = in.ConsumeIntegral<std::uint32_t>();
      const int scale = in.ConsumeIntegralInRange(0, Decimal::kMaxScale);
      return JsonValue(*Decimal::FromParts(lo, mid, hi, scale, in.ConsumeBool()));
    }
    case 7:
      serializable = false;
      return JsonValue(Date{in.ConsumeFloatingPoint<double>()});
    case 8:
      return JsonValue(take_text(in));
    case 9:
      return JsonValue(in.ConsumeBool());
    default:
      return in.ConsumeBool() ? JsonValue() : JsonValue::Null();
  }
}

// How a value must come back from its own JSON text.
void check_value_text(const JsonValue& v) {
  const std::u16string text = u"[" + kn::json::ToJson(v) + u"]";
  JsonNode exact;
  exact.SetDecimalMode(true);
  JsonNode plain;
  switch (v.Kind()) {
    case JsonKind::kInt16:
    case JsonKind::kInt32:
    case JsonKind::kByte:
      FUZZ_CHECK(parse(exact, text) == 0 && exact.Count() == 1);
      FUZZ_CHECK(exact.ItemRef(1).AsDecimal() == Decimal::FromInt64(static_cast<std::int64_t>(v.AsDouble())));
      break;
    case JsonKind::kCurrency:
      FUZZ_CHECK(parse(exact, text) == 0 && exact.Count() == 1);
      FUZZ_CHECK(exact.ItemRef(1).AsDecimal() == currency_decimal(v.Get<Currency>()->scaled));
      break;
    case JsonKind::kDecimal:
      FUZZ_CHECK(parse(exact, text) == 0 && exact.Count() == 1);
      FUZZ_CHECK(exact.ItemRef(1).AsDecimal().ToString() == v.AsDecimal().ToString());
      break;
    case JsonKind::kSingle: {
      FUZZ_CHECK(parse(plain, text) == 0 && plain.Count() == 1);
      const double back = plain.ItemRef(1).AsDouble();
      const double f = v.AsDouble();
      FUZZ_CHECK(std::fabs(back - f) <= std::fabs(f) * 1e-6);
      break;
    }
    case JsonKind::kDouble: {
      check_double_text(v.AsDouble());
      FUZZ_CHECK(parse(plain, text) == 0 && plain.Count() == 1);
      const double back = plain.ItemRef(1).AsDouble();
      const double d = v.AsDouble();
      FUZZ_CHECK(std::fabs(back - d) <= std::fabs(d) * 1e-14);
      FUZZ_CHECK(kn::json::ToJson(JsonValue(back)) == kn::json::ToJson(v));
      break;
    }
    case JsonKind::kText:
      FUZZ_CHECK(parse(plain, text) == 0 && plain.Count() == 1);
      FUZZ_CHECK(plain.ItemRef(1).AsText() == v.AsText());
      break;
    case JsonKind::kBoolean:
      FUZZ_CHECK(parse(plain, text) == 0 && plain.Count() == 1);
      FUZZ_CHECK(plain.ItemRef(1).AsBoolean() == v.AsBoolean());
      break;
    case JsonKind::kEmpty:
    case JsonKind::kNull:
      FUZZ_CHECK(parse(plain, text) == 0 && plain.Count() == 1);
      FUZZ_CHECK(plain.ItemRef(1).Kind() == JsonKind::kNull);
      break;
    default:
      break;
  }
}

struct ModelMember {
  std::u16string name;
  bool serializable;
};

void check_api(FuzzedDataProvider& in) {
  JsonNode root;
  auto list = root.AddNewArray(u"list");
  std::vector<ModelMember> model = {{u"list", true}};
  std::size_t list_items = 0;
  bool list_serializable = true;

  for (int op = 0; op < 64 && in.remaining_bytes() > 0; ++op) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
      case 1: {  // object member: a known name moves to the end
        std::u16string name = take_text(in);
        if (name == u"list") name += u"!";
        bool ok = false;
        JsonValue v = take_value(in, ok);
        if (ok) check_value_text(v);
        root.SetItem(name, v);
        model.erase(
            std::remove_if(model.begin(), model.end(), [&](const ModelMember& m) { return m.name == name; }),
            model.end());
        model.push_back({name, ok});
        break;
      }
      case 2: {  // array member, appended
        bool ok = false;
        list->SetItem(nullptr, take_value(in, ok));
        ++list_items;
        list_serializable = list_serializable && ok;
        break;
      }
      case 3: {  // remove by name
        std::u16string name;
        if (!model.empty() && in.ConsumeBool()) {
          name = model[in.ConsumeIntegralInRange<std::size_t>(0, model.size() - 1)].name;
        } else {
          name = take_text(in);
        }
        if (name == u"list") break;
        root.Remove(name);
        model.erase(
            std::remove_if(model.begin(), model.end(), [&](const ModelMember& m) { return m.name == name; }),
            model.end());
        break;
      }
      case 4: {  // remove by position
        const auto pos =
            in.ConsumeIntegralInRange<std::int64_t>(0, static_cast<std::int64_t>(model.size()) + 1);
        if (pos >= 1 && pos <= static_cast<std::int64_t>(model.size()) &&
            model[static_cast<std::size_t>(pos - 1)].name == u"list") {
          break;
        }
        if (pos == 0) break;  // position 0 is out of range and raises
        root.Remove(pos);
        if (pos <= static_cast<std::int64_t>(model.size())) model.erase(model.begin() + (pos - 1));
        break;
      }
    }
    FUZZ_CHECK(root.Count() == static_cast<std::int32_t>(model.size()));
  }

  // Names and order as the model has them, by enumeration, by position and by name.
  std::vector<std::u16string> names;
  for (const auto& m : model) names.push_back(m.name);
  FUZZ_CHECK(root.NewEnum() == names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    FUZZ_CHECK(root.Exists(names[i]));
    FUZZ_CHECK(root.Name(static_cast<std::int64_t>(i + 1)) == names[i]);
    // The same stored value (compared by address: a NaN is not equal to itself).
    const JsonValue* by_position = &root.ItemRef(static_cast<std::int64_t>(i + 1));
    FUZZ_CHECK(by_position == &root.ItemRef(names[i]));
  }
  FUZZ_CHECK(list->Count() == static_cast<std::int32_t>(list_items));

  bool serializable = list_serializable;
  for (const auto& m : model) serializable = serializable && m.serializable;
  std::u16string text;
  try {
    text = root.JSON();
  } catch (const JsonError& e) {
    check_error(e);
    FUZZ_CHECK(e.Number() == 51 && !serializable);
    return;
  }
  FUZZ_CHECK(serializable);
  JsonNode back;
  FUZZ_CHECK(parse(back, text) == 0);
  FUZZ_CHECK(back.NewEnum() == names);
  FUZZ_CHECK(back.ItemRef(u"list").AsNode()->Count() == static_cast<std::int32_t>(list_items));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mode = data[0];
  ++data;
  --size;
  if (mode & 8) {
    FuzzedDataProvider in(data, size);
    check_api(in);
    return 0;
  }
  std::u16string text;
  if (mode & 1) {
    text.resize(size / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
  } else {
    text = kn::utf8_to_utf16(std::string_view(reinterpret_cast<const char*>(data), size));
  }
  check_document(text, (mode & 2) != 0, (mode & 4) != 0);
  return 0;
}
