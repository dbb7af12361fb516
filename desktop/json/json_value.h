#pragma once
// The value of one member of a JsonNode: a tagged union over the kinds the node stores.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "json/decimal.h"
#include "json/piece_alloc.h"

namespace kn::json {

class JsonNode;

namespace detail {
template <typename Unit>
class Parser;
}  // namespace detail

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

// Immutable UTF-16 text. Up to kInline units are held in the object itself, zero-padded
// behind their length, so two such texts are equal exactly when their bytes are; longer
// ones in one piece of the document's storage, the object keeping the piece's address and
// the length, so a parsed text costs no heap call of its own. Copies copy the units.
class alignas(8) JsonText {
 public:
  static constexpr std::size_t kInline = 7;

  JsonText() noexcept = default;
  explicit JsonText(std::u16string_view text);
  JsonText(const JsonText& other) : JsonText(other.View()) {}
  JsonText(JsonText&& other) noexcept {
    std::memcpy(static_cast<void*>(this), &other, sizeof *this);
    other.Reset();
  }
  JsonText& operator=(const JsonText& other) {
    if (this != &other) *this = JsonText(other);
    return *this;
  }
  JsonText& operator=(JsonText&& other) noexcept {
    if (this != &other) {
      Release();
      std::memcpy(static_cast<void*>(this), &other, sizeof *this);
      other.Reset();
    }
    return *this;
  }
  ~JsonText() {
    if (OnPiece()) detail::FreePiece(PieceUnits());
  }

  std::size_t size() const noexcept { return OnPiece() ? PieceSize() : tag_; }
  const char16_t* data() const noexcept { return OnPiece() ? PieceUnits() : units_; }
  std::u16string_view View() const noexcept { return {data(), size()}; }
  operator std::u16string_view() const noexcept { return View(); }

  bool Equals(std::u16string_view text) const noexcept {
    if (!OnPiece()) {
      return tag_ == text.size() && std::memcmp(units_, text.data(), text.size() * sizeof(char16_t)) == 0;
    }
    return View() == text;
  }
  // Equal texts have equal keys; unequal ones mostly not.
  std::uint64_t Key() const noexcept {
    if (OnPiece()) {
      const std::size_t n = size();
      if (n <= kInline) return JsonText(View()).Key();
      // The length and the first and last four units.
      std::uint64_t a;
      std::uint64_t b;
      std::memcpy(&a, data(), 8);
      std::memcpy(&b, data() + n - 4, 8);
      return (a ^ n) ^ (b * 0x9E3779B97F4A7C15ull);
    }
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, units_, 8);
    std::memcpy(&b, reinterpret_cast<const unsigned char*>(units_) + 8, 8);
    return a ^ (b * 0x9E3779B97F4A7C15ull);
  }
  friend bool operator==(const JsonText& a, const JsonText& b) noexcept {
    if (!a.OnPiece() && !b.OnPiece()) return std::memcmp(&a, &b, sizeof a) == 0;
    return a.View() == b.View();
  }

 private:
  template <typename Unit>
  friend class detail::Parser;
  friend class JsonNode;

  static constexpr std::uint16_t kOnPiece = 0xFFFF;
  // On a piece: its address in the first bytes, the length in the four from kSizeAt.
  static constexpr std::size_t kSizeAt = 8;

  bool OnPiece() const noexcept { return tag_ == kOnPiece; }
  char16_t* PieceUnits() const noexcept {
    char16_t* units;
    std::memcpy(&units, units_, sizeof units);
    return units;
  }
  std::uint32_t PieceSize() const noexcept {
    std::uint32_t n;
    std::memcpy(&n, reinterpret_cast<const unsigned char*>(units_) + kSizeAt, sizeof n);
    return n;
  }
  void Reset() noexcept {
    std::memset(static_cast<void*>(units_), 0, sizeof units_);
    tag_ = 0;
  }
  // Room for `capacity` units, length still unset; the parser fills it and then calls
  // Finish. Held in the object up to kInline units.
  static JsonText Uninitialized(std::size_t capacity) {
    JsonText text;
    if (capacity > kInline) text.Allocate(capacity);
    return text;
  }
  void Allocate(std::size_t capacity);
  char16_t* MutableData() noexcept { return OnPiece() ? PieceUnits() : units_; }
  // Sets the length, at most the capacity and above kInline when that was, and returns
  // unused room where it can.
  void Finish(std::size_t capacity, std::size_t size) noexcept;
  void Release() noexcept;

  char16_t units_[kInline] = {};
  std::uint16_t tag_ = 0;  // the length when held here, else kOnPiece
};
static_assert(sizeof(JsonText) == 16 && sizeof(char16_t*) <= 8);

// Order matches TypeCode(); the kinds of the variant type codes.
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
  JsonValue() noexcept = default;  // empty
  JsonValue(std::nullptr_t) noexcept : kind_(JsonKind::kNull) {}
  JsonValue(bool b) noexcept { Emplace<bool>(JsonKind::kBoolean, b); }
  JsonValue(std::int16_t i) noexcept { Emplace<std::int16_t>(JsonKind::kInt16, i); }
  JsonValue(std::int32_t i) noexcept { Emplace<std::int32_t>(JsonKind::kInt32, i); }
  JsonValue(std::uint8_t b) noexcept { Emplace<std::uint8_t>(JsonKind::kByte, b); }
  JsonValue(float f) noexcept { Emplace<float>(JsonKind::kSingle, f); }
  JsonValue(double d) noexcept { Emplace<double>(JsonKind::kDouble, d); }
  JsonValue(Currency c) noexcept { Emplace<Currency>(JsonKind::kCurrency, c); }
  JsonValue(Date d) noexcept { Emplace<Date>(JsonKind::kDate, d); }
  JsonValue(const Decimal& d) noexcept { Emplace<Decimal>(JsonKind::kDecimal, d); }
  JsonValue(JsonText s) noexcept { Emplace<JsonText>(JsonKind::kText, std::move(s)); }
  JsonValue(std::u16string_view s) : JsonValue(JsonText(s)) {}
  JsonValue(const std::u16string& s) : JsonValue(JsonText(s)) {}
  JsonValue(const char16_t* s) {
    if (s) {
      Emplace<JsonText>(JsonKind::kText, JsonText(s));
    } else {
      kind_ = JsonKind::kNull;
    }
  }
  // A null pointer is stored as null, so every node value refers to a node.
  JsonValue(std::shared_ptr<JsonNode> node) noexcept {
    if (node) {
      Emplace<std::shared_ptr<JsonNode>>(JsonKind::kNode, std::move(node));
    } else {
      kind_ = JsonKind::kNull;
    }
  }
  // Narrow text would otherwise silently become a boolean.
  JsonValue(const char*) = delete;

  JsonValue(const JsonValue& other) { CopyFrom(other); }
  JsonValue(JsonValue&& other) noexcept { MoveFrom(other); }
  JsonValue& operator=(const JsonValue& other) {
    if (this != &other) {
      JsonValue copy(other);
      Destroy();
      MoveFrom(copy);
    }
    return *this;
  }
  JsonValue& operator=(JsonValue&& other) noexcept {
    if (this != &other) {
      // The old contents may own `other` (a node holding it): release them last.
      JsonValue old(std::move(*this));
      MoveFrom(other);
    }
    return *this;
  }
  ~JsonValue() { Destroy(); }

  static JsonValue Null() { return JsonValue(nullptr); }

  JsonKind Kind() const noexcept { return kind_; }
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
  std::u16string AsText() const { return std::u16string(TextView()); }
  // The text without a copy, valid as long as this value is.
  std::u16string_view TextView() const;
  bool AsBoolean() const;
  const Decimal& AsDecimal() const;
  const std::shared_ptr<JsonNode>& AsNode() const;
  // Any number kind, converted.
  double AsDouble() const;

  // The stored object when it is of type T, else nullptr.
  template <typename T>
  const T* Get() const noexcept {
    return kind_ == KindOf<T>() ? Ptr<T>() : nullptr;
  }

  // Same kind and value; nodes compare by identity.
  friend bool operator==(const JsonValue& a, const JsonValue& b);

 private:
  friend class JsonNode;
  template <typename Unit>
  friend class detail::Parser;

  template <typename T>
  static constexpr JsonKind KindOf() {
    if constexpr (std::is_same_v<T, std::int16_t>)
      return JsonKind::kInt16;
    else if constexpr (std::is_same_v<T, std::int32_t>)
      return JsonKind::kInt32;
    else if constexpr (std::is_same_v<T, float>)
      return JsonKind::kSingle;
    else if constexpr (std::is_same_v<T, double>)
      return JsonKind::kDouble;
    else if constexpr (std::is_same_v<T, Currency>)
      return JsonKind::kCurrency;
    else if constexpr (std::is_same_v<T, Date>)
      return JsonKind::kDate;
    else if constexpr (std::is_same_v<T, JsonText>)
      return JsonKind::kText;
    else if constexpr (std::is_same_v<T, std::shared_ptr<JsonNode>>)
      return JsonKind::kNode;
    else if constexpr (std::is_same_v<T, bool>)
      return JsonKind::kBoolean;
    else if constexpr (std::is_same_v<T, Decimal>)
      return JsonKind::kDecimal;
    else if constexpr (std::is_same_v<T, std::uint8_t>)
      return JsonKind::kByte;
    else
      static_assert(sizeof(T) == 0, "not a kind JsonValue stores");
  }

  template <typename T, typename... Args>
  void Emplace(JsonKind kind, Args&&... args) {
    static_assert(sizeof(T) <= sizeof(storage_) && alignof(T) <= alignof(Storage));
    ::new (static_cast<void*>(&storage_)) T(std::forward<Args>(args)...);
    kind_ = kind;
  }
  template <typename T>
  const T* Ptr() const noexcept {
    return std::launder(reinterpret_cast<const T*>(&storage_));
  }
  template <typename T>
  T* Ptr() noexcept {
    return std::launder(reinterpret_cast<T*>(&storage_));
  }

  // A removed object member not yet swept out (JsonNode only); never handed out.
  static constexpr JsonKind kGone = static_cast<JsonKind>(0xFF);

  void Destroy() noexcept {
    if (kind_ == JsonKind::kText) {
      Ptr<JsonText>()->~JsonText();
    } else if (kind_ == JsonKind::kNode) {
      Ptr<std::shared_ptr<JsonNode>>()->~shared_ptr();
    }
    kind_ = JsonKind::kEmpty;
  }
  // The plain kinds' bytes: a Decimal needs all 16, the others the first 8. Copied no
  // wider than that, since a value is often moved right after it was stored, and a
  // load wider than the stores before it waits for them.
  void CopyPlain(const JsonValue& other) noexcept {
    std::memcpy(static_cast<void*>(&storage_), &other.storage_, 8);
    if (other.kind_ == JsonKind::kDecimal)
      std::memcpy(static_cast<void*>(storage_.bytes + 8), other.storage_.bytes + 8, 8);
    kind_ = other.kind_;
  }
  // `this` holds nothing; `other` is left empty.
  void MoveFrom(JsonValue& other) noexcept {
    if (other.kind_ == JsonKind::kText) {
      Emplace<JsonText>(JsonKind::kText, std::move(*other.Ptr<JsonText>()));
    } else if (other.kind_ == JsonKind::kNode) {
      Emplace<std::shared_ptr<JsonNode>>(JsonKind::kNode, std::move(*other.Ptr<std::shared_ptr<JsonNode>>()));
    } else {
      CopyPlain(other);
      return;
    }
    other.Destroy();
  }
  void CopyFrom(const JsonValue& other) {
    if (other.kind_ == JsonKind::kText) {
      Emplace<JsonText>(JsonKind::kText, *other.Ptr<JsonText>());
    } else if (other.kind_ == JsonKind::kNode) {
      Emplace<std::shared_ptr<JsonNode>>(JsonKind::kNode, *other.Ptr<std::shared_ptr<JsonNode>>());
    } else {
      CopyPlain(other);
    }
  }

  // Large enough for a shared_ptr and a Decimal, the largest kinds.
  struct alignas(8) Storage {
    unsigned char bytes[16];
  };
  Storage storage_{};
  JsonKind kind_ = JsonKind::kEmpty;
};

}  // namespace kn::json
