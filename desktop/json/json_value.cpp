#include "json/json_value.h"

#include <limits>
#include <stdexcept>

#include "json/json_error.h"
#include "json/piece_alloc.h"
#include "json/sse2.h"

namespace kn::json {

void JsonText::Allocate(std::size_t capacity) {
  if (capacity > std::numeric_limits<std::size_t>::max() / sizeof(char16_t) - detail::kPieceAlign)
    throw std::bad_array_new_length();
  // The length must fit its four bytes.
  if (capacity > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("JsonText");
  auto* units = static_cast<char16_t*>(detail::AllocatePiece(capacity * sizeof(char16_t)));
#if KN_SSE2 && (defined(_M_X64) || defined(__x86_64__))
  // In one store: the text is moved soon, and a load wider than the stores before it
  // would wait for them. The length is 0 until Finish.
  const auto pointer = static_cast<long long>(reinterpret_cast<std::uintptr_t>(units));
  const long long tag = static_cast<long long>(std::uint64_t{kOnPiece} << 48);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(this), _mm_set_epi64x(tag, pointer));
#else
  std::memset(units_, 0, sizeof units_);
  std::memcpy(units_, &units, sizeof units);
  tag_ = kOnPiece;
#endif
}

void JsonText::Finish(std::size_t capacity, std::size_t size) noexcept {
  if (!OnPiece()) {
    tag_ = static_cast<std::uint16_t>(size);
    return;
  }
  const auto n = static_cast<std::uint32_t>(size);
  std::memcpy(reinterpret_cast<unsigned char*>(units_) + kSizeAt, &n, sizeof n);
  if (size < capacity) {
    detail::ShrinkPiece(PieceUnits(), capacity * sizeof(char16_t), size * sizeof(char16_t));
  }
}

JsonText::JsonText(std::u16string_view text) {
  JsonText t = Uninitialized(text.size());
  if (!text.empty()) std::memcpy(t.MutableData(), text.data(), text.size() * sizeof(char16_t));
  t.Finish(text.size(), text.size());
  std::memcpy(static_cast<void*>(this), &t, sizeof *this);
  t.Reset();
}

void JsonText::Release() noexcept {
  if (OnPiece()) detail::FreePiece(PieceUnits());
  Reset();
}

int JsonValue::TypeCode() const {
  static constexpr int kCodes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 14, 17};
  return kCodes[static_cast<int>(kind_)];
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

std::u16string_view JsonValue::TextView() const {
  if (const auto* s = Get<JsonText>()) return s->View();
  ThrowTypeMismatch();
}

bool JsonValue::AsBoolean() const {
  if (const auto* b = Get<bool>()) return *b;
  ThrowTypeMismatch();
}

const Decimal& JsonValue::AsDecimal() const {
  if (const auto* d = Get<Decimal>()) return *d;
  ThrowTypeMismatch();
}

const std::shared_ptr<JsonNode>& JsonValue::AsNode() const {
  if (const auto* n = Get<std::shared_ptr<JsonNode>>()) return *n;
  ThrowTypeMismatch();
}

double JsonValue::AsDouble() const {
  switch (Kind()) {
    case JsonKind::kInt16:
      return *Get<std::int16_t>();
    case JsonKind::kInt32:
      return *Get<std::int32_t>();
    case JsonKind::kSingle:
      return *Get<float>();
    case JsonKind::kDouble:
      return *Get<double>();
    case JsonKind::kCurrency:
      return static_cast<double>(Get<Currency>()->scaled) / 10000.0;
    case JsonKind::kDecimal:
      return Get<Decimal>()->ToDouble();
    case JsonKind::kByte:
      return *Get<std::uint8_t>();
    default:
      ThrowTypeMismatch();
  }
}

bool operator==(const JsonValue& a, const JsonValue& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case JsonKind::kEmpty:
    case JsonKind::kNull:
      return true;
    case JsonKind::kInt16:
      return *a.Get<std::int16_t>() == *b.Get<std::int16_t>();
    case JsonKind::kInt32:
      return *a.Get<std::int32_t>() == *b.Get<std::int32_t>();
    case JsonKind::kSingle:
      return *a.Get<float>() == *b.Get<float>();
    case JsonKind::kDouble:
      return *a.Get<double>() == *b.Get<double>();
    case JsonKind::kCurrency:
      return *a.Get<Currency>() == *b.Get<Currency>();
    case JsonKind::kDate:
      return *a.Get<Date>() == *b.Get<Date>();
    case JsonKind::kText:
      return *a.Get<JsonText>() == *b.Get<JsonText>();
    case JsonKind::kNode:
      return *a.Get<std::shared_ptr<JsonNode>>() == *b.Get<std::shared_ptr<JsonNode>>();
    case JsonKind::kBoolean:
      return *a.Get<bool>() == *b.Get<bool>();
    case JsonKind::kDecimal:
      return *a.Get<Decimal>() == *b.Get<Decimal>();
    case JsonKind::kByte:
      return *a.Get<std::uint8_t>() == *b.Get<std::uint8_t>();
  }
  return false;
}

}  // namespace kn::json
