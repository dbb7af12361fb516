#pragma once
// The overlay and the monitors it may stand on: kept where it is while any monitor
// shows part of it, brought back whole onto the nearest one when none does (a
// monitor unplugged, a lower resolution, a hand-edited position).
#include <cstdint>
#include <vector>

namespace kn {

// Pixels in virtual-screen coordinates; right and bottom lie just outside.
struct PxRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool operator==(const PxRect&) const = default;
};

struct Monitor {
  PxRect bounds;
  PxRect work;  // without the taskbar
};

bool intersects(const PxRect& a, const PxRect& b);

// The monitor a window stands on: the one showing most of it, else the nearest;
// nullptr without monitors.
const Monitor* monitor_of(const PxRect& window, const std::vector<Monitor>& monitors);

// The window's place: unchanged while it intersects a monitor (also partly over a
// taskbar or an edge, as the user may have put it), else moved onto the work area
// of the nearest monitor, whole where it fits, its left top corner first where not.
// Without monitors nothing moves.
PxRect keep_on_monitors(const PxRect& window, const std::vector<Monitor>& monitors);

// Every monitor of the desktop now (Windows only).
std::vector<Monitor> current_monitors();

}  // namespace kn
