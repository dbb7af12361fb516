#pragma once
// The history as one file per station and calendar month, in a folder beside the
// program: "hoerer_verlauf\<station>_<yyyy>-<mm>.csv", each of the form of
// history_file.h. A file is chosen by the poll's local month, so pruning deletes
// whole files and a year's range reads only the station's own rows.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/history_file.h"
#include "core/history_range.h"

namespace kn {

inline constexpr const char* kHistoryFolderName = "hoerer_verlauf";

struct HistoryMonth {
  int64_t year = 1970;
  int month = 1;
  auto operator<=>(const HistoryMonth&) const = default;
};
// The month a local wall-clock time lies in.
HistoryMonth history_month_of(int64_t local);

// The file of the station's rows of that local time: its name made safe as the
// title files make it (cut to 100 bytes, "_" for none), "_", the month, ".csv". Two
// names may give one file; the Station field of each row still tells them apart.
std::string history_month_file_name(const std::string& station, int64_t local);

struct HistoryMonthFile {
  std::string safe_station;  // as in the name
  HistoryMonth month;
  bool operator==(const HistoryMonthFile&) const = default;
};
// A name of the folder's listing read back; nothing for anything else in the folder.
std::optional<HistoryMonthFile> parse_history_month_file_name(std::string_view name);

// A poll's rows by the file each goes to, files in the order of their first row,
// rows in poll order.
struct HistoryFileRows {
  std::string file_name;
  std::vector<HistoryRow> rows;
};
std::vector<HistoryFileRows> history_rows_by_file(const std::vector<HistoryRow>& rows);

// The station's files of the listing that can hold rows of the UTC range
// [from, to), oldest month first. A row's month is that of its local time, up to
// 14:59 hours away from UTC: a bound within a day of a month's edge opens the
// neighbouring month's file too. Names are matched ignoring case, as Windows does.
std::vector<std::string> history_files_for_range(const std::vector<std::string>& listing,
                                                 const std::string& station, int64_t from_utc,
                                                 int64_t to_utc);

// The files of the listing that pruning deletes: those of months before the one
// that holds the day history_days before now (local time). That month stays whole,
// so at least history_days days are kept and at most about a month more.
std::vector<std::string> history_files_to_delete(const std::vector<std::string>& listing, int64_t now_local,
                                                 int history_days);

// One file to read: its size when looked at, and its bytes.
struct HistorySource {
  uint64_t size = 0;
  ReadAt read;
};
// The station's samples of [from, to) and their songs, from its month files.
StationRange read_station_months(const std::vector<HistorySource>& files, std::string_view station,
                                 int64_t from_utc, int64_t to_utc, size_t chunk = kHistoryReadChunk);

}  // namespace kn
