#include "json/json_node.h"

#include <cstring>
#include <utility>

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define KN_JSON_PREFETCH 1
#else
#define KN_JSON_PREFETCH 0
#endif

namespace kn::json {
namespace {

// Asks for the lines of a node about to be torn down: its own, and after them the start
// of its member list, made right behind it by the parser. One line after the other would
// wait for each in turn.
void Prefetch(const JsonNode* node) {
#if KN_JSON_PREFETCH
  const char* p = reinterpret_cast<const char*>(node);
  for (int line = 0; line < 4; ++line) _mm_prefetch(p + 64 * line, _MM_HINT_T0);
#else
  (void)node;
#endif
}

// Below this many entries a linear scan beats hashing.
constexpr std::size_t kIndexThreshold = 16;

[[noreturn]] void Raise(int number, std::u16string_view description) {
  throw JsonError(number, std::u16string(description));
}

}  // namespace

// The levels of a teardown above the node being emptied: each node with the place to
// go on from. A stack that starts in place, so a small tree makes no heap call for it.
class JsonNode::TeardownPath {
 public:
  struct Level {
    JsonNode* node;
    std::size_t next;
  };
  bool empty() const noexcept { return size_ == 0; }
  void push(Level level) {
    if (size_ < kInPlace) {
      in_place_[size_] = level;
    } else {
      more_.push_back(level);
    }
    ++size_;
  }
  Level pop() noexcept {
    --size_;
    if (size_ < kInPlace) return in_place_[size_];
    const Level level = more_.back();
    more_.pop_back();
    return level;
  }

 private:
  static constexpr std::size_t kInPlace = 16;
  Level in_place_[kInPlace];
  std::vector<Level> more_;  // beyond the first kInPlace
  std::size_t size_ = 0;
};

JsonNode::~JsonNode() {
  if (items_.empty() && members_.empty()) return;
  detail::FreeBatch batch;
  // Depth first and without recursion, so a deep chain of nodes cannot exhaust the stack,
  // last member first: the parser made each node right after its children, so the walk
  // reads memory backwards from what was written last, which a large tree still has in
  // the cache. A child held only here is emptied before its reference goes, so its own
  // destructor has nothing left to look through.
  TeardownPath path;
  JsonNode* node = this;
  std::size_t next = node->SlotCount();
  for (;;) {
    if (JsonNode* child = node->ReleaseFrom(next, batch)) {
      path.push({node, next});
      node = child;
      next = node->SlotCount();
      continue;
    }
    if (path.empty()) break;
    const TeardownPath::Level up = path.pop();
    node = up.node;
    next = up.next;
    node->SlotValue(next).Destroy();
  }
}

std::size_t JsonNode::SlotCount() const noexcept { return items_.size() + members_.size(); }

JsonValue& JsonNode::SlotValue(std::size_t slot) noexcept {
  return slot < items_.size() ? items_[slot] : members_[slot - items_.size()].value;
}

JsonNode* JsonNode::ReleaseFrom(std::size_t& next, detail::FreeBatch& batch) {
  auto drop_text = [&batch](JsonText& t) {
    if (t.OnPiece()) batch.Free(t.PieceUnits());
  };
  // A child held only here is handed back, its reference kept until it is empty.
  auto drop = [&](JsonValue& v) -> JsonNode* {
    if (v.kind_ == JsonKind::kText) {
      drop_text(*v.Ptr<JsonText>());
    } else if (v.kind_ == JsonKind::kNode) {
      auto& child = *v.Ptr<std::shared_ptr<JsonNode>>();
      if (child.use_count() == 1) {
        Prefetch(child.get());
        return child.get();
      }
      child.~shared_ptr();
    }
    return nullptr;
  };
  const std::size_t items = items_.size();
  while (next > items) {
    Member& m = members_[--next - items];
    drop_text(m.name);
    if (JsonNode* child = drop(m.value)) return child;
  }
  while (next > 0) {
    if (JsonNode* child = drop(items_[--next])) return child;
  }
  // Everything they owned is released; the lists themselves go now too, while the
  // batch is at hand.
  batch.Free(items_.Abandon());
  batch.Free(members_.Abandon());
  return nullptr;
}

std::int32_t JsonNode::Count() const {
  const std::size_t n = is_array_ ? items_.size() : members_.size() - dead_;
  return static_cast<std::int32_t>(n);
}

void JsonNode::SetIsArray(bool on) {
  if (Count() >= 1) Raise(5, u"Cannot change IsArray setting after items have been added");
  is_array_ = on;
  // Whichever way it is set, an empty node has usable (empty) lists for both kinds.
  items_.clear();
  members_.clear();
  index_.reset();
  dead_ = 0;
}

void JsonNode::Clear() {
  detail::FreeBatch batch;
  is_array_ = false;
  items_ = detail::PieceArray<JsonValue>();
  members_ = detail::PieceArray<Member>();
  index_.reset();
  dead_ = 0;
}

std::uint32_t JsonNode::HashName(std::u16string_view name) {
  // Four units a step.
  const char16_t* p = name.data();
  std::size_t n = name.size();
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  for (; n >= 4; p += 4, n -= 4) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  std::uint64_t w = 0;
  for (std::size_t i = 0; i < n; ++i) w |= static_cast<std::uint64_t>(p[i]) << (16 * i);
  h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 29;
  return static_cast<std::uint32_t>(h) ^ static_cast<std::uint32_t>(h >> 32);
}

std::ptrdiff_t JsonNode::FindMember(std::u16string_view name) const {
  if (!index_) {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      const Member& m = members_[i];
      if (m.name.Equals(name) && m.Live()) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  const std::uint32_t h = HashName(name);
  const std::vector<IndexSlot>& index = *index_;
  const std::size_t mask = index.size() - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask) {
    const IndexSlot entry = index[i];
    if (entry.slot == 0) return -1;
    if (entry.hash != h) continue;
    const Member& m = members_[entry.slot - 1];
    if (m.name.Equals(name) && m.Live()) return static_cast<std::ptrdiff_t>(entry.slot - 1);
  }
}

void JsonNode::IndexInsert(std::uint32_t hash, std::size_t slot) const {
  std::vector<IndexSlot>& index = *index_;
  const std::size_t mask = index.size() - 1;
  std::size_t i = hash & mask;
  while (index[i].slot != 0) i = (i + 1) & mask;
  index[i] = IndexSlot{hash, static_cast<std::uint32_t>(slot + 1)};
}

void JsonNode::RebuildIndex() const {
  if (members_.size() < kIndexThreshold) {
    index_.reset();
    return;
  }
  std::size_t size = 64;
  while (size < members_.size() * 2) size *= 2;
  if (!index_) index_ = std::make_unique<std::vector<IndexSlot>>();
  index_->assign(size, IndexSlot{0, 0});
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (members_[i].Live()) IndexInsert(HashName(members_[i].name), i);
  }
}

void JsonNode::Compact() const {
  if (dead_ == 0) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (!members_[i].Live()) continue;
    if (out != i) members_[out] = std::move(members_[i]);
    ++out;
  }
  members_.erase(members_.begin() + out, members_.end());
  dead_ = 0;
  RebuildIndex();
}

bool JsonNode::AdoptMembers(Member* first, Member* last) {
  const auto n = static_cast<std::size_t>(last - first);
  members_.reserve(members_.size() + n);
  if (n >= kIndexThreshold || !members_.empty()) {
    // PutMember keeps the name where it only rewrites the last member.
    for (Member* m = first; m != last; ++m) PutMember(std::move(m->name), std::move(m->value));
    return false;
  }
  std::uint64_t keys[kIndexThreshold];
  // Two bits of 256 a key, from two hashes: when no key finds both of its bits taken, no
  // name was read twice, as in nearly every object, and the pairwise look below is not
  // needed.
  std::uint64_t seen[2][4] = {};
  bool maybe_twice = false;
  for (std::size_t i = 0; i < n; ++i) {
    keys[i] = first[i].name.Key();
    const std::uint64_t bit_a = (keys[i] * 0x9E3779B97F4A7C15ull) >> 56;
    const std::uint64_t bit_b = (keys[i] * 0xC2B2AE3D27D4EB4Full) >> 56;
    const std::uint64_t mask_a = std::uint64_t{1} << (bit_a & 63);
    const std::uint64_t mask_b = std::uint64_t{1} << (bit_b & 63);
    maybe_twice |= (seen[0][bit_a >> 6] & mask_a) != 0 && (seen[1][bit_b >> 6] & mask_b) != 0;
    seen[0][bit_a >> 6] |= mask_a;
    seen[1][bit_b >> 6] |= mask_b;
  }
  if (!maybe_twice) {
    members_.take(first, last);
    return true;
  }
  for (std::size_t i = 0; i < n; ++i) {
    bool read_again = false;
    for (std::size_t k = i + 1; k < n && !read_again; ++k) {
      read_again = keys[k] == keys[i] && first[k].name == first[i].name;
    }
    if (!read_again) members_.emplace_back(std::move(first[i].name), std::move(first[i].value));
  }
  return false;
}

void JsonNode::PutMember(JsonText&& name, JsonValue&& value) {
  const std::ptrdiff_t found = FindMember(name);
  if (found >= 0) {
    const auto slot = static_cast<std::size_t>(found);
    if (slot + 1 == members_.size()) {
      // Already last: moving it to the end changes nothing else.
      members_[slot].value = std::move(value);
      return;
    }
    members_[slot].Kill();
    ++dead_;
  }
  members_.emplace_back(std::move(name), std::move(value));
  if (dead_ > kIndexThreshold && dead_ * 2 > members_.size()) {
    Compact();
  } else if (index_ && members_.size() * 2 <= index_->size()) {
    IndexInsert(HashName(members_.back().name), members_.size() - 1);
  } else if (members_.size() >= kIndexThreshold) {
    RebuildIndex();
  }
}

std::size_t JsonNode::ToSlot(std::int64_t position) const {
  if (position < 1 || position > Count()) Raise(9, kSubscriptOutOfRange);
  return static_cast<std::size_t>(position - 1);
}

const JsonValue& JsonNode::ItemRef(const JsonKey& key) const {
  if (key.IsNull()) Raise(94, u"Key must be String or an index)");
  if (key.IsName()) {
    if (is_array_) Raise(5, u"Array values can only be acessed by index");
    const std::ptrdiff_t found = FindMember(key.Name());
    if (found < 0) Raise(5, kInvalidArgument);
    return members_[static_cast<std::size_t>(found)].value;
  }
  const std::size_t slot = ToSlot(key.Position());
  if (is_array_) return items_[slot];
  Compact();
  return members_[slot].value;
}

void JsonNode::SetItem(const JsonKey& key, JsonValue value) {
  if (is_array_) {
    if (key.IsName()) Raise(5, u"Array values can only be changed by index or added via Null");
    if (key.IsNull() || key.Position() > Count()) {
      items_.emplace_back(std::move(value));
      return;
    }
    items_[ToSlot(key.Position())] = std::move(value);
    return;
  }
  if (!key.IsName()) Raise(5, u"Object values can only be changed or added by key not by index");
  PutMember(JsonText(key.Name()), std::move(value));
}

std::u16string JsonNode::Name(std::int64_t position) const {
  if (is_array_) Raise(5, u"Array items do not have names");
  const std::size_t slot = ToSlot(position);
  Compact();
  return std::u16string(members_[slot].name.View());
}

std::shared_ptr<JsonNode> JsonNode::AddNewArray(const JsonKey& key) {
  auto node = std::make_shared<JsonNode>();
  node->is_array_ = true;
  SetItem(key, node);
  return node;
}

std::shared_ptr<JsonNode> JsonNode::AddNewObject(const JsonKey& key) {
  auto node = std::make_shared<JsonNode>();
  SetItem(key, node);
  return node;
}

bool JsonNode::Exists(const JsonKey& key) const noexcept {
  if (is_array_) return false;
  if (key.IsName()) return FindMember(key.Name()) >= 0;
  if (key.IsPosition()) return key.Position() >= 1 && key.Position() <= Count();
  return false;
}

void JsonNode::Remove(const JsonKey& key) {
  if (key.IsName()) {
    if (is_array_) Raise(5, u"Must remove by index for arrays");
    const std::ptrdiff_t found = FindMember(key.Name());
    if (found < 0) return;
    members_[static_cast<std::size_t>(found)].Kill();
    ++dead_;
    if (dead_ > kIndexThreshold && dead_ * 2 > members_.size()) Compact();
    return;
  }
  if (key.IsNull()) Raise(94, kInvalidUseOfNull);
  if (key.Position() > Count()) return;
  const std::size_t slot = ToSlot(key.Position());
  if (is_array_) {
    items_.erase(items_.begin() + slot, items_.begin() + slot + 1);
    return;
  }
  Compact();
  members_.erase(members_.begin() + slot, members_.begin() + slot + 1);
  RebuildIndex();
}

std::vector<std::u16string> JsonNode::NewEnum() const {
  if (is_array_) Raise(5, u"Arrays must be iterated using index values");
  std::vector<std::u16string> names;
  names.reserve(members_.size() - dead_);
  for (const Member& m : members_) {
    if (m.Live()) names.emplace_back(m.name.View());
  }
  return names;
}

}  // namespace kn::json
