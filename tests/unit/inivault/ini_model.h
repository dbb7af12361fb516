#pragma once
// A plain reference model of the INI document: sections and their pairs in plain
// lists, in the order they came, found by linear search. The document's indexed
// operations must give the same answers and leave the same order. Shared by the unit
// test of the index and the INI fuzz target.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document.h"

namespace ivtest {

using Pairs = std::vector<std::pair<std::string, std::string>>;
using Sections = std::vector<std::pair<std::string, Pairs>>;

class LinearIni {
 public:
  bool set_value(const std::string& section, const std::string& name, const std::string& value, bool create) {
    const auto sec = find_section(section);
    if (sec == sections_.end()) {
      if (create) sections_.emplace_back(section, Pairs{{name, value}});
      return create;
    }
    const auto pair = find_pair(sec->second, name);
    if (pair != sec->second.end()) {
      pair->second = value;
      return true;
    }
    if (create) sec->second.emplace_back(name, value);
    return create;
  }

  bool delete_value(const std::string& section, const std::string& name) {
    const auto sec = find_section(section);
    if (sec == sections_.end()) return false;
    const auto pair = find_pair(sec->second, name);
    if (pair == sec->second.end()) return false;
    sec->second.erase(pair);
    return true;
  }

  bool delete_section(const std::string& section) {
    const auto sec = find_section(section);
    if (sec == sections_.end()) return false;
    sections_.erase(sec);
    return true;
  }

  // -1 when there is no such section.
  std::int32_t value_count(const std::string& section) const {
    const auto sec = find_section(section);
    return sec == sections_.end() ? -1 : static_cast<std::int32_t>(sec->second.size());
  }

  std::optional<std::string> find_value(const std::string& section, const std::string& name) const {
    const auto sec = find_section(section);
    if (sec == sections_.end()) return std::nullopt;
    const auto pair = find_pair(sec->second, name);
    if (pair == sec->second.end()) return std::nullopt;
    return pair->second;
  }

  const Sections& sections() const { return sections_; }

  // What the written form keeps: a section without pairs is not written.
  Sections written() const {
    Sections out;
    std::copy_if(sections_.begin(), sections_.end(), std::back_inserter(out),
                 [](const auto& sec) { return !sec.second.empty(); });
    return out;
  }

 private:
  template <typename List>
  static auto find_named(List& list, const std::string& name) {
    return std::find_if(list.begin(), list.end(), [&](const auto& entry) { return entry.first == name; });
  }
  Sections::iterator find_section(const std::string& name) { return find_named(sections_, name); }
  Sections::const_iterator find_section(const std::string& name) const { return find_named(sections_, name); }
  static Pairs::iterator find_pair(Pairs& pairs, const std::string& name) { return find_named(pairs, name); }
  static Pairs::const_iterator find_pair(const Pairs& pairs, const std::string& name) {
    return find_named(pairs, name);
  }

  Sections sections_;
};

// What the document holds, in its order; `skip_empty` leaves out sections without
// pairs. The document's names and values must pair up.
inline Sections snapshot(const inivault::Document& doc, bool skip_empty = false) {
  Sections out;
  for (std::size_t i = 0; i < doc.section_count(); ++i) {
    const auto& sec = doc.section(i);
    if (skip_empty && sec.names.empty()) continue;
    Pairs pairs;
    for (std::size_t j = 0; j < sec.names.size() && j < sec.values.size(); ++j) {
      pairs.emplace_back(sec.names[j], sec.values[j]);
    }
    out.emplace_back(doc.section_name(i), std::move(pairs));
  }
  return out;
}

}  // namespace ivtest
