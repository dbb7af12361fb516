#pragma once
// The value of one member of a JsonNode: a tagged union over the kinds the node stores.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "json_ref/decimal.h"

namespace kn::json_ref {

class JsonNode;

// Fixed-point money: value * 10000.
struct Currency {
  std::int64_t scaled = 0;
  friend bool operator==(const Currency&, const Currency&) = default;
};

// A date as a day count; stored but never written as JSON.
struct Date {
  double serial = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

// Order matches JsonValue's storage; TypeCode() gives the variant type codes.
enum class JsonKind : std::uint8_t {
  kEmpty,
  kNull,
  kInt16,
  kInt32,
  kSingle,
  kDouble,
  kCurrency,
  kDate,
  kText,
  kNode,
  kBoolean,
  kDecimal,
  kByte,
};

class JsonValue {
 public:
  JsonValue() = default;  // empty
  JsonValue(std::nullptr_t) : v_(NullTag{}) {}
  JsonValue(bool b) : v_(b) {}
  JsonValue(std::int16_t i) : v_(i) {}
  JsonValue(std::int32_t i) : v_(i) {}
  JsonValue(std::uint8_t b) : v_(b) {}
  JsonValue(float f) : v_(f) {}
  JsonValue(double d) : v_(d) {}
  JsonValue(Currency c) : v_(c) {}
  JsonValue(Date d) : v_(d) {}
  JsonValue(const Decimal& d) : v_(d) {}
  JsonValue(std::u16string s) : v_(std::move(s)) {}
  JsonValue(std::u16string_view s) : v_(std::u16string(s)) {}
  JsonValue(const char16_t* s) {
    if (s) {
      v_ = std::u16string(s);
    } else {
      v_ = NullTag{};
    }
  }
  // A null pointer is stored as null, so every node value refers to a node.
  JsonValue(std::shared_ptr<JsonNode> node);
  // Narrow text would otherwise silently become a boolean.
  JsonValue(const char*) = delete;

  static JsonValue Null() { return JsonValue(nullptr); }

  JsonKind Kind() const { return static_cast<JsonKind>(v_.index()); }
  // 0 empty, 1 null, 2 int16, 3 int32, 4 single, 5 double, 6 currency, 7 date, 8 text,
  // 9 node, 11 boolean, 14 decimal, 17 byte.
  int TypeCode() const;

  bool IsEmptyOrNull() const { return Kind() == JsonKind::kEmpty || Kind() == JsonKind::kNull; }
  bool IsText() const { return Kind() == JsonKind::kText; }
  bool IsNode() const { return Kind() == JsonKind::kNode; }
  bool IsBoolean() const { return Kind() == JsonKind::kBoolean; }
  // Integers, single, double, currency, decimal and byte.
  bool IsNumber() const;

  // The typed accessors raise JsonError 13 (type mismatch) for another kind.
  const std::u16string& AsText() const;
  bool AsBoolean() const;
  const Decimal& AsDecimal() const;
  const std::shared_ptr<JsonNode>& AsNode() const;
  // Any number kind, converted.
  double AsDouble() const;

  template <typename T>
  const T* Get() const {
    return std::get_if<T>(&v_);
  }

  // Same kind and value; nodes compare by identity.
  friend bool operator==(const JsonValue& a, const JsonValue& b) { return a.v_ == b.v_; }

 private:
  friend class JsonNode;

  struct EmptyTag {
    friend bool operator==(EmptyTag, EmptyTag) { return true; }
  };
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };

  std::variant<EmptyTag, NullTag, std::int16_t, std::int32_t, float, double, Currency, Date, std::u16string,
               std::shared_ptr<JsonNode>, bool, Decimal, std::uint8_t>
      v_;
};

}  // namespace kn::json_ref
