#include "json_ref/json_node.h"

#include <utility>

namespace kn::json_ref {
namespace {

// Below this many entries a linear scan beats hashing.
constexpr std::size_t kIndexThreshold = 16;

[[noreturn]] void Raise(int number, std::u16string_view description) {
  throw JsonError(number, std::u16string(description));
}

}  // namespace

JsonNode::~JsonNode() {
  // Tear the tree down iteratively: a deep chain of nodes would otherwise recurse once
  // per level in the destructors.
  std::vector<std::shared_ptr<JsonNode>> pending;
  auto take_children = [&pending](JsonNode& node) {
    // Children already taken leave empty pointers behind; collecting those again would
    // cost each node's destructor an allocation for nothing.
    auto take = [&pending](JsonValue& v) {
      auto* child = std::get_if<std::shared_ptr<JsonNode>>(&v.v_);
      if (child && *child) pending.push_back(std::move(*child));
    };
    for (auto& v : node.items_) take(v);
    for (auto& m : node.members_) take(m.value);
  };
  take_children(*this);
  while (!pending.empty()) {
    std::shared_ptr<JsonNode> node = std::move(pending.back());
    pending.pop_back();
    if (node && node.use_count() == 1) {
      take_children(*node);
      // Emptied here, so its own destructor has nothing left to look through.
      node->items_.clear();
      node->members_.clear();
    }
  }
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
  index_.clear();
  dead_ = 0;
}

void JsonNode::Clear() {
  is_array_ = false;
  items_.clear();
  members_.clear();
  index_.clear();
  dead_ = 0;
}

std::uint32_t JsonNode::HashName(std::u16string_view name) {
  std::uint32_t h = kHashStart;
  for (char16_t c : name) h = HashStep(h, c);
  return h;
}

std::ptrdiff_t JsonNode::FindMember(std::u16string_view name, std::uint32_t hash) const {
  if (index_.empty()) {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      const Member& m = members_[i];
      if (m.live && m.hash == hash && m.name == name) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  const std::size_t mask = index_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint32_t entry = index_[i];
    if (entry == 0) return -1;
    const Member& m = members_[entry - 1];
    if (m.live && m.hash == hash && m.name == name) return static_cast<std::ptrdiff_t>(entry - 1);
  }
}

void JsonNode::IndexInsert(std::size_t slot) const {
  const std::size_t mask = index_.size() - 1;
  std::size_t i = members_[slot].hash & mask;
  while (index_[i] != 0) i = (i + 1) & mask;
  index_[i] = static_cast<std::uint32_t>(slot + 1);
}

void JsonNode::RebuildIndex() const {
  index_.clear();
  if (members_.size() < kIndexThreshold) return;
  std::size_t size = 64;
  while (size < members_.size() * 2) size *= 2;
  index_.assign(size, 0);
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (members_[i].live) IndexInsert(i);
  }
}

void JsonNode::Compact() const {
  if (dead_ == 0) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (!members_[i].live) continue;
    if (out != i) members_[out] = std::move(members_[i]);
    ++out;
  }
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(out), members_.end());
  dead_ = 0;
  RebuildIndex();
}

void JsonNode::PutMember(NameText&& name, JsonValue&& value) {
  const std::uint32_t hash = HashName(name);
  PutMember(std::move(name), std::move(value), hash);
}

void JsonNode::PutMember(NameText&& name, JsonValue&& value, std::uint32_t hash) {
  const std::ptrdiff_t found = FindMember(name, hash);
  if (found >= 0) {
    const auto slot = static_cast<std::size_t>(found);
    if (slot + 1 == members_.size()) {
      // Already last: moving it to the end changes nothing else.
      members_[slot].value = std::move(value);
      return;
    }
    members_[slot].live = false;
    members_[slot].value = JsonValue();
    ++dead_;
  }
  members_.emplace_back(std::move(name), std::move(value), hash);
  if (dead_ > kIndexThreshold && dead_ * 2 > members_.size()) {
    Compact();
  } else if (!index_.empty() && members_.size() * 2 <= index_.size()) {
    IndexInsert(members_.size() - 1);
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
    const std::ptrdiff_t found = FindMember(key.Name(), HashName(key.Name()));
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
      items_.push_back(std::move(value));
      return;
    }
    items_[ToSlot(key.Position())] = std::move(value);
    return;
  }
  if (!key.IsName()) Raise(5, u"Object values can only be changed or added by key not by index");
  PutMember(NameText(key.Name()), std::move(value));
}

std::u16string JsonNode::Name(std::int64_t position) const {
  if (is_array_) Raise(5, u"Array items do not have names");
  const std::size_t slot = ToSlot(position);
  Compact();
  const NameText& name = members_[slot].name;
  return std::u16string(name.data(), name.size());
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
  if (key.IsName()) return FindMember(key.Name(), HashName(key.Name())) >= 0;
  if (key.IsPosition()) return key.Position() >= 1 && key.Position() <= Count();
  return false;
}

void JsonNode::Remove(const JsonKey& key) {
  if (key.IsName()) {
    if (is_array_) Raise(5, u"Must remove by index for arrays");
    const std::ptrdiff_t found = FindMember(key.Name(), HashName(key.Name()));
    if (found < 0) return;
    Member& m = members_[static_cast<std::size_t>(found)];
    m.live = false;
    m.value = JsonValue();
    ++dead_;
    if (dead_ > kIndexThreshold && dead_ * 2 > members_.size()) Compact();
    return;
  }
  if (key.IsNull()) Raise(94, kInvalidUseOfNull);
  if (key.Position() > Count()) return;
  const std::size_t slot = ToSlot(key.Position());
  if (is_array_) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(slot));
    return;
  }
  Compact();
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(slot));
  RebuildIndex();
}

std::vector<std::u16string> JsonNode::NewEnum() const {
  if (is_array_) Raise(5, u"Arrays must be iterated using index values");
  std::vector<std::u16string> names;
  names.reserve(members_.size() - dead_);
  for (const Member& m : members_) {
    if (m.live) names.emplace_back(m.name.data(), m.name.size());
  }
  return names;
}

}  // namespace kn::json_ref
