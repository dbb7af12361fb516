#include "json_ref/json_value.h"

#include "json_ref/json_error.h"

namespace kn::json_ref {

JsonValue::JsonValue(std::shared_ptr<JsonNode> node) {
  if (node) {
    v_ = std::move(node);
  } else {
    v_ = NullTag{};
  }
}

int JsonValue::TypeCode() const {
  static constexpr int kCodes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 14, 17};
  return kCodes[v_.index()];
}

bool JsonValue::IsNumber() const {
  switch (Kind()) {
    case JsonKind::kInt16:
    case JsonKind::kInt32:
    case JsonKind::kSingle:
    case JsonKind::kDouble:
    case JsonKind::kCurrency:
    case JsonKind::kDecimal:
    case JsonKind::kByte:
      return true;
    default:
      return false;
  }
}

namespace {
[[noreturn]] void ThrowTypeMismatch() { throw JsonError(13, std::u16string(kTypeMismatch)); }
}  // namespace

const std::u16string& JsonValue::AsText() const {
  if (const auto* s = std::get_if<std::u16string>(&v_)) return *s;
  ThrowTypeMismatch();
}

bool JsonValue::AsBoolean() const {
  if (const auto* b = std::get_if<bool>(&v_)) return *b;
  ThrowTypeMismatch();
}

const Decimal& JsonValue::AsDecimal() const {
  if (const auto* d = std::get_if<Decimal>(&v_)) return *d;
  ThrowTypeMismatch();
}

const std::shared_ptr<JsonNode>& JsonValue::AsNode() const {
  if (const auto* n = std::get_if<std::shared_ptr<JsonNode>>(&v_)) return *n;
  ThrowTypeMismatch();
}

double JsonValue::AsDouble() const {
  switch (Kind()) {
    case JsonKind::kInt16:
      return std::get<std::int16_t>(v_);
    case JsonKind::kInt32:
      return std::get<std::int32_t>(v_);
    case JsonKind::kSingle:
      return std::get<float>(v_);
    case JsonKind::kDouble:
      return std::get<double>(v_);
    case JsonKind::kCurrency:
      return static_cast<double>(std::get<Currency>(v_).scaled) / 10000.0;
    case JsonKind::kDecimal:
      return std::get<Decimal>(v_).ToDouble();
    case JsonKind::kByte:
      return std::get<std::uint8_t>(v_);
    default:
      ThrowTypeMismatch();
  }
}

}  // namespace kn::json_ref
