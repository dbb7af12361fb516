// The history's readers and the carry-over of an earlier version's single file.
//
// Input: the bytes of a history file, as a hand edit may leave it. Every row read is
// written again and must read back the same; a station's range must not depend on
// the size of the pieces the file is read in; and carried over into month files, the
// file must give every row it holds and nothing else, whatever the size of the
// pieces the carry-over reads.
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "check.h"
#include "core/history_carry.h"
#include "core/history_file.h"
#include "core/history_months.h"
#include "core/history_range.h"

namespace {

// The program folder in memory; paths as the carry-over gives them.
class MemoryDisk : public kn::HistoryDisk {
 public:
  std::map<std::string, std::string> files;

  std::optional<bool> exists(const std::string& path) override { return files.count(path) > 0; }
  bool make_folder(const std::string&) override { return true; }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    std::vector<std::string> names;
    const std::string prefix = folder + "/";
    for (const auto& [path, bytes] : files)
      if (path.rfind(prefix, 0) == 0) names.push_back(path.substr(prefix.size()));
    return names;
  }
  bool read(const std::string& path, uint64_t offset, size_t n, std::string& bytes) override {
    const auto it = files.find(path);
    if (it == files.end()) return false;
    bytes = offset >= it->second.size() ? std::string() : it->second.substr(static_cast<size_t>(offset), n);
    return true;
  }
  bool append(const std::string& path, std::string_view bytes) override {
    files[path].append(bytes);
    return true;
  }
  bool replace(const std::string& path, std::string_view bytes) override {
    files[path] = std::string(bytes);
    return true;
  }
  bool remove(const std::string& path) override {
    files.erase(path);
    return true;
  }
};

using Key = std::tuple<int64_t, int32_t, std::string, std::optional<int32_t>>;

// Each row as often as it stands.
std::multiset<Key> keys_of(const std::vector<kn::HistoryRow>& rows) {
  std::multiset<Key> keys;
  for (const kn::HistoryRow& r : rows) keys.emplace(r.local, r.offset_minutes, r.station, r.count);
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<kn::HistoryRow> rows = kn::read_history(bytes);
  // The rows as a file written from them holds them (control characters become blanks).
  std::vector<kn::HistoryRow> written;
  for (const kn::HistoryRow& r : rows) {
    std::string line = kn::history_row(r);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::optional<kn::HistoryRow> again = kn::parse_history_row(line);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->local == r.local && again->offset_minutes == r.offset_minutes && again->count == r.count);
    written.push_back(*again);
  }

  if (!rows.empty()) {
    const std::string& station = rows.front().station;
    const kn::ReadAt read = [&bytes](uint64_t offset, size_t n) {
      return offset >= bytes.size() ? std::string_view()
                                    : std::string_view(bytes).substr(static_cast<size_t>(offset), n);
    };
    const kn::HistorySource source{bytes.size(), read};
    const kn::StationRange whole = kn::read_station_months({source}, station, INT64_MIN / 2, INT64_MAX / 2);
    const kn::StationRange pieces =
        kn::read_station_months({source}, station, INT64_MIN / 2, INT64_MAX / 2, 64);
    FUZZ_CHECK(whole.samples.size() == pieces.samples.size());
  }

  MemoryDisk disk;
  disk.files[kn::kHistoryFileName] = bytes;
  const kn::CarryResult carried = kn::carry_over_history(disk, 97);
  FUZZ_CHECK(carried.done);
  FUZZ_CHECK(disk.files.count(kn::kHistoryFileName) == 0);
  std::vector<kn::HistoryRow> month_rows;
  for (const auto& [path, file] : disk.files) {
    FUZZ_CHECK(path.size() < 5 || path.substr(path.size() - 5) != kn::kHistoryPartSuffix);
    for (const kn::HistoryRow& r : kn::read_history(file)) month_rows.push_back(r);
  }
  // Every row the old file holds, as often as it holds it, and nothing else.
  FUZZ_CHECK(keys_of(month_rows) == keys_of(written));
  return 0;
}
