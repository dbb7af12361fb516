#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace inivault {

// True when the bytes hold a control character other than tab, LF and CR: text
// that only the cipher can have produced.
bool looks_scrambled(std::string_view data);

// An ordered INI document: sections in creation order, each an ordered list of
// name/value pairs. Names are byte strings compared exactly; the first match wins.
class Document {
 public:
  struct Section {
    std::vector<std::string> names;
    std::vector<std::string> values;
  };

  const std::string& path() const { return path_; }
  void set_path(std::string path) { path_ = std::move(path); }

  // Stores the path, then merges the file (unscrambled with the file key when it
  // looks scrambled). False when the file cannot be read; the document is then unchanged.
  bool read_file(const std::string& path);
  // Writes to the stored path; false when nothing or not everything could be written.
  bool write_file() const;

  // Merges INI text into the document: later values replace earlier ones.
  void merge_text(std::string_view text);
  // The file form: blocks of header, pairs and an empty line, for non-empty sections.
  std::string to_text(std::string_view line_end = "\r\n") const;

  // Empties the document; the path stays.
  void reset();

  std::size_t section_count() const { return section_names_.size(); }
  const std::string& section_name(std::size_t i) const { return section_names_[i]; }
  const Section& section(std::size_t i) const { return sections_[i].data; }

  // Number of pairs, or -1 when there is no such section.
  std::int32_t value_count(std::string_view section) const;
  std::optional<std::string_view> find_value(std::string_view section, std::string_view name) const;
  // The empty string for a missing section or name.
  std::string get_value(std::string_view section, std::string_view name) const;
  bool set_value(std::string_view section, std::string_view name, std::string_view value, bool create);
  bool delete_value(std::string_view section, std::string_view name);
  bool delete_section(std::string_view section);

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // Positions by name, kept beside the ordered arrays so lookups need no scan.
  using Index = std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>>;

  struct IndexedSection {
    Section data;
    Index index;
  };

  static std::optional<std::size_t> lookup(const Index& index, std::string_view name);

  std::string path_;
  std::vector<std::string> section_names_;
  std::vector<IndexedSection> sections_;
  Index section_index_;
};

}  // namespace inivault
