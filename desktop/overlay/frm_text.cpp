#include "overlay/frm_text.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/text_util.h"
#include "overlay/monitors.h"
#include "platform/taskbar_win.h"
#include "win/dpi_win.h"

namespace kn {

namespace {

constexpr wchar_t kClassNameW[] = L"Klangnetz_frmText";  // kFrmTextClass

}  // namespace

FrmText::FrmText(AppState& app) : app_(app) {}

FrmText::~FrmText() {
  destroy();
  renderer_.reset();
  gdiplus_.reset();
}

bool FrmText::create(HWND owner, int32_t taskbar_height) {
  if (is_open()) return true;
  taskbar_height_ = taskbar_height;
  gdiplus_ = std::make_unique<GdiplusSession>();
  if (!gdiplus_->ok()) {
    gdiplus_.reset();
    MessageBoxA(owner, "Error loading GDI+!", kProgramTitle, MB_OK | MB_ICONERROR);
    return false;
  }
  {
    // Drawn at the scale of the monitor it stands on, whatever the process default.
    const DpiScope per_monitor = DpiScope::per_monitor();
    if (!create_window(WindowClass{kClassNameW}, GetModuleHandleW(nullptr), 0, L"", WS_POPUP, 0, 0, 0, 0,
                       owner)) {
      return false;
    }
  }
  renderer_ = std::make_unique<TextRenderer>();
  text_.clear();
  layout(LayoutMode::Create);
  return true;
}

void FrmText::show() {
  shown_ = true;
  if (is_open() && !hidden_) ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
}

void FrmText::set_hidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  if (is_open() && shown_) ShowWindow(hwnd(), hidden ? SW_HIDE : SW_SHOWNOACTIVATE);
}

void FrmText::set_Print_Text(std::string& text) {
  if (!is_open()) return;
  text = umlauts_from_pairs(text);
  text_ = text;
  layout(LayoutMode::NewText);
}

void FrmText::redraw_text() {
  if (!is_open()) return;
  layout(LayoutMode::Redraw);
}

const std::string& FrmText::get_text() const { return text_; }

int FrmText::measured_width_px() const { return measured_.width; }

int FrmText::measured_height_px() const { return measured_.height; }

int32_t FrmText::measured_width_twips() const { return px_to_twips(measured_.width, twips_per_px(dpi_)); }

int32_t FrmText::measured_height_twips() const { return px_to_twips(measured_.height, twips_per_px(dpi_)); }

void FrmText::move_to_twips(int32_t left, int32_t top) {
  if (!is_open()) return;
  const DpiScope own_pixels = DpiScope::of_window(hwnd());
  const std::vector<Monitor> monitors = current_monitors();
  const PxPoint p = twips_to_screen(left, top, monitors, system_dpi());
  RECT r{};
  GetWindowRect(hwnd(), &r);
  const PxRect moved{p.x, p.y, p.x + (r.right - r.left), p.y + (r.bottom - r.top)};
  // Onto a monitor of another scale: the letters are drawn anew at that scale.
  if (dpi_of(moved, monitors, dpi_) != dpi_) {
    layout(last_mode_, left, top);
    return;
  }
  place_x_ = left;
  place_y_ = top;
  SetWindowPos(hwnd(), nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FrmText::set_frame_observer(FrameObserver observer) { observer_ = std::move(observer); }

void FrmText::layout(LayoutMode mode) { layout(mode, app_.settings.window_pos_x, app_.settings.window_pos_y); }

void FrmText::layout(LayoutMode mode, int32_t pos_x, int32_t pos_y) {
  HWND w = hwnd();
  // Monitors, places and sizes in the overlay's own pixels, also when a dialog of
  // another awareness asks for the layout.
  const DpiScope own_pixels = DpiScope::of_window(w);
  in_layout_ = true;
  OverlayStyle style = style_from_settings(app_.settings);

  OverlayLayoutInput in;
  in.mode = mode;
  in.text = text_;
  in.text_size = style.text_size;
  in.window_pos_x = pos_x;
  in.window_pos_y = pos_y;
  in.previous_width_px = window_width_px_;
  in.previous_dpi = dpi_;
  in.system_dpi = system_dpi();
  in.monitors = current_monitors();
  in.screen_width_px = GetSystemMetrics(SM_CXSCREEN);
  in.screen_height_px = GetSystemMetrics(SM_CYSCREEN);
  in.max_width_px = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  in.max_height_px = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  in.taskbar_height_px = taskbar_height_;
  if (pos_x == 0 || pos_y == 0) {
    in.taskbar_align = taskbar_query(TaskbarField::kAlign);
    in.taskbar_left_px = taskbar_query(TaskbarField::kLeft);
  }
  const OverlayLayout g = lay_out_overlay(in, [&](int32_t dpi) {
    const TextExtent e = measure_text(text_, style.text_size, kFontFamily, dpi);
    return TextBlock{e.width, e.height};
  });
  last_mode_ = mode;
  place_x_ = pos_x;
  place_y_ = pos_y;
  dpi_ = g.dpi;
  window_width_px_ = g.window.width();
  measured_ = TextExtent{g.measured.width, g.measured.height};

  SetWindowLongW(w, GWL_EXSTYLE, GetWindowLongW(w, GWL_EXSTYLE) | WS_EX_LAYERED);

  window_dc own_dc(w);
  style.dpi = g.dpi;
  renderer_->prepare_drawing(style);
  RenderRequest req;
  req.text = text_;
  req.bitmap_width = g.window.width();
  req.bitmap_height = g.window.height();
  req.draw_width = g.draw_width;
  req.measured_height = g.measured.height;
  req.shift_x = g.shift_x;
  Frame frame = renderer_->render_text(own_dc.get(), req);
  if (observer_) observer_(frame);

  // The window is exactly as large as the pushed picture, so no resize can ever
  // show stale pixels; a zero-sized layout pushes one transparent pixel to wipe
  // the old picture, then shrinks the window to nothing.
  Frame blank;
  const Frame* push = &frame;
  if (frame.empty()) {
    blank = Frame(own_dc.get(), 1, 1);
    push = &blank;
  }
  const int32_t left = g.window.left;
  const int32_t top = g.window.top;
  if (!push->empty()) {
    POINT dst{left, top};
    SIZE size{push->width(), push->height()};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(w, own_dc.get(), &dst, &size, push->dc(), &src, 0, &blend, ULW_ALPHA);
  }
  SetWindowPos(w, HWND_TOPMOST, left, top, g.window.width(), g.window.height(), SWP_NOACTIVATE);
  SetWindowTextW(w, reinterpret_cast<const wchar_t*>(utf8_to_utf16(text_).c_str()));
  in_layout_ = false;
}

LRESULT FrmText::handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DPICHANGED) {
    // Its monitor's scale changed, or the window came onto a monitor of another one.
    // It stays at its place in twips (also one dragged to in the position dialog), not
    // in the rectangle Windows suggests; a change a layout caused is drawn already.
    if (!in_layout_) layout(last_mode_, place_x_, place_y_);
    return 0;
  }
  // Monitors came or went, a resolution or the taskbar changed: the place is checked
  // again. The last layout's mode, not a dialog's redraw, which would count the lines
  // anew and move the letters.
  if ((msg == WM_DISPLAYCHANGE || (msg == WM_SETTINGCHANGE && wp == SPI_SETWORKAREA)) && renderer_)
    layout(last_mode_, place_x_, place_y_);
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
