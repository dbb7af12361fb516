#pragma once
// JsonNode: one node of a JSON document, an object (members by case-sensitive name, in
// insertion order) or an array (members by 1-based position). Nested nodes are held by
// shared reference. Text is UTF-16; parse positions count UTF-16 code units, also when
// the document arrives as UTF-8.
#include <concepts>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "json/decimal.h"
#include "json/json_error.h"
#include "json/json_value.h"
#include "json/piece_alloc.h"

namespace kn::json {

namespace detail {
template <typename Unit>
class Parser;
template <typename Unit>
class Writer;
}  // namespace detail

// A member key: null, a name, or a 1-based position. Meant as a call argument: a name key
// refers to the caller's text, it does not copy it.
class JsonKey {
 public:
  JsonKey(std::nullptr_t) {}
  JsonKey(const char16_t* name) : kind_(name ? Kind::kName : Kind::kNull), name_(name ? name : u"") {}
  JsonKey(std::u16string_view name) : kind_(Kind::kName), name_(name) {}
  JsonKey(const std::u16string& name) : kind_(Kind::kName), name_(name) {}
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char16_t> &&
           !std::same_as<T, char32_t> && !std::same_as<T, wchar_t>) JsonKey(T position)
      : kind_(Kind::kPosition), position_(ClampPosition(position)) {}

  bool IsNull() const { return kind_ == Kind::kNull; }
  bool IsName() const { return kind_ == Kind::kName; }
  bool IsPosition() const { return kind_ == Kind::kPosition; }
  std::u16string_view Name() const { return name_; }
  std::int64_t Position() const { return position_; }

 private:
  enum class Kind { kNull, kName, kPosition };

  template <typename T>
  static std::int64_t ClampPosition(T v) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
      if (v > static_cast<T>(std::numeric_limits<std::int64_t>::max())) {
        return std::numeric_limits<std::int64_t>::max();
      }
    }
    return static_cast<std::int64_t>(v);
  }

  Kind kind_ = Kind::kNull;
  std::u16string_view name_;
  std::int64_t position_ = 0;
};

class JsonNode {
 public:
  // True to break lines and indent (four spaces a level) when serializing. Only the
  // node being serialized is consulted, not the nested ones.
  bool Whitespace = false;

  // Deepest nesting that parsing and serializing accept (error 28 beyond it), so hostile
  // input or a node stored inside itself cannot exhaust the stack.
  static constexpr int kMaxDepth = 256;

  JsonNode() = default;
  ~JsonNode();
  JsonNode(const JsonNode&) = delete;
  JsonNode& operator=(const JsonNode&) = delete;

  std::int32_t Count() const;

  // True: numbers parsed afterwards become Decimal instead of double.
  bool DecimalMode() const { return decimal_mode_; }
  void SetDecimalMode(bool on) { decimal_mode_ = on; }

  bool IsArray() const { return is_array_; }
  // Error 5 once the node has members.
  void SetIsArray(bool on);

  // Name on an object, 1-based position on either kind. A nested node comes back as
  // the same shared node; other values as copies.
  JsonValue Item(const JsonKey& key) const { return ItemRef(key); }
  // Item without the copy.
  const JsonValue& ItemRef(const JsonKey& key) const;
  // Object: by name only; an existing name moves to the end. Array: null or a position
  // past the end appends, 1..Count replaces in place.
  void SetItem(const JsonKey& key, JsonValue value);

  // Serializes this node and everything below it.
  std::u16string JSON() const;
  // The same text in UTF-8.
  std::string JSONUtf8() const;
  // Clears the node and parses the text into it. On an error the members stored so far stay.
  void SetJSON(std::u16string_view text);
  // The same for UTF-8 bytes, read as if converted to UTF-16 first (a malformed byte
  // stands for one U+FFFD): the same values, errors and positions.
  void SetJSONUtf8(std::string_view text);

  // Name of the member at a 1-based position (objects only).
  std::u16string Name(std::int64_t position) const;

  static std::vector<std::u16string> Version() { return {u"1.6"}; }

  // New empty nested node (DecimalMode and Whitespace off), stored with SetItem(key, node).
  std::shared_ptr<JsonNode> AddNewArray(const JsonKey& key = nullptr);
  std::shared_ptr<JsonNode> AddNewObject(const JsonKey& key = nullptr);

  // Empties the node and makes it an object; DecimalMode and Whitespace stay.
  void Clear();
  // Never raises: a member of that name or position exists (objects only).
  bool Exists(const JsonKey& key) const noexcept;
  // A missing name or a position past the end is ignored.
  void Remove(const JsonKey& key);

  // The member names in order (objects only).
  std::vector<std::u16string> NewEnum() const;

 private:
  template <typename Unit>
  friend class detail::Parser;
  template <typename Unit>
  friend class detail::Writer;

  struct Member {
    Member(JsonText&& n, JsonValue&& v) noexcept : name(std::move(n)), value(std::move(v)) {}
    bool Live() const noexcept { return value.kind_ != JsonValue::kGone; }
    void Kill() noexcept {
      value = JsonValue();
      value.kind_ = JsonValue::kGone;
    }
    JsonText name;
    JsonValue value;
  };
  // Index entries: the name's hash and the member's position + 1 (0 = free).
  struct IndexSlot {
    std::uint32_t hash;
    std::uint32_t slot;
  };

  class TeardownPath;
  // Releases what the members own in the slots before `next` (items, then members), last
  // first, until a child held nowhere else comes up: returned, still referenced, `next`
  // its slot. Null once all is released, the lists included.
  JsonNode* ReleaseFrom(std::size_t& next, detail::FreeBatch& batch);
  std::size_t SlotCount() const noexcept;
  JsonValue& SlotValue(std::size_t slot) noexcept;
  static std::uint32_t HashName(std::u16string_view name);
  std::ptrdiff_t FindMember(std::u16string_view name) const;
  void PutMember(JsonText&& name, JsonValue&& value);
  // Takes members in the order they were read, into an empty object: a name read twice
  // keeps its later value at its later place, as PutMember one by one would leave it.
  // True when their bytes were taken whole: the originals are bare storage then, to be
  // forgotten; otherwise they are moved from or left, to be destroyed.
  bool AdoptMembers(Member* first, Member* last);
  void Compact() const;
  void RebuildIndex() const;
  void IndexInsert(std::uint32_t hash, std::size_t slot) const;
  std::size_t ToSlot(std::int64_t position) const;

  bool is_array_ = false;
  bool decimal_mode_ = false;
  // Object members marked dead but not yet swept out: a rewritten or removed member
  // leaves one behind, so rewriting names in large objects stays linear.
  mutable std::uint32_t dead_ = 0;
  detail::PieceArray<JsonValue> items_;         // array members
  mutable detail::PieceArray<Member> members_;  // object members in order
  // Open addressing over members_, at most half full, kept for large objects only.
  mutable std::unique_ptr<std::vector<IndexSlot>> index_;
};

// The JSON text of a single value as the serializer writes it (text quoted and escaped,
// nodes in full). Raises error 51 for kinds that have no JSON form.
std::u16string ToJson(const JsonValue& value, bool whitespace = false);

}  // namespace kn::json
