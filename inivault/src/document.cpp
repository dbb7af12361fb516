#include "document.h"

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
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return true;
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
      continue;
    }

    // Stored files rely on a line without "=" becoming the empty name with the
    // rest of the line after its first byte as the value.
    const auto eq = line.find('=');
    const std::string_view name = eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
    const std::string_view value = line.substr(eq == std::string_view::npos ? 1 : eq + 1);
    set_value(strip(current_section), strip(name), strip(value), true);
  }
}

std::string Document::to_text(std::string_view line_end) const {
  std::string out;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Section& section = sections_[i].data;
    if (section.names.empty()) continue;
    out += '[';
    out += section_names_[i];
    out += ']';
    out += line_end;
    for (std::size_t j = 0; j < section.names.size(); ++j) {
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
  section_index_.clear();
}

std::optional<std::size_t> Document::lookup(const Index& index, std::string_view name) {
  const auto it = index.find(name);
  if (it == index.end()) return std::nullopt;
  return it->second;
}

std::int32_t Document::value_count(std::string_view section) const {
  const auto s = lookup(section_index_, section);
  if (!s) return -1;
  return static_cast<std::int32_t>(sections_[*s].data.names.size());
}

std::optional<std::string_view> Document::find_value(std::string_view section, std::string_view name) const {
  const auto s = lookup(section_index_, section);
  if (!s) return std::nullopt;
  const IndexedSection& sec = sections_[*s];
  const auto v = lookup(sec.index, name);
  if (!v) return std::nullopt;
  return std::string_view(sec.data.values[*v]);
}

std::string Document::get_value(std::string_view section, std::string_view name) const {
  return std::string(find_value(section, name).value_or(std::string_view()));
}

bool Document::set_value(std::string_view section, std::string_view name, std::string_view value,
                         bool create) {
  auto s = lookup(section_index_, section);
  if (!s) {
    if (!create) return false;
    section_names_.emplace_back(section);
    sections_.emplace_back();
    s = sections_.size() - 1;
    section_index_.emplace(section_names_.back(), *s);
  }
  IndexedSection& sec = sections_[*s];
  if (const auto v = lookup(sec.index, name)) {
    sec.data.values[*v] = value;
    return true;
  }
  if (!create) return false;
  sec.data.names.emplace_back(name);
  sec.data.values.emplace_back(value);
  sec.index.emplace(sec.data.names.back(), sec.data.names.size() - 1);
  return true;
}

bool Document::delete_value(std::string_view section, std::string_view name) {
  const auto s = lookup(section_index_, section);
  if (!s) return false;
  IndexedSection& sec = sections_[*s];
  const auto v = lookup(sec.index, name);
  if (!v) return false;
  sec.index.erase(sec.index.find(name));
  sec.data.names.erase(sec.data.names.begin() + static_cast<std::ptrdiff_t>(*v));
  sec.data.values.erase(sec.data.values.begin() + static_cast<std::ptrdiff_t>(*v));
  for (std::size_t j = *v; j < sec.data.names.size(); ++j) sec.index[sec.data.names[j]] = j;
  return true;
}

bool Document::delete_section(std::string_view section) {
  const auto s = lookup(section_index_, section);
  if (!s) return false;
  section_index_.erase(section_index_.find(section));
  section_names_.erase(section_names_.begin() + static_cast<std::ptrdiff_t>(*s));
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(*s));
  for (std::size_t j = *s; j < section_names_.size(); ++j) section_index_[section_names_[j]] = j;
  return true;
}

}  // namespace inivault
