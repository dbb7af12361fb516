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

  std::size_t section_count() const { return section_names_.size() - dead_sections_; }
  const std::string& section_name(std::size_t i) const {
    sweep();
    return section_names_[i];
  }
  const Section& section(std::size_t i) const {
    sweep();
    return sections_[i].data;
  }

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
    // The entry for names[pos], which is `name`.
    void remove(std::string_view name, std::size_t pos);
    // After positions moved; names marked in `dead` are left out.
    void rebuild(const std::vector<std::string>& names, const std::vector<bool>& dead);

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

  // Deleting only marks an entry dead and drops it from the index; the arrays are
  // swept when someone next asks for positions, or once the dead outnumber the
  // living. So deleting every entry one by one costs no more than adding them.
  // `dead` may be shorter than the arrays: entries past its end are alive.
  struct IndexedSection {
    Section data;
    Index index;
    std::vector<bool> dead;
    std::size_t dead_count = 0;
    std::size_t live_count() const { return data.names.size() - dead_count; }
    bool is_dead(std::size_t i) const { return i < dead.size() && dead[i]; }
    void sweep();
  };
  bool is_dead_section(std::size_t s) const { return s < section_dead_.size() && section_dead_[s]; }
  // Removes the dead entries from the arrays. It changes nothing a caller can see,
  // so the const accessors may do it (the library runs on one thread at a time).
  void sweep() const;
  void sweep_sections() const;

  // Sets or adds the pair in section s (creating the name only when `create`).
  bool set_in_section(std::size_t s, std::string_view name, std::string_view value, bool create);
  // Position of the section, added at the end when missing.
  std::size_t section_for_writing(std::string_view section);

  std::string path_;
  mutable std::vector<std::string> section_names_;
  mutable std::vector<IndexedSection> sections_;
  mutable Index section_index_;
  mutable std::vector<bool> section_dead_;
  mutable std::size_t dead_sections_ = 0;
  // Some section or pair is marked dead but still in the arrays.
  mutable bool unswept_ = false;
};

}  // namespace inivault
