#include "core/history_carry.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "core/history_file.h"
#include "core/history_months.h"
#include "core/text_util.h"

namespace kn {

namespace {

// Longer lines are no rows of any version; they are skipped, never held.
constexpr size_t kLongestLine = size_t{64} << 10;

std::string in_folder(const std::string& name) { return std::string(kHistoryFolderName) + "/" + name; }

bool ends_with(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// The header and blank lines are no fault.
bool counts_as_unreadable(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return !line.empty() && line.rfind("Zeit;", 0) != 0;
}

// Into `bytes`, whose memory the merges of all month files share, as they share
// `piece`.
bool read_whole(HistoryDisk& disk, const std::string& path, size_t size, std::string& bytes,
                std::string& piece) {
  bytes.clear();
  for (;;) {
    if (!disk.read(path, bytes.size(), size, piece)) return false;
    if (piece.empty()) return true;
    bytes += piece;
  }
}

void rows_of(std::string_view bytes, size_t& unreadable, std::vector<HistoryRow>& rows) {
  rows.clear();
  rows.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t nl = bytes.find('\n', at);
    const std::string_view line = bytes.substr(at, nl == std::string_view::npos ? nl : nl - at);
    // A last line without its break is torn: no row.
    auto row = nl == std::string_view::npos ? std::nullopt : parse_history_row(line);
    if (row) {
      rows.push_back(std::move(*row));
    } else if (counts_as_unreadable(line)) {
      ++unreadable;
    }
    if (nl == std::string_view::npos) break;
    at = nl + 1;
  }
}

// The old file's rows on their way into part files, one per month file.
class Splitter {
 public:
  Splitter(HistoryDisk& disk, size_t most) : disk_(disk), most_(most) {}

  bool add(const HistoryRow& row) {
    std::string name = history_month_file_name(row.station, row.local);
    // Names that differ in case only are one file on Windows: one part, one merge.
    auto [it, fresh] = waiting_.try_emplace(to_lower(name));
    if (fresh) it->second.first = std::move(name);
    std::string& bytes = it->second.second;
    const size_t before = bytes.size();
    bytes += history_row(row);
    waiting_bytes_ += bytes.size() - before;
    return waiting_bytes_ < most_ || flush();
  }

  bool flush() {
    for (auto& [key, part] : waiting_) {
      auto& [name, bytes] = part;
      if (bytes.empty()) continue;
      if (!disk_.append(in_folder(name + kHistoryPartSuffix), bytes)) return false;
      bytes.clear();
      bytes.shrink_to_fit();
    }
    waiting_bytes_ = 0;
    return true;
  }

  // The month files that got rows.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& entry : waiting_) out.push_back(entry.second.first);
    return out;
  }

 private:
  HistoryDisk& disk_;
  const size_t most_;                                                   // bytes that may wait
  std::map<std::string, std::pair<std::string, std::string>> waiting_;  // by name in lower case: name, rows
  size_t waiting_bytes_ = 0;
};

// Streams the old file into part files.
bool split(HistoryDisk& disk, Splitter& splitter, size_t size, size_t& unreadable) {
  std::string line;
  bool too_long = false;
  const auto take = [&]() {
    if (too_long) {
      ++unreadable;
    } else if (auto row = parse_history_row(line)) {
      if (!splitter.add(*row)) return false;
    } else if (counts_as_unreadable(line)) {
      ++unreadable;
    }
    line.clear();
    too_long = false;
    return true;
  };
  std::string piece;
  for (uint64_t offset = 0;;) {
    if (!disk.read(kHistoryFileName, offset, size, piece)) return false;
    if (piece.empty()) break;
    offset += piece.size();
    for (size_t at = 0; at < piece.size();) {
      const size_t nl = piece.find('\n', at);
      const size_t end = nl == std::string::npos ? piece.size() : nl;
      if (!too_long) line.append(piece, at, end - at);
      if (line.size() > kLongestLine) {
        too_long = true;
        line.clear();
      }
      if (nl == std::string::npos) break;
      if (!take()) return false;
      at = nl + 1;
    }
  }
  if (too_long || !line.empty()) ++unreadable;  // torn
  return splitter.flush();
}

using RowKey = std::tuple<int64_t, int32_t, std::string>;

// What one merge holds, kept from one month file to the next: a month's rows in
// fresh memory for each of hundreds of files cost a page fault per page each time.
struct MergeBuffers {
  std::string part, existing, text, piece;
  std::vector<HistoryRow> added, rows;
};

// The month file with the part's rows merged in; false on a failure.
bool merge_part(HistoryDisk& disk, const std::string& name, bool existing, size_t size, CarryResult& result,
                MergeBuffers& b) {
  if (!read_whole(disk, in_folder(name + kHistoryPartSuffix), size, b.part, b.piece)) return false;
  size_t ignored = 0;  // written by us from rows
  std::vector<HistoryRow>& rows = b.rows;
  if (!existing) {
    // The old file's own twice-written polls stay as they were.
    rows_of(b.part, ignored, rows);
    b.existing.clear();
  } else {
    rows_of(b.part, ignored, b.added);
    if (!read_whole(disk, in_folder(name), size, b.existing, b.piece)) return false;
    rows_of(b.existing, result.unreadable, rows);
    std::set<RowKey> present;
    for (const HistoryRow& r : rows) present.emplace(r.local, r.offset_minutes, r.station);
    const size_t before = rows.size();
    for (HistoryRow& r : b.added) {
      // Only rows the file had, as above.
      if (!present.count(RowKey(r.local, r.offset_minutes, r.station))) rows.push_back(std::move(r));
    }
    if (rows.size() == before) return true;
  }
  // In poll order already but where a clock was set back: the sort's buffer is a
  // month's rows.
  const auto earlier = [](const HistoryRow& x, const HistoryRow& y) { return x.utc() < y.utc(); };
  if (!std::is_sorted(rows.begin(), rows.end(), earlier)) std::stable_sort(rows.begin(), rows.end(), earlier);
  b.text.clear();  // assigning a new string would take its memory and drop this one's
  b.text += history_header();
  b.text.reserve(b.part.size() + b.existing.size() + b.text.size());
  for (const HistoryRow& r : rows) b.text += history_row(r);
  if (!disk.replace(in_folder(name), b.text)) return false;
  ++result.files_written;
  return true;
}

// Part files are only ever the leftovers of a run that did not finish.
bool discard_parts(HistoryDisk& disk, const std::vector<std::string>& listing) {
  for (const std::string& name : listing) {
    if (ends_with(name, kHistoryPartSuffix) && !disk.remove(in_folder(name))) return false;
  }
  return true;
}

}  // namespace

CarryResult carry_over_history(HistoryDisk& disk, size_t piece) {
  CarryResult result;
  const std::optional<bool> old = disk.exists(kHistoryFileName);
  if (!old) return result;
  if (!*old) {
    if (const auto listing = disk.list(kHistoryFolderName)) discard_parts(disk, *listing);
    result.done = true;
    return result;
  }
  if (!disk.make_folder(kHistoryFolderName)) return result;
  const std::optional<std::vector<std::string>> listing = disk.list(kHistoryFolderName);
  if (!listing || !discard_parts(disk, *listing)) return result;
  // Windows finds a file whatever the case of its name.
  std::set<std::string> present;
  for (const std::string& name : *listing) present.insert(to_lower(name));

  piece = std::max<size_t>(piece, 1);
  Splitter splitter(disk, piece);
  if (!split(disk, splitter, piece, result.unreadable)) return result;
  MergeBuffers buffers;
  for (const std::string& name : splitter.names()) {
    if (!merge_part(disk, name, present.count(to_lower(name)) > 0, piece, result, buffers)) return result;
    // A part left behind is discarded at the next start.
    disk.remove(in_folder(name + kHistoryPartSuffix));
  }
  result.done = disk.remove(kHistoryFileName);
  return result;
}

}  // namespace kn
