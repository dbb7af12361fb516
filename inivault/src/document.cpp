#include "document.h"

#include <array>
#include <functional>

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
  constexpr std::size_t kNotYet = static_cast<std::size_t>(-1);
  std::size_t current = kNotYet;
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
      current = kNotYet;
      continue;
    }

    // Stored files rely on a line without "=" becoming the empty name with the
    // rest of the line after its first byte as the value.
    const auto eq = line.find('=');
    const std::string_view name = eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
    const std::string_view value = line.substr(eq == std::string_view::npos ? 1 : eq + 1);
    if (current == kNotYet) current = section_for_writing(strip(current_section));
    set_in_section(current, strip(name), strip(value), true);
  }
}

std::string Document::to_text(std::string_view line_end) const {
  std::string out;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const IndexedSection& indexed = sections_[i];
    if (is_dead_section(i) || indexed.live_count() == 0) continue;
    const Section& section = indexed.data;
    out += '[';
    out += section_names_[i];
    out += ']';
    out += line_end;
    for (std::size_t j = 0; j < section.names.size(); ++j) {
      if (indexed.is_dead(j)) continue;
      out += section.names[j];
      out += '=';
      out += section.values[j];
      out += line_end;
    }
    out += line_end;
  }
  return out;
}

void Document::reset() {
  section_names_.clear();
  sections_.clear();
  section_index_ = Index();
  section_dead_.clear();
  dead_sections_ = 0;
  unswept_ = false;
}

std::uint64_t Document::Index::hash(std::string_view name) { return std::hash<std::string_view>{}(name); }

std::optional<std::size_t> Document::Index::find(std::string_view name,
                                                 const std::vector<std::string>& names) const {
  if (slots_.empty()) return std::nullopt;
  const std::uint64_t h = hash(name);
  const auto tag = static_cast<std::uint32_t>(h);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.pos == 0) return std::nullopt;
    if (slot.hash == tag && names[slot.pos - 1] == name) return slot.pos - 1;
  }
}

void Document::Index::insert(Slot slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot.hash & mask;
  while (slots_[i].pos != 0) i = (i + 1) & mask;
  slots_[i] = slot;
}

void Document::Index::add(std::string_view name, std::size_t pos) {
  if ((count_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
      if (slot.pos != 0) insert(slot);
    }
  }
  insert(Slot{static_cast<std::uint32_t>(hash(name)), static_cast<std::uint32_t>(pos + 1)});
  ++count_;
}

void Document::Index::remove(std::string_view name, std::size_t pos) {
  if (slots_.empty()) return;
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = static_cast<std::uint32_t>(hash(name)) & mask;
  while (slots_[hole].pos != pos + 1) {
    if (slots_[hole].pos == 0) return;
    hole = (hole + 1) & mask;
  }
  // Backward shift: later entries of the probe run move up, so no lookup stops early
  // at the freed slot.
  for (std::size_t i = (hole + 1) & mask; slots_[i].pos != 0; i = (i + 1) & mask) {
    const std::size_t home = slots_[i].hash & mask;
    // Stays if its home lies cyclically in (hole, i].
    const bool stays = hole < i ? (home > hole && home <= i) : (home > hole || home <= i);
    if (stays) continue;
    slots_[hole] = slots_[i];
    hole = i;
  }
  slots_[hole] = Slot{};
  --count_;
}

void Document::Index::rebuild(const std::vector<std::string>& names, const std::vector<bool>& dead) {
  slots_.clear();
  count_ = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i >= dead.size() || !dead[i]) add(names[i], i);
  }
}

std::int32_t Document::value_count(std::string_view section) const {
  const auto s = section_index_.find(section, section_names_);
  if (!s) return -1;
  return static_cast<std::int32_t>(sections_[*s].live_count());
}

std::optional<std::string_view> Document::find_value(std::string_view section, std::string_view name) const {
  const auto s = section_index_.find(section, section_names_);
  if (!s) return std::nullopt;
  const IndexedSection& sec = sections_[*s];
  const auto v = sec.index.find(name, sec.data.names);
  if (!v) return std::nullopt;
  return std::string_view(sec.data.values[*v]);
}

std::string Document::get_value(std::string_view section, std::string_view name) const {
  return std::string(find_value(section, name).value_or(std::string_view()));
}

std::size_t Document::section_for_writing(std::string_view section) {
  if (const auto s = section_index_.find(section, section_names_)) return *s;
  section_names_.emplace_back(section);
  sections_.emplace_back();
  section_index_.add(section_names_.back(), sections_.size() - 1);
  return sections_.size() - 1;
}

bool Document::set_in_section(std::size_t s, std::string_view name, std::string_view value, bool create) {
  IndexedSection& sec = sections_[s];
  if (const auto v = sec.index.find(name, sec.data.names)) {
    sec.data.values[*v] = value;
    return true;
  }
  if (!create) return false;
  sec.data.names.emplace_back(name);
  sec.data.values.emplace_back(value);
  sec.index.add(sec.data.names.back(), sec.data.names.size() - 1);
  return true;
}

bool Document::set_value(std::string_view section, std::string_view name, std::string_view value,
                         bool create) {
  if (create) return set_in_section(section_for_writing(section), name, value, true);
  const auto s = section_index_.find(section, section_names_);
  return s && set_in_section(*s, name, value, false);
}

bool Document::delete_value(std::string_view section, std::string_view name) {
  const auto s = section_index_.find(section, section_names_);
  if (!s) return false;
  IndexedSection& sec = sections_[*s];
  const auto v = sec.index.find(name, sec.data.names);
  if (!v) return false;
  sec.index.remove(name, *v);
  if (sec.dead.size() <= *v) sec.dead.resize(sec.data.names.size());
  sec.dead[*v] = true;
  ++sec.dead_count;
  std::string().swap(sec.data.values[*v]);
  if (sec.dead_count > sec.live_count()) {
    sec.sweep();
  } else {
    unswept_ = true;
  }
  return true;
}

bool Document::delete_section(std::string_view section) {
  const auto s = section_index_.find(section, section_names_);
  if (!s) return false;
  section_index_.remove(section, *s);
  if (section_dead_.size() <= *s) section_dead_.resize(section_names_.size());
  section_dead_[*s] = true;
  ++dead_sections_;
  sections_[*s] = IndexedSection();
  if (dead_sections_ > section_count()) {
    sweep_sections();
  } else {
    unswept_ = true;
  }
  return true;
}

void Document::IndexedSection::sweep() {
  if (dead_count == 0) return;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < data.names.size(); ++i) {
    if (is_dead(i)) continue;
    if (kept != i) {
      data.names[kept] = std::move(data.names[i]);
      data.values[kept] = std::move(data.values[i]);
    }
    ++kept;
  }
  data.names.resize(kept);
  data.values.resize(kept);
  dead.clear();
  dead_count = 0;
  index.rebuild(data.names, dead);
}

void Document::sweep_sections() const {
  if (dead_sections_ == 0) return;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < section_names_.size(); ++i) {
    if (is_dead_section(i)) continue;
    if (kept != i) {
      section_names_[kept] = std::move(section_names_[i]);
      sections_[kept] = std::move(sections_[i]);
    }
    ++kept;
  }
  section_names_.resize(kept);
  sections_.resize(kept);
  section_dead_.clear();
  dead_sections_ = 0;
  section_index_.rebuild(section_names_, section_dead_);
}

void Document::sweep() const {
  if (!unswept_) return;
  unswept_ = false;
  sweep_sections();
  for (IndexedSection& sec : sections_) sec.sweep();
}

}  // namespace inivault
