#pragma once
// frmGraph, the statistics window: a station's extremes and its line graph.
#include <windows.h>

#include <memory>

#include "core/app_state.h"
#include "core/win_handle.h"
#include "stats/gdi_surface_win.h"
#include "stats/stats_view.h"

namespace kn {

inline constexpr const wchar_t* kGraphWindowClass = L"Klangnetz_frmGraph";

class FrmGraph {
 public:
  FrmGraph(AppState& app, HINSTANCE instance);
  ~FrmGraph();
  FrmGraph(const FrmGraph&) = delete;
  FrmGraph& operator=(const FrmGraph&) = delete;

  // Creates and shows the window and runs its load step.
  bool open();
  // Runs until the window is closed.
  void run_modal();
  void close();
  bool is_open() const { return static_cast<bool>(window_); }

  HWND hwnd() const { return window_.get(); }
  HWND combo() const { return combo_; }
  HWND label_min() const { return label_min_; }
  HWND label_max() const { return label_max_; }
  GdiSurface* pic() const { return pic_.get(); }
  const StatsView& view() const { return view_; }

 private:
  static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void create_controls();
  void on_resize();
  void on_selection();
  void show_labels();
  void wait_and_pump();
  int px_x(int twips) const;
  int px_y(int twips) const;

  HINSTANCE instance_;
  StatsView view_;
  unique_hwnd window_;
  std::unique_ptr<GdiSurface> pic_;
  HWND combo_ = nullptr;  // children go with the window
  HWND label_min_ = nullptr;
  HWND label_max_ = nullptr;
  int twips_per_px_x_ = 15;
  int twips_per_px_y_ = 15;
};

}  // namespace kn
