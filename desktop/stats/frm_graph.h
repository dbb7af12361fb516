#pragma once
// frmGraph, the statistics window: a station's extremes and its line graph.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/history_range.h"
#include "core/hoerer_stats.h"
#include "core/local_moment.h"
#include "core/settings.h"
#include "stats/frm_plays.h"
#include "stats/gdi_surface_win.h"
#include "stats/history_plot.h"
#include "stats/stats_view.h"
#include "win/controls_win.h"
#include "win/window_base_win.h"

namespace kn {

inline constexpr const wchar_t* kGraphWindowClass = L"Klangnetz_frmGraph";

// The listener history on disk, for the ranges; while the user keeps none, the
// window shows the samples in memory alone.
struct GraphHistory {
  std::function<bool()> kept = {};
  // The station's samples of a range and their songs; its unreadable count is of
  // the files' lines that are no row.
  std::function<StationRange(const std::string& station, int64_t from_utc, int64_t to_utc)> samples = {};
  std::function<LocalMoment()> now = {};
  std::function<int()> update_interval = {};  // minutes
  int64_t program_start_utc = 0;
};

// Asks where an export goes: the full path, or nothing when the user cancels.
using SavePrompt = std::function<std::optional<std::wstring>(HWND owner, const std::wstring& suggested)>;

// Reads the station list and the history; changes neither.
class FrmGraph : public WindowBase {
 public:
  FrmGraph(const std::vector<StationEntry>& stations, const History& history, HINSTANCE instance,
           GraphHistory disk = {});
  ~FrmGraph() override;
  FrmGraph(const FrmGraph&) = delete;
  FrmGraph& operator=(const FrmGraph&) = delete;

  // Creates and shows the window and runs its load step; run_modal
  // (win/modal_loop_win.h) then serves it, and its fills run on the window's timer.
  bool open();
  void close();

  HWND combo() const { return combo_; }
  HWND label_min() const { return label_min_; }
  HWND label_max() const { return label_max_; }
  // The history's controls; nullptr while no history is kept.
  HWND range_combo() const { return range_combo_; }
  HWND label_mean() const { return label_mean_; }
  HWND label_unreadable() const { return label_unreadable_; }
  HWND export_button() const { return export_button_; }
  HWND titles_button() const { return titles_button_; }
  // The list of plays the "Titel …" button opened; closed when none is shown.
  const FrmPlays& plays_window() const { return plays_; }
  GdiSurface* surface() const { return surface_.get(); }
  const StatsView& view() const { return view_; }
  const HistoryPlot& plot() const { return plot_; }
  HistoryRange range() const { return range_; }
  // The tooltip's text for the pointer's latest place over the graph.
  const std::wstring& tip_text() const { return tip_text_; }
  void set_save_prompt(SavePrompt prompt) { save_prompt_ = std::move(prompt); }
  // Where the pointer moved over the graph (surface pixels).
  void pointer_at(int x);
  // A heard poll's rows: an open range takes its station's from memory, without
  // reading the files again, and moves on to now; an open list of plays follows.
  void poll_heard(const std::vector<HistoryRow>& rows);

 private:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void create_controls();
  void create_history_controls();
  void on_resize();
  void on_selection();
  void on_range_selection();
  void show_labels();
  // The station list's chosen entry: its index (0: the prompt) and text.
  std::optional<std::pair<int, std::string>> selected_entry() const;
  std::string selected_station() const;
  // From and to (UTC) of the chosen range as it is now.
  std::pair<int64_t, int64_t> range_bounds() const;
  void show_range();
  void draw_range(StationRange range, int64_t from, int64_t to);
  void show_range_labels(bool shown);
  void export_range();
  void show_plays();
  bool history_shown() const { return range_combo_ != nullptr; }

  HINSTANCE instance_;
  StatsView view_;
  std::unique_ptr<GdiSurface> surface_;
  HWND combo_ = nullptr;  // children go with the window
  HWND label_min_ = nullptr;
  HWND label_max_ = nullptr;

  GraphHistory disk_;
  SavePrompt save_prompt_;
  HistoryRange range_ = HistoryRange::kSinceStart;
  HistoryPlot plot_;
  HWND range_combo_ = nullptr;
  HWND mean_caption_ = nullptr;
  HWND label_mean_ = nullptr;
  HWND label_unreadable_ = nullptr;
  HWND export_button_ = nullptr;
  HWND titles_button_ = nullptr;
  FrmPlays plays_;
  Tooltip tooltip_;
  std::wstring tip_text_;
};

}  // namespace kn
