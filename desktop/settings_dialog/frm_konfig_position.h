#pragma once
// frmKonfig_position: a dark green rectangle of the overlay's size that the user
// drags to where the overlay should stand.
#include <windows.h>

#include <cstdint>

#include "core/settings.h"
#include "win/controls_win.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

// What the position dialog needs from the program.
class PositionHost {
 public:
  virtual ~PositionHost() = default;
  virtual Settings& settings() = 0;
  virtual void redraw_text() = 0;
  // The overlay's size in twips: it may stand on a monitor of another scale than the dialog's.
  virtual int32_t overlay_width_twips() = 0;
  virtual int32_t overlay_height_twips() = 0;
  virtual void move_overlay_twips(int32_t left, int32_t top) = 0;
};

inline constexpr const wchar_t* kFrmKonfigPositionClass = L"Klangnetz_frmKonfig_position";

class FrmKonfigPosition : public WindowBase {
 public:
  enum Control : int { kApplyImage = 2001, kResetImage, kHintLabel, kApplyButton, kResetButton };

  FrmKonfigPosition(PositionHost& host, HINSTANCE instance);
  ~FrmKonfigPosition() override;
  FrmKonfigPosition(const FrmKonfigPosition&) = delete;
  FrmKonfigPosition& operator=(const FrmKonfigPosition&) = delete;

  // Creates and shows the dialog at the stored position; `owner` stays disabled
  // until it closes. run_modal (win/modal_loop_win.h) then serves it.
  bool create(HWND owner);

  HWND control(int id) const { return GetDlgItem(hwnd(), id); }
  bool closed() const { return closed_; }

 private:
  LRESULT handle(UINT, WPARAM, LPARAM) override;
  void apply();
  void reset();
  void close();
  void draw_image_button(const DRAWITEMSTRUCT& item);
  POINT left_top_twips() const;

  PositionHost& host_;
  HINSTANCE instance_;
  HWND owner_ = nullptr;
  unique_hbrush background_;
  Tooltip tooltip_;  // destroyed before the window it belongs to
  double twips_per_px_x_ = 15;
  double twips_per_px_y_ = 15;
  // Where in the dialog the button went down (twips), and whether it is still held.
  int32_t start_x_ = 0;
  int32_t start_y_ = 0;
  bool dragging_ = false;
  bool closed_ = false;
};

// Opens the dialog modally over `owner`.
void show_position_dialog(PositionHost& host, HINSTANCE instance, HWND owner);

}  // namespace kn
