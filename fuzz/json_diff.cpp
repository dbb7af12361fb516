// JsonNode against json_ref/, a copy of it as it was before it read UTF-8 itself: the same
// document must give the same tree, the same error (number, source, description with its
// position) and the same serialized text, whether the new node reads it as UTF-16 or as
// UTF-8. UTF-8 bytes are compared with the old node reading them after utf8_to_utf16,
// which is how the program converted its answers before.
//
// Input: the first byte picks the mode by its low bits ('0'..'7' keep corpus files readable),
// the rest is the document.
//   bit 0: the rest is raw UTF-16LE code units (an odd last byte is dropped), lone
//          surrogates included; the UTF-8 form is then utf16_to_utf8 of them.
//          Otherwise the rest is UTF-8 bytes, malformed ones included.
//   bit 1: DecimalMode on.
//   bit 2: Whitespace on for the serialized text compared.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "core/text_util.h"
#include "json/json_node.h"
#include "json_ref/json_node.h"

namespace {

namespace now = kn::json;
namespace ref = kn::json_ref;

// What an attempt came to: the error, if any, as plain fields.
struct Outcome {
  bool failed = false;
  int number = 0;
  std::u16string source;
  std::u16string description;

  friend bool operator==(const Outcome&, const Outcome&) = default;
};

template <typename Error>
Outcome failure(const Error& e) {
  return Outcome{true, e.Number(), std::u16string(e.Source()), e.Description()};
}

template <typename Node, typename Text>
Outcome parse16(Node& node, const Text& text) {
  try {
    node.SetJSON(text);
    return {};
  } catch (const now::JsonError& e) {
    return failure(e);
  } catch (const ref::JsonError& e) {
    return failure(e);
  }
}

Outcome parse8(now::JsonNode& node, const std::string& bytes) {
  try {
    node.SetJSONUtf8(bytes);
    return {};
  } catch (const now::JsonError& e) {
    return failure(e);
  }
}

bool same_node(const ref::JsonNode& a, const now::JsonNode& b);

// Same kind and exactly the same value: both convert numbers the same way.
bool same_value(const ref::JsonValue& a, const now::JsonValue& b) {
  if (a.TypeCode() != b.TypeCode()) return false;
  switch (b.Kind()) {
    case now::JsonKind::kEmpty:
    case now::JsonKind::kNull:
      return true;
    case now::JsonKind::kText:
      return a.AsText() == b.TextView();
    case now::JsonKind::kBoolean:
      return a.AsBoolean() == b.AsBoolean();
    case now::JsonKind::kDouble: {
      const double x = a.AsDouble();
      const double y = b.AsDouble();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case now::JsonKind::kDecimal: {
      const auto& x = a.AsDecimal();
      const auto& y = b.AsDecimal();
      return x.Lo() == y.Lo() && x.Mid() == y.Mid() && x.Hi() == y.Hi() && x.Scale() == y.Scale() &&
             x.IsNegative() == y.IsNegative();
    }
    case now::JsonKind::kNode:
      return same_node(*a.AsNode(), *b.AsNode());
    default:
      return false;  // a parse makes no other kind
  }
}

bool same_node(const ref::JsonNode& a, const now::JsonNode& b) {
  if (a.IsArray() != b.IsArray() || a.Count() != b.Count() || a.DecimalMode() != b.DecimalMode())
    return false;
  if (!a.IsArray() && a.NewEnum() != b.NewEnum()) return false;
  for (std::int32_t i = 1; i <= a.Count(); ++i) {
    if (!same_value(a.ItemRef(i), b.ItemRef(i))) return false;
  }
  if (!a.IsArray()) {
    for (const auto& name : a.NewEnum()) {
      if (!b.Exists(name) || !same_value(a.ItemRef(name), b.ItemRef(name))) return false;
    }
  }
  return true;
}

// The serialized text, or the error that stopped it.
template <typename Node>
std::pair<std::u16string, Outcome> write16(const Node& node) {
  try {
    return {node.JSON(), {}};
  } catch (const now::JsonError& e) {
    return {{}, failure(e)};
  } catch (const ref::JsonError& e) {
    return {{}, failure(e)};
  }
}

std::pair<std::string, Outcome> write8(const now::JsonNode& node) {
  try {
    return {node.JSONUtf8(), {}};
  } catch (const now::JsonError& e) {
    return {{}, failure(e)};
  }
}

// The old node read `units`; the new node read the same document as `got`.
void check_same(ref::JsonNode& old_node, const Outcome& expected, now::JsonNode& new_node, const Outcome& got,
                bool whitespace) {
  FUZZ_CHECK(got == expected);
  // On an error both keep what they had stored before it.
  FUZZ_CHECK(same_node(old_node, new_node));
  old_node.Whitespace = whitespace;
  new_node.Whitespace = whitespace;
  const auto old_text = write16(old_node);
  const auto new_text = write16(new_node);
  FUZZ_CHECK(new_text == old_text);
  const auto new_bytes = write8(new_node);
  FUZZ_CHECK(new_bytes.second == old_text.second);
  if (!old_text.second.failed) FUZZ_CHECK(new_bytes.first == kn::utf16_to_utf8(old_text.first));
}

void check_units(const std::u16string& units, bool decimal, bool whitespace) {
  ref::JsonNode old_node;
  old_node.SetDecimalMode(decimal);
  const Outcome expected = parse16(old_node, units);
  now::JsonNode new_node;
  new_node.SetDecimalMode(decimal);
  const Outcome got = parse16(new_node, units);
  check_same(old_node, expected, new_node, got, whitespace);
}

void check_bytes(const std::string& bytes, bool decimal, bool whitespace) {
  const std::u16string units = kn::utf8_to_utf16(bytes);
  ref::JsonNode old_node;
  old_node.SetDecimalMode(decimal);
  const Outcome expected = parse16(old_node, units);
  now::JsonNode new_node;
  new_node.SetDecimalMode(decimal);
  const Outcome got = parse8(new_node, bytes);
  check_same(old_node, expected, new_node, got, whitespace);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mode = data[0];
  ++data;
  --size;
  const bool decimal = (mode & 2) != 0;
  const bool whitespace = (mode & 4) != 0;
  std::u16string units;
  std::string bytes;
  if (mode & 1) {
    units.resize(size / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    bytes = kn::utf16_to_utf8(units);
  } else {
    bytes.assign(reinterpret_cast<const char*>(data), size);
    units = kn::utf8_to_utf16(bytes);
  }
  check_units(units, decimal, whitespace);
  check_bytes(bytes, decimal, whitespace);
  return 0;
}
