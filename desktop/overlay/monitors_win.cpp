#include <windows.h>

#include "overlay/monitors.h"
#include "win/dpi_win.h"

namespace kn {

namespace {
BOOL CALLBACK add_handle(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  reinterpret_cast<std::vector<HMONITOR>*>(list)->push_back(monitor);
  return TRUE;
}

PxRect px_rect(const RECT& r) { return PxRect{r.left, r.top, r.right, r.bottom}; }
}  // namespace

std::vector<Monitor> current_monitors() {
  // The screen's own pixels, whatever the calling window's awareness.
  const DpiScope own_pixels = DpiScope::per_monitor();
  std::vector<HMONITOR> handles;
  EnumDisplayMonitors(nullptr, nullptr, add_handle, reinterpret_cast<LPARAM>(&handles));
  const int32_t fallback = system_dpi();
  std::vector<Monitor> list;
  for (HMONITOR h : handles) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(h, &info)) continue;
    Monitor m{px_rect(info.rcMonitor), px_rect(info.rcWork), monitor_dpi(h, fallback)};
    if (has_thread_dpi_awareness()) {
      const DpiScope as_dialogs = DpiScope::system_aware();
      MONITORINFO logical{};
      logical.cbSize = sizeof logical;
      if (GetMonitorInfoW(h, &logical)) m.logical = px_rect(logical.rcMonitor);
    }
    list.push_back(m);
  }
  return list;
}

}  // namespace kn
