#include "core/hoerer_stats.h"

#include "core/number_text.h"
#include "core/text_util.h"

namespace kn {

void History::init_history() {
  entries_.assign(1, HistoryEntry{});
  per_station_.clear();
}

void History::add_sample(const std::string& station, int32_t count) {
  HistoryEntry& slot = entries_.back();
  if (now_) {
    auto [date, time] = now_();
    slot.date = std::move(date);
    slot.time = std::move(time);
  }
  slot.station = station;
  slot.count = count;
  entries_.emplace_back();
  if (++per_station_[station] > kMaxSamplesPerStation) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->station == station) {
        entries_.erase(it);
        --per_station_[station];
        break;
      }
    }
  }
}

void record_count(StationEntry& station, double value, History& history) {
  if (value < station.min_hoerer) station.min_hoerer = round_clamp_int32(value);
  if (value > station.max_hoerer) station.max_hoerer = round_clamp_int32(value);
  history.add_sample(station.name, round_clamp_int32(value));
}

namespace {
const StationEntry* find_station(const std::vector<StationEntry>& stations, const std::string& name) {
  std::string wanted = to_lower(name);
  for (const auto& s : stations) {
    if (to_lower(s.name) == wanted) return &s;
  }
  return nullptr;
}
}  // namespace

int32_t get_station_max(const std::vector<StationEntry>& stations, const std::string& name) {
  const StationEntry* s = find_station(stations, name);
  return s ? s->max_hoerer : 0;
}

int32_t get_station_min(const std::vector<StationEntry>& stations, const std::string& name) {
  const StationEntry* s = find_station(stations, name);
  return s ? s->min_hoerer : 0;
}

}  // namespace kn
