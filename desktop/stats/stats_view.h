#pragma once
// What the statistics window shows, apart from its controls: the station choice,
// the extremes labels and the graph that a fill builds up sample by sample.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/hoerer_stats.h"
#include "core/settings.h"
#include "stats/line_graph.h"

namespace kn {

inline constexpr const char* kStationPrompt = "Bitte eine Station ausw\xC3\xA4hlen:";

class StatsView {
 public:
  // Asked for after each sample of a fill: the owner lets the user interface work
  // for a while (which may select again, poll or close), then calls fill_step().
  using Pause = std::function<void()>;

  StatsView(const std::vector<StationEntry>& stations, const History& history)
      : stations_(stations), history_(history) {}

  void set_pause(Pause pause) { pause_ = std::move(pause); }
  // Runs when a selection has set the labels, before its fill starts.
  void set_labels_changed(std::function<void()> f) { labels_changed_ = std::move(f); }
  void set_surface(DrawSurface* surface) { graph_.Surface(surface); }

  // The prompt, then every station name in list order.
  std::vector<std::string> combo_entries() const;

  // The window's load step, with the prompt selected.
  void load();

  // The user picked entry `index` whose text is `text`. A fill that is running
  // stops; a station entry starts its own fill from an empty graph and draws its
  // first sample.
  void select(int index, const std::string& text);

  // The pause after a sample is over: draws the next sample, or ends the fill when
  // none is left. Does nothing when no fill runs.
  void fill_step();

  // Ends a running fill at once, e.g. because the window closes.
  void stop_fill();

  // Redraws what is gathered so far (after a resize).
  void redraw() { graph_.Draw(); }

  bool is_loaded() const { return is_loaded_; }
  // From a selection's start to the step after its last sample.
  bool filling() const { return filling_; }
  const std::string& label_min() const { return label_min_; }
  const std::string& label_max() const { return label_max_; }
  const std::vector<double>& graph_data() const { return graph_.values(); }
  const clsLineGraph& graph() const { return graph_; }

 private:
  void apply_graph_settings();
  void start_fill(const std::string& name);

  const std::vector<StationEntry>& stations_;
  const History& history_;
  Pause pause_;
  std::function<void()> labels_changed_;
  clsLineGraph graph_;
  bool is_loaded_ = false;
  std::string label_min_ = "0";
  std::string label_max_ = "0";
  bool filling_ = false;
  // The running fill's samples as they were when it began, and the next one to draw.
  std::vector<int32_t> fill_counts_;
  size_t fill_next_ = 0;
};

}  // namespace kn
