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
  stop_fill();
  graph_.clear_values();
  const int32_t max = get_station_max(stations_, text);
  label_max_ = std::to_string(max);
  label_min_ = std::to_string(get_station_min(stations_, text));
  if (labels_changed_) labels_changed_();
  apply_graph_settings();
  graph_.max_Height(max);
  graph_.Draw();
  if (index != 0) start_fill(trim_blanks(text));
}

void StatsView::stop_fill() {
  filling_ = false;
  fill_counts_.clear();
  fill_next_ = 0;
}

void StatsView::start_fill(const std::string& name) {
  const std::string wanted = to_upper(name);
  // The samples as they are now: polls during the fill add new ones and, at the cap,
  // drop old ones, which would move everything the fill has still to read.
  for (size_t i = 0; i < history_.sample_count(); ++i) {
    const HistoryEntry& e = history_.entries()[i];
    if (to_upper(e.station) == wanted) fill_counts_.push_back(e.count);
  }
  filling_ = !fill_counts_.empty();
  fill_step();
}

void StatsView::fill_step() {
  if (!filling_) return;
  if (fill_next_ == fill_counts_.size()) {
    stop_fill();
    return;
  }
  graph_.add_value(static_cast<double>(fill_counts_[fill_next_++]));
  graph_.Draw();
  if (pause_) pause_();
}

}  // namespace kn
