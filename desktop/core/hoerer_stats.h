#pragma once
// Listener history of the run and the per-station extremes.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/settings.h"

namespace kn {

struct HistoryEntry {
  std::string date;
  std::string time;
  std::string station;
  int32_t count = 0;
};

// (date text, time text) in the user's formats, taken when a sample is recorded.
using DateTimeSource = std::function<std::pair<std::string, std::string>()>;

// The newest samples kept per station, so weeks of running do not grow memory without end.
inline constexpr size_t kMaxSamplesPerStation = 1000;

class History {
 public:
  explicit History(DateTimeSource now = {}) : now_(std::move(now)) { init_history(); }

  // One empty slot, which receives the next sample.
  void init_history();
  void add_sample(const std::string& station, int32_t count);

  // Includes the empty last slot. A deque: dropping a station's oldest sample, which
  // lies near the front, must not shift the whole history on every poll.
  const std::deque<HistoryEntry>& entries() const { return entries_; }
  size_t sample_count() const { return entries_.size() - 1; }

 private:
  DateTimeSource now_;
  std::deque<HistoryEntry> entries_;
  std::map<std::string, size_t> per_station_;
};

// Moves the station's extremes outward for one polled value and records the sample.
void record_count(StationEntry& station, double value, History& history);

// Extremes of the first station whose name matches ignoring case; 0 when none does.
int32_t get_station_max(const std::vector<StationEntry>& stations, const std::string& name);
int32_t get_station_min(const std::vector<StationEntry>& stations, const std::string& name);

}  // namespace kn
