#pragma once
// frmGraph, the statistics window: a station's extremes and its line graph.
#include <windows.h>

#include <memory>
#include <vector>

#include "core/hoerer_stats.h"
#include "core/settings.h"
#include "stats/gdi_surface_win.h"
#include "stats/stats_view.h"
#include "win/window_base_win.h"

namespace kn {

inline constexpr const wchar_t* kGraphWindowClass = L"Klangnetz_frmGraph";

// Reads the station list and the history; changes neither.
class FrmGraph : public WindowBase {
 public:
  FrmGraph(const std::vector<StationEntry>& stations, const History& history, HINSTANCE instance);
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
  GdiSurface* surface() const { return surface_.get(); }
  const StatsView& view() const { return view_; }

 private:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void create_controls();
  void on_resize();
  void on_selection();
  void show_labels();

  HINSTANCE instance_;
  StatsView view_;
  std::unique_ptr<GdiSurface> surface_;
  HWND combo_ = nullptr;  // children go with the window
  HWND label_min_ = nullptr;
  HWND label_max_ = nullptr;
};

}  // namespace kn
