#include <windows.h>

#include "overlay/monitors.h"

namespace kn {

namespace {
BOOL CALLBACK add_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& b = info.rcMonitor;
    const RECT& w = info.rcWork;
    reinterpret_cast<std::vector<Monitor>*>(list)->push_back(
        Monitor{PxRect{b.left, b.top, b.right, b.bottom}, PxRect{w.left, w.top, w.right, w.bottom}});
  }
  return TRUE;
}

}  // namespace

std::vector<Monitor> current_monitors() {
  std::vector<Monitor> list;
  EnumDisplayMonitors(nullptr, nullptr, add_monitor, reinterpret_cast<LPARAM>(&list));
  return list;
}

}  // namespace kn
