#include "settings_dialog/frm_konfig_position.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "settings_dialog/konfig_logic.h"
#include "units/twips.h"
#include "win/ansi_win.h"
#include "win/controls_win.h"
#include "win/dpi_win.h"
#include "win/modal_loop_win.h"
#include "win/screen_twips_win.h"
#include "win/window_placement_win.h"

namespace kn {

namespace {
constexpr COLORREF kDarkGreen = RGB(0, 64, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr const char* kHint = "Verschiebe das Fenster an die gew\xC3\xBCnschte Position.";
constexpr const char* kApplyTip = "Einstellungen \303\274bernehmen";
// The two image buttons must stay reachable even over an empty overlay.
constexpr int32_t kMinWidthTwips = 600;
constexpr int32_t kMinHeightTwips = 240;

using unique_hpen = unique_handle<HPEN, NullTraits<HPEN, delete_gdi>>;
}  // namespace

FrmKonfigPosition::FrmKonfigPosition(PositionHost& host, HINSTANCE instance)
    : host_(host), instance_(instance) {}

FrmKonfigPosition::~FrmKonfigPosition() {
  if (!closed_ && owner_) EnableWindow(owner_, TRUE);
  tooltip_.reset();
  destroy();
}

bool FrmKonfigPosition::create(HWND owner) {
  const DpiScope as_system = DpiScope::system_aware();
  owner_ = owner;
  twips_per_px_x_ = twips_per_px_x();
  twips_per_px_y_ = twips_per_px_y();
  background_.reset(CreateSolidBrush(kDarkGreen));

  const Settings& s = host_.settings();
  const int32_t width_twips = std::max(host_.overlay_width_twips(), kMinWidthTwips);
  const int32_t height_twips = std::max(host_.overlay_height_twips(), kMinHeightTwips);
  if (!create_window(WindowClass{kFrmKonfigPositionClass}, instance_, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"",
                     WS_POPUP | WS_CLIPCHILDREN, twips_to_px(s.window_pos_x, twips_per_px_x_),
                     twips_to_px(s.window_pos_y, twips_per_px_y_), twips_to_px(width_twips, twips_per_px_x_),
                     twips_to_px(height_twips, twips_per_px_y_), owner)) {
    return false;
  }
  // Stored on a monitor that is gone, it would open where nobody can drag it.
  keep_on_a_monitor(hwnd());

  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  HWND apply_button = create_control(hwnd(), L"BUTTON", "", button, kApplyImage, 0, 0, 240, 240);
  create_control(hwnd(), L"BUTTON", "", button, kResetImage, 360, 0, 240, 240);
  // SS_NOTIFY keeps a press on the hint from reaching the background, so it does not drag.
  create_control(hwnd(), L"STATIC", kHint, WS_VISIBLE | SS_NOTIFY, kHintLabel, 120, 1800, 5655, 375);
  create_control(hwnd(), L"BUTTON", "\303\234bernehmen", WS_VISIBLE | WS_TABSTOP, kApplyButton, 3600, 2400,
                 1815, 375);
  create_control(hwnd(), L"BUTTON", "Abbrechen", WS_VISIBLE | WS_TABSTOP, kResetButton, 240, 2400, 1815, 375);

  if (tooltip_.create(hwnd())) tooltip_.add_tool(apply_button, utf8_to_wide(kApplyTip));

  if (owner_) EnableWindow(owner_, FALSE);
  ShowWindow(hwnd(), SW_SHOW);
  SetForegroundWindow(hwnd());
  SetFocus(hwnd());
  return true;
}

POINT FrmKonfigPosition::left_top_twips() const {
  RECT r{};
  GetWindowRect(hwnd(), &r);
  return POINT{dropped_position_twips(r.left, twips_per_px_x_),
               dropped_position_twips(r.top, twips_per_px_y_)};
}

void FrmKonfigPosition::apply() {
  const POINT p = left_top_twips();
  host_.settings().window_pos_x = p.x;
  host_.settings().window_pos_y = p.y;
  host_.redraw_text();
  close();
}

void FrmKonfigPosition::reset() {
  host_.settings().window_pos_x = 0;
  host_.settings().window_pos_y = 0;
  host_.redraw_text();
  close();
}

void FrmKonfigPosition::close() {
  if (closed_) return;
  closed_ = true;
  // The owner comes back before this window goes, so activation returns to it.
  if (owner_) EnableWindow(owner_, TRUE);
  tooltip_.reset();
  destroy();
}

void FrmKonfigPosition::draw_image_button(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, background_.get());
  const RECT& r = item.rcItem;
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const bool apply_image = item.CtlID == kApplyImage;
  unique_hpen pen(
      CreatePen(PS_SOLID, std::max(1, w / 8), apply_image ? RGB(120, 255, 120) : RGB(255, 120, 120)));
  select_guard keep(dc, pen.get());
  if (apply_image) {  // a tick
    MoveToEx(dc, r.left + w / 5, r.top + h / 2, nullptr);
    LineTo(dc, r.left + w * 2 / 5, r.top + h * 3 / 4);
    LineTo(dc, r.left + w * 4 / 5, r.top + h / 4);
  } else {  // a cross
    MoveToEx(dc, r.left + w / 4, r.top + h / 4, nullptr);
    LineTo(dc, r.left + w * 3 / 4, r.top + h * 3 / 4);
    MoveToEx(dc, r.left + w * 3 / 4, r.top + h / 4, nullptr);
    LineTo(dc, r.left + w / 4, r.top + h * 3 / 4);
  }
}

LRESULT FrmKonfigPosition::handle(UINT msg, WPARAM wp, LPARAM lp) {
  HWND w = hwnd();
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r{};
      GetClientRect(w, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, background_.get());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      return caption_colour(wp, kWhite, background_.get(), kDarkGreen);
    case WM_DRAWITEM:
      draw_image_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_LBUTTONDOWN:
      start_x_ = px_to_twips(GET_X_LPARAM(lp), twips_per_px_x_);
      start_y_ = px_to_twips(GET_Y_LPARAM(lp), twips_per_px_y_);
      dragging_ = true;
      SetCapture(w);  // so that releasing anywhere ends the drag
      return 0;
    case WM_MOUSEMOVE:
      if (dragging_) {
        const POINT p = left_top_twips();
        const int32_t left = p.x + px_to_twips(GET_X_LPARAM(lp), twips_per_px_x_) - start_x_;
        const int32_t top = p.y + px_to_twips(GET_Y_LPARAM(lp), twips_per_px_y_) - start_y_;
        SetWindowPos(w, nullptr, twips_to_px(left, twips_per_px_x_), twips_to_px(top, twips_per_px_y_), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        // The overlay goes where applying would put it.
        const POINT now = left_top_twips();
        host_.move_overlay_twips(now.x, now.y);
      }
      return 0;
    case WM_LBUTTONUP:
      dragging_ = false;
      if (GetCapture() == w) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      dragging_ = false;
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kApplyImage:
        case kApplyButton:
          apply();
          return 0;
        case kResetImage:
        case kResetButton:
          reset();
          return 0;
        case IDCANCEL:  // Escape, through the modal loop
          close();
          return 0;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return WindowBase::handle(msg, wp, lp);
}

void show_position_dialog(PositionHost& host, HINSTANCE instance, HWND owner) {
  FrmKonfigPosition dialog(host, instance);
  if (dialog.create(owner)) run_modal(dialog);
}

}  // namespace kn
