#pragma once
// Made-up polls for a listener history file: daily listener curves, now and then a
// station that does not answer, now and then some hours with the program off; the
// same bytes for the same options every time.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/history_file.h"

namespace kn::histgen {

struct Options {
  std::vector<std::string> stations;  // UTF-8
  int days = 7;
  int interval_minutes = 1;
  int64_t end_local = 0;        // the last poll, local wall-clock seconds (civil_seconds)
  int32_t offset_minutes = 60;  // local time minus UTC; with summer_time, that of winter
  // Central European summer time: an hour more from the last Sunday of March to the
  // last Sunday of October (01:00 UTC both), so the hour before the autumn change
  // comes twice.
  bool summer_time = false;
  uint64_t start = 1;
  // Each station plays songs of two to six minutes, now and then with a title that a
  // spreadsheet must read back whole (';', quotes, a leading '='); without, no songs.
  bool songs = false;
};

struct Totals {
  uint64_t polls = 0;               // polls written (the program ran)
  uint64_t rows = 0;                // rows written: polls times stations
  uint64_t no_answer = 0;           // rows without a count
  uint64_t off_polls = 0;           // polls left out while the program was off
  uint64_t repeated_hour_rows = 0;  // rows whose local time comes twice
};

// The offset in force at a UTC moment.
int32_t offset_at(const Options& options, int64_t utc);

// Hands each poll's rows to `poll` in order: one row per station every interval, the
// last poll at end_local, `days` days of them.
Totals generate_rows(const Options& options, const std::function<void(const std::vector<HistoryRow>&)>& poll);

// The same as one file's bytes handed to `write` in order, a header first.
Totals generate(const Options& options, const std::function<void(std::string_view)>& write);

}  // namespace kn::histgen
