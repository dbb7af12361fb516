#include "win/window_placement_win.h"

#include <algorithm>

#include "win/screen_twips_win.h"

namespace kn {

SIZE window_size_for_client(double inner_width, double inner_height, DWORD style, DWORD ex_style) {
  RECT r{0, 0, px_x(inner_width), px_y(inner_height)};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT centred_on_screen(SIZE outer) {
  const LONG x = (GetSystemMetrics(SM_CXSCREEN) - outer.cx) / 2;
  const LONG y = (GetSystemMetrics(SM_CYSCREEN) - outer.cy) / 2;
  return RECT{x, y, x + outer.cx, y + outer.cy};
}

void keep_on_a_monitor(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r) || MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) return;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info)) return;
  const RECT& area = info.rcWork;
  // The far edge first, then the near one, so a window too large keeps its start visible.
  const LONG left = std::max(area.left, std::min(r.left, area.right - (r.right - r.left)));
  const LONG top = std::max(area.top, std::min(r.top, area.bottom - (r.bottom - r.top)));
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kn
