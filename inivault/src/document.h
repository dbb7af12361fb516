#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "small_bytes.h"

namespace inivault {

// True when the bytes hold a control character other than tab, LF and CR: text
// that only the cipher can have produced.
bool looks_scrambled(std::string_view data);

// An ordered INI document: sections in creation order, each an ordered list of
// name/value pairs. Names are byte strings compared exactly; the first match wins.
class Document {
 public:
  // One section's pairs in order, as views into the document: valid until it changes.
  class Section {
   public:
    class List {
     public:
      std::size_t size() const { return size_; }
      bool empty() const { return size_ == 0; }
      std::string_view operator[](std::size_t j) const;

     private:
      friend class Document;
      const Document* doc_ = nullptr;
      const std::uint32_t* ids_ = nullptr;
      std::size_t size_ = 0;
      bool values_ = false;
    };
    List names;
    List values;
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

  std::size_t section_count() const { return section_order_.size() - dead_sections_; }
  const std::string& section_name(std::size_t i) const;
  Section section(std::size_t i) const;

  // Number of pairs, or -1 when there is no such section.
  std::int32_t value_count(std::string_view section) const;
  std::optional<std::string_view> find_value(std::string_view section, std::string_view name) const;
  // The empty string for a missing section or name.
  std::string get_value(std::string_view section, std::string_view name) const;
  bool set_value(std::string_view section, std::string_view name, std::string_view value, bool create);
  bool delete_value(std::string_view section, std::string_view name);
  bool delete_section(std::string_view section);

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // A pair, in one cache line: a look-up that lands on it compares the name where it
  // stands and finds the value beside it, with no heap string in between.
  struct Pair {
    std::uint32_t section = kNone;  // kNone: a free record
    std::uint32_t position = 0;     // in its section's order
    SmallBytes<20> name;
    SmallBytes<28> value;
  };
  static_assert(sizeof(Pair) == 64);
  struct SectionRecord {
    std::string name;
    std::uint64_t hash = 0;
    // Pair records in order; kNone where one was deleted and not yet swept out.
    std::vector<std::uint32_t> order;
    std::uint32_t dead = 0;
    std::uint32_t position = 0;  // in section_order_
    bool live = false;
    std::size_t live_count() const { return order.size() - dead; }
  };

  // Open addressing over record numbers, at most half full. A slot keeps 32 bits of its
  // key's hash, which also place it, so growing needs no hashing.
  class Table {
   public:
    // The slot holding a record for which `match(record)` holds, or -1.
    template <typename Match>
    std::ptrdiff_t find(std::uint32_t tag, Match match) const {
      if (slots_.empty()) return -1;
      const std::size_t mask = slots_.size() - 1;
      for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.record == 0) return -1;
        if (slot.tag == tag && match(slot.record - 1)) return static_cast<std::ptrdiff_t>(i);
      }
    }
    std::uint32_t record_at(std::ptrdiff_t slot) const {
      return slots_[static_cast<std::size_t>(slot)].record - 1;
    }
    void insert(std::uint32_t tag, std::uint32_t record);
    void erase(std::ptrdiff_t slot);
    void clear() { *this = Table(); }

   private:
    struct Slot {
      std::uint32_t tag = 0;
      std::uint32_t record = 0;  // record + 1; 0 = free
    };
    void place(Slot slot);

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
  };

  static std::uint64_t hash(std::uint64_t start, std::string_view bytes);
  static std::uint64_t section_hash(std::string_view section) { return hash(0x9E3779B97F4A7C15ull, section); }
  static std::uint32_t tag(std::uint64_t h) { return static_cast<std::uint32_t>(h ^ (h >> 32)); }

  std::optional<std::uint32_t> find_section(std::string_view section) const;
  // Slot of the pair (section, name) in pairs_table_, or -1.
  std::ptrdiff_t find_pair(std::string_view section, std::string_view name) const;
  // Sets or adds the pair in section s (creating the name only when `create`).
  bool set_in_section(std::uint32_t s, std::string_view name, std::string_view value, bool create);
  // The section, added at the end when missing.
  std::uint32_t section_for_writing(std::string_view section);
  void free_pair(std::uint32_t p);
  // Removes the dead entries from the orders. It changes nothing a caller can see, so
  // the const accessors may do it (the library runs on one thread at a time).
  void sweep() const;
  void sweep_sections() const;
  void sweep_section(SectionRecord& s) const;

  std::string path_;
  // Sections by record number; deleted records are reused.
  mutable std::vector<SectionRecord> sections_;
  std::vector<std::uint32_t> free_sections_;
  // Section records in creation order; kNone where one was deleted and not yet swept out.
  mutable std::vector<std::uint32_t> section_order_;
  mutable std::size_t dead_sections_ = 0;
  Table section_table_;
  // Pairs by record number; deleted records are reused. Their positions change when
  // orders are swept.
  mutable std::vector<Pair> pairs_;
  std::vector<std::uint32_t> free_pairs_;
  // Every pair of every section, by section and name together: one probe finds a pair.
  Table pair_table_;
  // Some section or pair is marked dead but still in an order.
  mutable bool unswept_ = false;
};

}  // namespace inivault
