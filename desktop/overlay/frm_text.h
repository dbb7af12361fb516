#pragma once
// frmText: the borderless, topmost, per-pixel-alpha window that shows the
// display text on the desktop.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/app_state.h"
#include "overlay/layout.h"
#include "overlay/text_renderer_win.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

inline constexpr const char* kFrmTextClass = "Klangnetz_frmText";

class FrmText : public WindowBase {
 public:
  explicit FrmText(AppState& app);
  ~FrmText() override;
  FrmText(const FrmText&) = delete;
  FrmText& operator=(const FrmText&) = delete;

  // Creates the hidden layered window owned by `owner` and starts GDI+. On GDI+
  // failure shows "Error loading GDI+!" and returns false; the overlay then stays
  // inert.
  bool create(HWND owner, int32_t taskbar_height);
  void show();  // without activation
  // Out of a full-screen program's way: not shown, but laid out as usual, so it
  // comes back with the text of now.
  void set_hidden(bool hidden);
  void set_Print_Text(std::string& text);  // UTF-8 in; replaced by the prepared text
  void redraw_text();
  const std::string& get_text() const;
  // The measured text block in the pixels of the monitor it stands on, and in twips
  // for the position dialog, which has a scale of its own; moving the window to a
  // place in twips as the dialog counts them.
  int measured_width_px() const;
  int measured_height_px() const;
  int32_t measured_width_twips() const;
  int32_t measured_height_twips() const;
  void move_to_twips(int32_t left, int32_t top);

  // Sees each finished drawing just before it is pushed to the screen.
  using FrameObserver = std::function<void(const Frame&)>;
  void set_frame_observer(FrameObserver observer);

 private:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void layout(LayoutMode mode);
  void layout(LayoutMode mode, int32_t pos_x, int32_t pos_y);

  AppState& app_;
  std::unique_ptr<GdiplusSession> gdiplus_;
  std::unique_ptr<TextRenderer> renderer_;  // released before GDI+ shuts down
  std::string text_;
  int32_t taskbar_height_ = 0;
  bool shown_ = false;
  bool hidden_ = false;
  int32_t window_width_px_ = 0;
  int32_t dpi_ = 96;
  LayoutMode last_mode_ = LayoutMode::Create;
  int32_t place_x_ = 0;  // twips of the last layout or move
  int32_t place_y_ = 0;
  bool in_layout_ = false;
  TextExtent measured_;
  FrameObserver observer_;
};

}  // namespace kn
