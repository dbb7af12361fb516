#pragma once
// Carrying the single history file of earlier versions ("hoerer_verlauf.csv") over
// into the month files. One call, meant for a worker while the polls' rows wait
// in memory; it never loses a row: the old file goes only when every month file
// it fed is complete, a failure or crash leaves it, and the next call finishes the
// job. A month file that is already there is merged, and its rows are not written
// twice, so a run after an interrupted one (or after a downgrade) ends the same.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kn {

// The program folder as the carry-over needs it. Paths are relative to it, with '/'
// between folder and name: "hoerer_verlauf.csv", "hoerer_verlauf/a_2026-12.csv".
class HistoryDisk {
 public:
  virtual ~HistoryDisk() = default;
  // Nothing when it cannot tell.
  virtual std::optional<bool> exists(const std::string& path) = 0;
  // Creates the folder; true also when it is there.
  virtual bool make_folder(const std::string& folder) = 0;
  // The names of the files in the folder; nothing when it cannot be listed.
  virtual std::optional<std::vector<std::string>> list(const std::string& folder) = 0;
  // Up to n bytes at offset (fewer at the end) into `bytes`, whose memory a reader
  // keeps from piece to piece; false when they cannot be read.
  virtual bool read(const std::string& path, uint64_t offset, size_t n, std::string& bytes) = 0;
  // Appends to the file, creating it.
  virtual bool append(const std::string& path, std::string_view bytes) = 0;
  // Writes the whole file so that a failure leaves the old one (filesafe's replace_file).
  virtual bool replace(const std::string& path, std::string_view bytes) = 0;
  // True when the file is gone, also when it was never there.
  virtual bool remove(const std::string& path) = 0;
};

// Where the month files collect the old file's rows until all are split; each
// start discards those a crash left.
inline constexpr const char* kHistoryPartSuffix = ".part";
// The old file is read in pieces of this size; rows bound for the part files wait
// up to this many bytes in all before they are appended.
inline constexpr size_t kCarryChunk = size_t{1} << 20;

struct CarryResult {
  bool done = false;      // false: something failed, the old file stays; try at the next start
  size_t unreadable = 0;  // lines of the old file (and of month files merged) that are no row
  size_t files_written = 0;
};

// `piece` stands for kCarryChunk where a test wants lines cut anywhere.
CarryResult carry_over_history(HistoryDisk& disk, size_t piece = kCarryChunk);

}  // namespace kn
