#include "core/history_range.h"

#include <algorithm>

namespace kn {

std::vector<HistorySample> station_samples(const std::vector<HistoryRow>& rows, const std::string& station,
                                           int64_t from, int64_t to) {
  std::vector<HistorySample> out;
  for (const auto& r : rows) {
    const int64_t t = r.utc();
    if (r.station == station && t >= from && t < to) out.push_back({t, r.count, r.offset_minutes});
  }
  // Rows come in poll order; a clock set back can put one out of it.
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.utc < b.utc; });
  return out;
}

std::vector<HistoryColumn> thin_to_columns(const std::vector<HistorySample>& samples, int64_t from,
                                           int64_t to, int width, int64_t max_gap) {
  std::vector<HistoryColumn> columns(static_cast<size_t>(std::max(width, 0)));
  if (columns.empty() || to <= from) return columns;
  const int64_t span = to - from;
  bool broken = true;  // nothing to join before the first answered sample
  int64_t last_t = 0;
  for (const auto& s : samples) {
    if (s.utc < from || s.utc >= to) continue;
    if (!s.count) {
      broken = true;
      continue;
    }
    if (!broken && s.utc - last_t > max_gap) broken = true;
    const size_t c = static_cast<size_t>((s.utc - from) * width / span);
    HistoryColumn& col = columns[c];
    if (!col.any) {
      col.any = true;
      col.low = col.high = *s.count;
      col.gap_before = broken;
    } else {
      col.low = std::min(col.low, *s.count);
      col.high = std::max(col.high, *s.count);
      // A gap inside a column shows as the column's own bar; the line to it stays.
    }
    broken = false;
    last_t = s.utc;
  }
  return columns;
}

int64_t gap_seconds(int update_interval_minutes) { return std::max(2, 2 * update_interval_minutes) * 60; }

HistorySummary summarize(const std::vector<HistorySample>& samples) {
  HistorySummary s;
  double sum = 0;
  int64_t n = 0;
  for (const auto& x : samples) {
    if (!x.count) continue;
    s.minimum = s.minimum ? std::min(*s.minimum, *x.count) : *x.count;
    s.maximum = s.maximum ? std::max(*s.maximum, *x.count) : *x.count;
    sum += *x.count;
    ++n;
  }
  if (n > 0) s.mean = sum / static_cast<double>(n);
  return s;
}

}  // namespace kn
