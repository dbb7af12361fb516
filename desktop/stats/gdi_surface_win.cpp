#include "stats/gdi_surface_win.h"

#include <algorithm>
#include <cmath>

#include "win/ansi_win.h"

namespace kn {

namespace {
constexpr const wchar_t* kSurfaceClass = L"Klangnetz_PIC1";

int to_pixel(double v) { return static_cast<int>(std::floor(v + 0.5)); }

// Cuts the segment to the box (Liang-Barsky); false when nothing is left. Keeps
// far-off points (a count far below the scale) out of GDI's coordinate range.
bool clip(double& x1, double& y1, double& x2, double& y2, double lo_x, double lo_y, double hi_x,
          double hi_y) {
  double t0 = 0, t1 = 1;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - lo_x, hi_x - x1, y1 - lo_y, hi_y - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
  x2 = x1 + t1 * dx;
  y2 = y1 + t1 * dy;
  x1 = nx1;
  y1 = ny1;
  return true;
}
}  // namespace

GdiSurface::GdiSurface(HWND parent, HINSTANCE instance, int border_style) : border_style_(border_style) {
  const DWORD style = WS_CHILD | WS_VISIBLE | (border_style_ == 1 ? WS_BORDER : 0);
  LOGFONTW lf{};
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf) == sizeof lf)
    font_.reset(CreateFontIndirectW(&lf));
  create_window(WindowClass{kSurfaceClass}, instance, 0, L"", style, 0, 0, 0, 0, parent);
}

GdiSurface::~GdiSurface() {
  destroy();
  release_picture();
}

void GdiSurface::release_picture() {
  bitmap_.reset();
  dc_.reset();
}

void GdiSurface::make_picture() {
  release_picture();
  RECT rc{};
  if (is_open()) GetClientRect(hwnd(), &rc);
  width_ = rc.right;
  height_ = rc.bottom;
  if (width_ <= 0 || height_ <= 0) return;
  window_dc screen(hwnd());
  dc_.reset(CreateCompatibleDC(screen.get()));
  if (dc_) bitmap_ = selected_bitmap(dc_.get(), CreateCompatibleBitmap(screen.get(), width_, height_));
  if (!dc_ || !bitmap_) {
    release_picture();
    return;
  }
  clear();
}

void GdiSurface::move(int x, int y, int width, int height) {
  if (!is_open()) return;
  MoveWindow(hwnd(), x, y, std::max(width, 0), std::max(height, 0), TRUE);
  make_picture();
}

COLORREF GdiSurface::pixel(int x, int y) const {
  if (!dc_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  return GetPixel(dc_.get(), x, y);
}

void GdiSurface::set_background(uint32_t colour) {
  background_ = colour;
  clear();
}

void GdiSurface::clear() {
  if (!dc_) return;
  RECT rc{0, 0, width_, height_};
  SetDCBrushColor(dc_.get(), background_);
  FillRect(dc_.get(), &rc, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void GdiSurface::line(float x1, float y1, float x2, float y2, uint32_t colour) {
  if (!dc_) return;
  double ax = x1, ay = y1, bx = x2, by = y2;
  if (!clip(ax, ay, bx, by, -2.0, -2.0, width_ + 2.0, height_ + 2.0)) return;
  HDC dc = dc_.get();
  select_guard pen(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, colour);
  MoveToEx(dc, to_pixel(ax), to_pixel(ay), nullptr);
  LineTo(dc, to_pixel(bx), to_pixel(by));
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void GdiSurface::rectangle(float x1, float y1, float x2, float y2, uint32_t colour) {
  if (!dc_) return;
  // Both corners belong to the box; GDI leaves out the right and bottom edge.
  auto limit = [](double v, int hi) { return std::clamp(v, -2.0, hi + 2.0); };
  int l = to_pixel(limit(std::min(x1, x2), width_)), r = to_pixel(limit(std::max(x1, x2), width_));
  int t = to_pixel(limit(std::min(y1, y2), height_)), b = to_pixel(limit(std::max(y1, y2), height_));
  HDC dc = dc_.get();
  select_guard pen(dc, GetStockObject(DC_PEN));
  select_guard brush(dc, GetStockObject(NULL_BRUSH));
  SetDCPenColor(dc, colour);
  Rectangle(dc, l, t, r + 1, b + 1);
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void GdiSurface::text(float x, float y, const std::string& utf8, uint32_t colour) {
  if (!dc_ || utf8.empty()) return;
  const int px = to_pixel(std::clamp<double>(x, -2.0, width_ + 2.0));
  const int py = to_pixel(std::clamp<double>(y, -2.0, height_ + 2.0));
  const std::wstring wide = utf8_to_wide(utf8);
  HDC dc = dc_.get();
  // Without a font of its own the DC's system font is far too large for the labels.
  select_guard font(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_colour = SetTextColor(dc, colour);
  TextOutW(dc, px, py, wide.c_str(), static_cast<int>(wide.size()));
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
  InvalidateRect(hwnd(), nullptr, FALSE);
}

LRESULT GdiSurface::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      paint_scope paint(hwnd());
      if (dc_) {
        BitBlt(paint.dc(), 0, 0, width_, height_, dc_.get(), 0, 0, SRCCOPY);
      } else {
        FillRect(paint.dc(), &paint.dirty(), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      }
      return 0;
    }
    default:
      return WindowBase::handle(msg, wp, lp);
  }
}

}  // namespace kn
