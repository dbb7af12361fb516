#pragma once
// Dots per inch and DPI awareness. Since Windows 10 (1607) each top-level window has
// an awareness of its own, taken from the thread that creates it: the overlay follows
// the scale of the monitor it stands on, the dialogs are laid out once at the system
// scale and left to Windows to stretch. Older systems have one awareness for the whole
// process; there the scopes below change nothing.
#include <windows.h>

#include <cstdint>

namespace kn {

// The thread's DPI awareness changed for one scope and put back at its end.
class DpiScope {
 public:
  // For windows laid out once from twips: Windows scales them on other monitors.
  static DpiScope system_aware();
  // For the overlay: per-monitor v2 where there is, else v1.
  static DpiScope per_monitor();
  // Coordinates and sizes as the window itself sees them.
  static DpiScope of_window(HWND window);

  ~DpiScope();
  DpiScope(const DpiScope&) = delete;
  DpiScope& operator=(const DpiScope&) = delete;

 private:
  explicit DpiScope(HANDLE context, HANDLE otherwise = nullptr);

  HANDLE previous_ = nullptr;
};

// Whether windows of one process can have different awareness (Windows 10 1607 on).
bool has_thread_dpi_awareness();

// The system's dots per inch, that of the dialogs and the stored twips.
int32_t system_dpi();

// A monitor's dots per inch where the system has one per monitor (Windows 8.1 on),
// else `fallback`. Asked in a per-monitor aware scope: elsewhere Windows answers with
// the system's.
int32_t monitor_dpi(HMONITOR monitor, int32_t fallback);

}  // namespace kn
