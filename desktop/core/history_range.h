#pragma once
// A station's samples over a time range, thinned to the plot's pixel columns: each
// column keeps its lowest and highest count, so a one-minute peak stays visible in a
// year; neighbours too far apart, or a missed answer, make a gap rather than a line
// down to 0.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/history_file.h"

namespace kn {

struct HistorySample {
  int64_t utc = 0;
  std::optional<int32_t> count;  // nothing: no answer
  int32_t offset_minutes = 0;    // the row's UTC offset: local = utc + offset_minutes * 60
};

// The station's samples with from <= utc < to, in time order.
std::vector<HistorySample> station_samples(const std::vector<HistoryRow>& rows, const std::string& station,
                                           int64_t from, int64_t to);

struct HistoryColumn {
  bool any = false;  // an answered sample falls into it
  int32_t low = 0;
  int32_t high = 0;
  // No line to the previous column with samples: a gap between them.
  bool gap_before = false;
  bool operator==(const HistoryColumn&) const = default;
};

// `width` columns over [from, to); neighbouring samples more than max_gap seconds
// apart, or a sample without an answer between them, part the line.
std::vector<HistoryColumn> thin_to_columns(const std::vector<HistorySample>& samples, int64_t from,
                                           int64_t to, int width, int64_t max_gap);

// The largest distance of two samples that still joins them: twice the poll interval,
// at least two minutes.
int64_t gap_seconds(int update_interval_minutes);

struct HistorySummary {
  std::optional<int32_t> minimum;
  std::optional<int32_t> maximum;
  std::optional<double> mean;  // of the answered samples
};
HistorySummary summarize(const std::vector<HistorySample>& samples);

}  // namespace kn
