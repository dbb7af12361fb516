#include "document.h"

#include <array>
#include <cstring>

#include "cipher.h"
#include "file_io.h"

namespace inivault {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view strip(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool looks_scrambled(std::string_view data) {
  // One test a byte against a table instead of four comparisons.
  static constexpr auto kControl = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[static_cast<std::size_t>(c)] = c != '\t' && c != '\n' && c != '\r';
    return t;
  }();
  for (const char c : data) {
    if (kControl[static_cast<unsigned char>(c)]) return true;
  }
  return false;
}

bool Document::read_file(const std::string& path) {
  path_ = path;
  auto data = read_whole_file(path);
  if (!data) return false;
  if (looks_scrambled(*data)) unscramble(*data, kFileKey);
  merge_text(*data);
  return true;
}

bool Document::write_file() const { return replace_file(path_, to_text()); }

void Document::merge_text(std::string_view text) {
  std::string_view current_section;
  // Looked up at the first pair under a header, not for every pair: a header alone
  // creates no section.
  bool looked_up = false;
  std::uint32_t current = 0;
  while (!text.empty()) {
    // Only CR LF ends a line; a lone CR or LF is part of it.
    const auto end = text.find("\r\n");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
    if (line.empty()) continue;

    // The header test looks at the raw line, so "[s] " is not a header.
    if (line.front() == '[' && line.back() == ']') {
      std::string_view name = line;
      while (!name.empty() && name.front() == '[') name.remove_prefix(1);
      while (!name.empty() && name.back() == ']') name.remove_suffix(1);
      current_section = name;
      looked_up = false;
      continue;
    }

    // Stored files rely on a line without "=" becoming the empty name with the
    // rest of the line after its first byte as the value.
    const auto eq = line.find('=');
    const std::string_view name = eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
    const std::string_view value = line.substr(eq == std::string_view::npos ? 1 : eq + 1);
    if (!looked_up) {
      current = section_for_writing(strip(current_section));
      looked_up = true;
    }
    set_in_section(current, strip(name), strip(value), true);
  }
}

std::string Document::to_text(std::string_view line_end) const {
  std::string out;
  for (const std::uint32_t id : section_order_) {
    if (id == kNone) continue;
    const SectionRecord& s = sections_[id];
    if (s.live_count() == 0) continue;
    out += '[';
    out += s.name;
    out += ']';
    out += line_end;
    for (const std::uint32_t p : s.order) {
      if (p == kNone) continue;
      out += pairs_[p].name.view();
      out += '=';
      out += pairs_[p].value.view();
      out += line_end;
    }
    out += line_end;
  }
  return out;
}

void Document::reset() {
  sections_.clear();
  free_sections_.clear();
  section_order_.clear();
  dead_sections_ = 0;
  section_table_.clear();
  pairs_.clear();
  free_pairs_.clear();
  pair_table_.clear();
  unswept_ = false;
}

std::string_view Document::Section::List::operator[](std::size_t j) const {
  const Pair& p = doc_->pairs_[ids_[j]];
  return values_ ? p.value.view() : p.name.view();
}

const std::string& Document::section_name(std::size_t i) const {
  sweep();
  return sections_[section_order_[i]].name;
}

Document::Section Document::section(std::size_t i) const {
  sweep();
  const SectionRecord& s = sections_[section_order_[i]];
  Section view;
  view.names.doc_ = view.values.doc_ = this;
  view.names.ids_ = view.values.ids_ = s.order.data();
  view.names.size_ = view.values.size_ = s.order.size();
  view.values.values_ = true;
  return view;
}

// Eight bytes a step.
std::uint64_t Document::hash(std::uint64_t start, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t h = start ^ (n * 0xD6E8FEB86659FD93ull);
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  std::uint64_t w = 0;
  for (std::size_t i = 0; i < n; ++i)
    w |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 29;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 32);
}

void Document::Table::place(Slot slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot.tag & mask;
  while (slots_[i].record != 0) i = (i + 1) & mask;
  slots_[i] = slot;
}

void Document::Table::insert(std::uint32_t tag, std::uint32_t record) {
  if ((count_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
      if (slot.record != 0) place(slot);
    }
  }
  place(Slot{tag, record + 1});
  ++count_;
}

void Document::Table::erase(std::ptrdiff_t at) {
  const std::size_t mask = slots_.size() - 1;
  auto hole = static_cast<std::size_t>(at);
  // Backward shift: later entries of the probe run move up, so no look-up stops early
  // at the freed slot.
  for (std::size_t i = (hole + 1) & mask; slots_[i].record != 0; i = (i + 1) & mask) {
    const std::size_t home = slots_[i].tag & mask;
    // Stays if its home lies cyclically in (hole, i].
    const bool stays = hole < i ? (home > hole && home <= i) : (home > hole || home <= i);
    if (stays) continue;
    slots_[hole] = slots_[i];
    hole = i;
  }
  slots_[hole] = Slot{};
  --count_;
}

std::optional<std::uint32_t> Document::find_section(std::string_view section) const {
  const std::uint64_t h = section_hash(section);
  const std::ptrdiff_t slot = section_table_.find(
      tag(h), [&](std::uint32_t s) { return sections_[s].hash == h && sections_[s].name == section; });
  if (slot < 0) return std::nullopt;
  return section_table_.record_at(slot);
}

std::ptrdiff_t Document::find_pair(std::string_view section, std::string_view name) const {
  // Both hashes come from the query alone, so the probe needs no section look-up first.
  const std::uint64_t sh = section_hash(section);
  return pair_table_.find(tag(hash(sh, name)), [&](std::uint32_t p) {
    const Pair& pair = pairs_[p];
    if (pair.name.view() != name) return false;
    const SectionRecord& s = sections_[pair.section];
    return s.hash == sh && s.name == section;
  });
}

std::int32_t Document::value_count(std::string_view section) const {
  const auto s = find_section(section);
  if (!s) return -1;
  return static_cast<std::int32_t>(sections_[*s].live_count());
}

std::optional<std::string_view> Document::find_value(std::string_view section, std::string_view name) const {
  const std::ptrdiff_t slot = find_pair(section, name);
  if (slot < 0) return std::nullopt;
  return pairs_[pair_table_.record_at(slot)].value.view();
}

std::string Document::get_value(std::string_view section, std::string_view name) const {
  return std::string(find_value(section, name).value_or(std::string_view()));
}

std::uint32_t Document::section_for_writing(std::string_view section) {
  if (const auto s = find_section(section)) return *s;
  SectionRecord record;
  record.name = std::string(section);
  record.hash = section_hash(section);
  record.position = static_cast<std::uint32_t>(section_order_.size());
  record.live = true;
  std::uint32_t id;
  if (free_sections_.empty()) {
    id = static_cast<std::uint32_t>(sections_.size());
    sections_.push_back(std::move(record));
  } else {
    id = free_sections_.back();
    free_sections_.pop_back();
    sections_[id] = std::move(record);
  }
  section_order_.push_back(id);
  section_table_.insert(tag(sections_[id].hash), id);
  return id;
}

bool Document::set_in_section(std::uint32_t s, std::string_view name, std::string_view value, bool create) {
  const std::uint32_t t = tag(hash(sections_[s].hash, name));
  const std::ptrdiff_t slot = pair_table_.find(
      t, [&](std::uint32_t p) { return pairs_[p].section == s && pairs_[p].name.view() == name; });
  if (slot >= 0) {
    pairs_[pair_table_.record_at(slot)].value.assign(value);
    return true;
  }
  if (!create) return false;
  // Made whole before the records may move: name and value may view into them.
  Pair pair;
  pair.section = s;
  pair.position = static_cast<std::uint32_t>(sections_[s].order.size());
  pair.name.assign(name);
  pair.value.assign(value);
  std::uint32_t id;
  if (free_pairs_.empty()) {
    id = static_cast<std::uint32_t>(pairs_.size());
    pairs_.push_back(std::move(pair));
  } else {
    id = free_pairs_.back();
    free_pairs_.pop_back();
    pairs_[id] = std::move(pair);
  }
  sections_[s].order.push_back(id);
  pair_table_.insert(t, id);
  return true;
}

bool Document::set_value(std::string_view section, std::string_view name, std::string_view value,
                         bool create) {
  if (create) return set_in_section(section_for_writing(section), name, value, true);
  const auto s = find_section(section);
  return s && set_in_section(*s, name, value, false);
}

void Document::free_pair(std::uint32_t p) {
  Pair& pair = pairs_[p];
  pair.section = kNone;
  pair.name.clear();
  pair.value.clear();
  free_pairs_.push_back(p);
}

bool Document::delete_value(std::string_view section, std::string_view name) {
  const std::ptrdiff_t slot = find_pair(section, name);
  if (slot < 0) return false;
  const std::uint32_t p = pair_table_.record_at(slot);
  pair_table_.erase(slot);
  SectionRecord& s = sections_[pairs_[p].section];
  s.order[pairs_[p].position] = kNone;
  ++s.dead;
  free_pair(p);
  if (s.dead > s.live_count()) {
    sweep_section(s);
  } else {
    unswept_ = true;
  }
  return true;
}

bool Document::delete_section(std::string_view section) {
  const auto found = find_section(section);
  if (!found) return false;
  const std::uint32_t id = *found;
  SectionRecord& s = sections_[id];
  for (const std::uint32_t p : s.order) {
    if (p == kNone) continue;
    const std::uint32_t t = tag(hash(s.hash, pairs_[p].name.view()));
    pair_table_.erase(pair_table_.find(t, [p](std::uint32_t q) { return q == p; }));
    free_pair(p);
  }
  section_table_.erase(section_table_.find(tag(s.hash), [id](std::uint32_t q) { return q == id; }));
  section_order_[s.position] = kNone;
  ++dead_sections_;
  s = SectionRecord();
  free_sections_.push_back(id);
  if (dead_sections_ > section_count()) {
    sweep_sections();
  } else {
    unswept_ = true;
  }
  return true;
}

void Document::sweep_section(SectionRecord& s) const {
  if (s.dead == 0) return;
  std::size_t kept = 0;
  for (const std::uint32_t p : s.order) {
    if (p == kNone) continue;
    pairs_[p].position = static_cast<std::uint32_t>(kept);
    s.order[kept++] = p;
  }
  s.order.resize(kept);
  s.dead = 0;
}

void Document::sweep_sections() const {
  if (dead_sections_ == 0) return;
  std::size_t kept = 0;
  for (const std::uint32_t id : section_order_) {
    if (id == kNone) continue;
    sections_[id].position = static_cast<std::uint32_t>(kept);
    section_order_[kept++] = id;
  }
  section_order_.resize(kept);
  dead_sections_ = 0;
}

void Document::sweep() const {
  if (!unswept_) return;
  unswept_ = false;
  sweep_sections();
  for (const std::uint32_t id : section_order_) sweep_section(sections_[id]);
}

}  // namespace inivault
