#include "overlay/frm_text.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/text_util.h"
#include "overlay/monitors.h"

namespace kn {

namespace {

constexpr wchar_t kClassNameW[] = L"Klangnetz_frmText";  // kFrmTextClass

struct ScreenMetrics {
  int32_t width_px = 0;
  int32_t height_px = 0;
  double tpp_x = 15;
  double tpp_y = 15;
  int32_t dpi = 96;
};

ScreenMetrics screen_metrics() {
  ScreenMetrics m;
  m.width_px = GetSystemMetrics(SM_CXSCREEN);
  m.height_px = GetSystemMetrics(SM_CYSCREEN);
  window_dc screen(nullptr);
  if (screen.get()) {
    m.tpp_x = twips_per_px(GetDeviceCaps(screen.get(), LOGPIXELSX));
    m.dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    m.tpp_y = twips_per_px(m.dpi);
  }
  return m;
}

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
  if (!create_window(WindowClass{kClassNameW}, GetModuleHandleW(nullptr), 0, L"", WS_POPUP, 0, 0, 0, 0,
                     owner)) {
    return false;
  }
  renderer_ = std::make_unique<TextRenderer>();
  text_.clear();
  layout(Mode::Create);
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
  text = prepare_text(text);
  text_ = text;
  layout(Mode::NewText);
}

void FrmText::redraw_text() {
  if (!is_open()) return;
  layout(Mode::Redraw);
}

const std::string& FrmText::get_text() const { return text_; }

int FrmText::measured_width_px() const { return measured_.width; }

int FrmText::measured_height_px() const { return measured_.height; }

void FrmText::move_to_twips(int32_t left, int32_t top) {
  if (!is_open()) return;
  const ScreenMetrics m = screen_metrics();
  SetWindowPos(hwnd(), nullptr, twips_to_px(left, m.tpp_x), twips_to_px(top, m.tpp_y), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FrmText::set_frame_observer(FrameObserver observer) { observer_ = std::move(observer); }

void FrmText::layout(Mode mode) {
  HWND w = hwnd();
  const ScreenMetrics m = screen_metrics();
  OverlayStyle style = style_from_settings(app_);
  style.dpi = m.dpi;
  measured_ = measure_text(text_, style.text_size, kFontFamily, m.dpi);

  int32_t height_px = 0;
  double height_tw = 0;
  if (mode == Mode::Create) {
    draw_width_ = twips_to_px(kDesignWidthTwips, m.tpp_x);
    height_tw = kDesignHeightTwips;
    lines_ = 0;
  } else {
    lines_ = count_lines(text_, mode == Mode::NewText);
    height_tw = height_twips(lines_, style.text_size);
    // A redraw keeps the layout width of the window as it stands.
    draw_width_ =
        mode == Mode::NewText
            ? new_text_draw_width(measured_.width, static_cast<int32_t>(em_px(style.text_size, m.dpi) + 0.5f))
            : window_width_px_;
  }
  // Nothing beyond the screens can be seen: a larger picture only costs memory, and
  // an X server under Wine drops the program for one of a few megabytes.
  const int32_t uncut_height_px = twips_to_px(height_tw, m.tpp_y);
  const int32_t max_width_px = std::max(1, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  const int32_t max_height_px = std::max(1, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  height_px = std::min(clamp_side(uncut_height_px), max_height_px);
  window_width_px_ = std::min(clamp_side(measured_.width), max_width_px);

  SetWindowLongW(w, GWL_EXSTYLE, GetWindowLongW(w, GWL_EXSTYLE) | WS_EX_LAYERED);

  window_dc own_dc(w);
  renderer_->prepare_drawing(style);
  RenderRequest req;
  req.text = text_;
  req.bitmap_width = window_width_px_;
  req.bitmap_height = height_px;
  req.draw_width = draw_width_;
  req.measured_height = measured_.height;
  // The window stops at the screen's width and keeps its right edge where it is
  // placed, so a wider line shows its end there, as an uncut window would.
  const int32_t em = static_cast<int32_t>(em_px(style.text_size, m.dpi) + 0.5f);
  if (mode == Mode::NewText) req.shift_x = std::max(0, draw_width_ + em - window_width_px_);
  Frame frame = renderer_->render_text(own_dc.get(), req);
  if (observer_) observer_(frame);

  PlacementInput in;
  in.window_pos_x = app_.window_pos_x;
  in.window_pos_y = app_.window_pos_y;
  in.window_width_twips = window_width_px_ * m.tpp_x;
  // A cut bitmap places by the height it has.
  in.window_height_twips = height_px < uncut_height_px ? height_px * m.tpp_y : height_tw;
  in.screen_width_px = m.width_px;
  in.screen_height_px = m.height_px;
  in.twips_per_px_x = m.tpp_x;
  in.twips_per_px_y = m.tpp_y;
  in.taskbar_height_px = taskbar_height_;
  if (in.window_pos_x == 0 || in.window_pos_y == 0) {
    in.taskbar_align = taskbar_info("ALIGN");
    in.taskbar_left_px = taskbar_info("LEFT");
  }
  const PlacementTwips p = place_overlay(in);
  // A place that no monitor shows any more is not where the user wants it; the
  // saved position stays as it is, for the day that monitor is back.
  const int32_t placed_left = twips_to_px(p.left, m.tpp_x);
  const int32_t placed_top = twips_to_px(p.top, m.tpp_y);
  const PxRect shown = keep_on_monitors(
      PxRect{placed_left, placed_top, placed_left + window_width_px_, placed_top + height_px},
      current_monitors());
  const int32_t left = shown.left;
  const int32_t top = shown.top;

  // The window is exactly as large as the pushed picture, so no resize can ever
  // show stale pixels; a zero-sized layout pushes one transparent pixel to wipe
  // the old picture, then shrinks the window to nothing.
  Frame blank;
  const Frame* push = &frame;
  if (frame.empty()) {
    blank = Frame(own_dc.get(), 1, 1);
    push = &blank;
  }
  if (!push->empty()) {
    POINT dst{left, top};
    SIZE size{push->width(), push->height()};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(w, own_dc.get(), &dst, &size, push->dc(), &src, 0, &blend, ULW_ALPHA);
  }
  SetWindowPos(w, HWND_TOPMOST, left, top, window_width_px_, height_px, SWP_NOACTIVATE);
  SetWindowTextW(w, reinterpret_cast<const wchar_t*>(utf8_to_utf16(text_).c_str()));
}

LRESULT FrmText::handle(UINT msg, WPARAM wp, LPARAM lp) {
  // Monitors came or went, a resolution or the taskbar changed: the place is checked again.
  if (msg == WM_DISPLAYCHANGE || (msg == WM_SETTINGCHANGE && wp == SPI_SETWORKAREA)) redraw_text();
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
