#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
  // Positions by name, kept beside the ordered arrays so lookups need no scan: an
  // open-addressing table of (hash, position) pairs, at most half full. The names
  // themselves stay in the arrays; the table holds no copies.
  class Index {
   public:
    std::optional<std::size_t> find(std::string_view name, const std::vector<std::string>& names) const;
    // names[pos] is `name`, which is not in the table yet.
    void add(std::string_view name, std::size_t pos);
    // After positions moved.
    void rebuild(const std::vector<std::string>& names);

   private:
    struct Slot {
      std::uint32_t hash = 0;
      std::uint32_t pos = 0;  // position + 1; 0 = free
    };
    static std::uint64_t hash(std::string_view name);
    void insert(Slot slot);

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
  };

  struct IndexedSection {
    Section data;
    Index index;
  };

  // Sets or adds the pair in section s (creating the name only when `create`).
  bool set_in_section(std::size_t s, std::string_view name, std::string_view value, bool create);
  // Position of the section, added at the end when missing.
  std::size_t section_for_writing(std::string_view section);

  std::string path_;
  std::vector<std::string> section_names_;
  std::vector<IndexedSection> sections_;
  Index section_index_;
};

}  // namespace inivault
