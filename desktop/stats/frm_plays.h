#pragma once
// frmPlays: the songs a station played in the statistics window's range, one row a
// play, sorted by the column whose header was clicked. The list is virtual: a year
// holds over a hundred thousand plays, and the view asks only for the rows it shows.
#include <windows.h>

#include <string>
#include <vector>

#include "core/plays.h"
#include "win/window_base_win.h"

namespace kn {

inline constexpr const wchar_t* kPlaysWindowClass = L"Klangnetz_frmPlays";

class FrmPlays : public WindowBase {
 public:
  explicit FrmPlays(HINSTANCE instance) : instance_(instance) {}
  ~FrmPlays() override;
  FrmPlays(const FrmPlays&) = delete;
  FrmPlays& operator=(const FrmPlays&) = delete;

  // Shows the station's plays, in a window of its own owned by `owner` (the open one
  // is brought up to date); the order the user chose stays.
  bool show(HWND owner, const std::string& station, std::vector<Play> plays);
  void close() { destroy(); }

  HWND list() const { return list_; }
  // In the order shown.
  const std::vector<Play>& plays() const { return plays_; }

 private:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void sort_by(int column);
  void refill();

  HINSTANCE instance_;
  HWND list_ = nullptr;  // goes with the window
  std::vector<Play> plays_;
  int sort_column_ = -1;  // none chosen: time order
  bool descending_ = false;
  std::wstring cell_;  // the text the view asked for last
};

}  // namespace kn
