#pragma once
// The overlay and the monitors it may stand on: kept where it is while any monitor
// shows part of it, brought back whole onto the nearest one when none does (a
// monitor unplugged, a lower resolution, a hand-edited position).
#include <cstdint>
#include <vector>

#include "core/screen.h"

namespace kn {

// Pixels are the screen's own (what a per-monitor aware window sees). `logical` is the
// monitor as windows at the system's scale see it: Windows stretches their coordinates
// on a monitor of another scale. Where the system does not, it equals `bounds`.
struct Monitor {
  PxRect bounds;
  PxRect work;  // without the taskbar
  int32_t dpi = 96;
  PxRect logical{};  // empty: as `bounds`
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

// The dots per inch a window is drawn at: those of the monitor it stands on (see
// monitor_of); `fallback` without monitors.
int32_t dpi_of(const PxRect& window, const std::vector<Monitor>& monitors, int32_t fallback);

// Where a stored position stands on the screen. Positions are twips of the dialogs'
// coordinates, which are at the system's scale (`system_dpi`): the monitor whose
// logical rectangle holds the point takes it, stretched to its own pixels, so the
// overlay stands where the dialog was dropped on any monitor.
PxPoint twips_to_screen(int32_t x_twips, int32_t y_twips, const std::vector<Monitor>& monitors,
                        int32_t system_dpi);

// Every monitor of the desktop now, with its dots per inch (Windows only).
std::vector<Monitor> current_monitors();

}  // namespace kn
