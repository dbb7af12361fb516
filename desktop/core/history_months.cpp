#include "core/history_months.h"

#include <algorithm>
#include <cstdio>

#include "core/text_util.h"
#include "core/title_files.h"

namespace kn {

namespace {

constexpr int64_t kDay = 86400;
// "_2026-12.csv"
constexpr size_t kSuffixSize = 12;

int64_t month_start(HistoryMonth m) { return civil_seconds(static_cast<int>(m.year), m.month, 1, 0, 0, 0); }

HistoryMonth next_month(HistoryMonth m) {
  return m.month == 12 ? HistoryMonth{m.year + 1, 1} : HistoryMonth{m.year, m.month + 1};
}

std::string file_name(const std::string& safe_station, HistoryMonth m) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%04lld-%02d.csv", static_cast<long long>(m.year), m.month);
  return safe_station + suffix;
}

bool digit(char c) { return c >= '0' && c <= '9'; }

// The name as month files carry it. One that leaves nothing would give a file no
// listing reads back; a long one a path Windows refuses (MAX_PATH), so it is cut on
// a character's edge: the rows' Station field still tells such names apart.
std::string month_file_station(const std::string& station) {
  constexpr size_t kLongest = 100;
  std::string safe = file_safe_name(station);
  if (safe.size() > kLongest) {
    size_t n = kLongest;
    while (n > 0 && (static_cast<unsigned char>(safe[n]) & 0xC0) == 0x80) --n;
    safe.resize(n);
  }
  return safe.empty() ? "_" : safe;
}

}  // namespace

HistoryMonth history_month_of(int64_t local) {
  const CivilTime t = civil_time(local);
  return {t.year, t.month};
}

std::string history_month_file_name(const std::string& station, int64_t local) {
  return file_name(month_file_station(station), history_month_of(local));
}

std::optional<HistoryMonthFile> parse_history_month_file_name(std::string_view name) {
  if (name.size() <= kSuffixSize) return std::nullopt;
  const std::string_view suffix = name.substr(name.size() - kSuffixSize);
  if (suffix[0] != '_' || suffix[5] != '-' || to_lower(suffix.substr(8)) != ".csv") return std::nullopt;
  static constexpr size_t kDigits[] = {1, 2, 3, 4, 6, 7};
  for (const size_t i : kDigits) {
    if (!digit(suffix[i])) return std::nullopt;
  }
  HistoryMonthFile f;
  f.safe_station = std::string(name.substr(0, name.size() - kSuffixSize));
  f.month.year =
      (suffix[1] - '0') * 1000 + (suffix[2] - '0') * 100 + (suffix[3] - '0') * 10 + (suffix[4] - '0');
  f.month.month = (suffix[6] - '0') * 10 + (suffix[7] - '0');
  if (f.month.month < 1 || f.month.month > 12) return std::nullopt;
  return f;
}

std::vector<HistoryFileRows> history_rows_by_file(const std::vector<HistoryRow>& rows) {
  std::vector<HistoryFileRows> files;
  for (const HistoryRow& r : rows) {
    std::string name = history_month_file_name(r.station, r.local);
    auto it = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.file_name == name; });
    if (it == files.end()) it = files.insert(files.end(), {std::move(name), {}});
    it->rows.push_back(r);
  }
  return files;
}

std::vector<std::string> history_files_for_range(const std::vector<std::string>& listing,
                                                 const std::string& station, int64_t from_utc,
                                                 int64_t to_utc) {
  const std::string safe = to_lower(month_file_station(station));
  std::vector<std::pair<HistoryMonth, std::string>> found;
  for (const std::string& name : listing) {
    const auto f = parse_history_month_file_name(name);
    if (!f || to_lower(f->safe_station) != safe) continue;
    // Local times of the month, widened by a day each way, as UTC times.
    const int64_t first = month_start(f->month) - kDay;
    const int64_t end = month_start(next_month(f->month)) + kDay;
    if (from_utc < end && to_utc > first && from_utc < to_utc) found.emplace_back(f->month, name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& [month, name] : found) names.push_back(std::move(name));
  return names;
}

std::vector<std::string> history_files_to_delete(const std::vector<std::string>& listing, int64_t now_local,
                                                 int history_days) {
  const HistoryMonth kept = history_month_of(now_local - std::max(history_days, 0) * kDay);
  std::vector<std::string> names;
  for (const std::string& name : listing) {
    const auto f = parse_history_month_file_name(name);
    if (f && f->month < kept) names.push_back(name);
  }
  return names;
}

StationRange read_station_months(const std::vector<HistorySource>& files, std::string_view station,
                                 int64_t from_utc, int64_t to_utc, size_t chunk) {
  StationRange range;
  uint64_t later = 0;
  for (const HistorySource& f : files) later += f.size;
  for (const HistorySource& f : files) {
    later -= f.size;
    add_station_range(range, f.size, f.read, station, from_utc, to_utc, chunk, later);
  }
  sort_samples(range);
  return range;
}

}  // namespace kn
