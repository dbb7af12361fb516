#include "stats/stats_view.h"

#include "core/text_util.h"

namespace kn {

namespace {
// The graph's colours, 0x00BBGGRR.
constexpr uint32_t kBackgroundBlack = 0x000000;
constexpr uint32_t kLineGreen = 0x00FF00;
constexpr uint32_t kBorderRed = 0x0000FF;  // never drawn: the border's size is 0
constexpr uint32_t kGridTeal = 0x808000;
}  // namespace

std::vector<std::string> StatsView::combo_entries() const {
  std::vector<std::string> entries{kStationPrompt};
  for (const auto& s : stations_) entries.push_back(s.name);
  return entries;
}

void StatsView::apply_graph_settings() {
  graph_.PicBackground(kBackgroundBlack);
  graph_.PicForeground(kLineGreen);
  graph_.BorderColor(kBorderRed);
  graph_.BorderSize(0);
  graph_.GridColor(kGridTeal);
  graph_.GridVisible(true);
}

void StatsView::load() {
  stop_fill();
  // Selecting the prompt raises a selection, which a window that was loaded before
  // handles like any other.
  if (is_loaded_) select(0, kStationPrompt);
  graph_.clear_values();
  apply_graph_settings();
  graph_.Draw();
  is_loaded_ = true;
}

void StatsView::select(int index, const std::string& text) {
  if (!is_loaded_) return;
  ++generation_;
  next_fill_.reset();
  graph_.clear_values();
  const int32_t max = get_station_max(stations_, text);
  label_max_ = std::to_string(max);
  label_min_ = std::to_string(get_station_min(stations_, text));
  if (labels_changed_) labels_changed_();
  apply_graph_settings();
  graph_.max_Height(max);
  graph_.Draw();
  if (index != 0) run_fills(trim_blanks(text));
}

void StatsView::stop_fill() {
  ++generation_;
  next_fill_.reset();
}

void StatsView::run_fills(const std::string& name) {
  next_fill_ = name;
  // A selection made from inside a running fill's yield leaves its fill to the
  // outer loop, so fills never nest.
  if (filling_) return;
  filling_ = true;
  while (next_fill_) {
    std::string current = std::move(*next_fill_);
    next_fill_.reset();
    fill_graph(current);
  }
  filling_ = false;
}

void StatsView::fill_graph(const std::string& name) {
  const uint64_t generation = generation_;
  const std::string wanted = to_upper(name);
  // The samples as they are now: polls during the fill add new ones and, at the cap,
  // drop old ones, which moves everything the fill has still to read.
  std::vector<int32_t> counts;
  for (size_t i = 0; i < history_.sample_count(); ++i) {
    const HistoryEntry& e = history_.entries()[i];
    if (to_upper(e.station) == wanted) counts.push_back(e.count);
  }
  for (int32_t count : counts) {
    graph_.add_value(static_cast<double>(count));
    graph_.Draw();
    if (yield_) yield_();
    if (generation != generation_) return;
  }
}

}  // namespace kn
