#include "overlay/fullscreen.h"

namespace kn {

bool hide_for_fullscreen(const FullscreenInput& in) {
  if (!in.option_on || !in.foreground.exists || in.foreground.desktop_or_taskbar) return false;
  const Monitor* overlay_monitor = monitor_of(in.overlay, in.monitors);
  if (!overlay_monitor || monitor_of(in.foreground.rect, in.monitors) != overlay_monitor) return false;
  if (in.state != UserState::kOther) return true;
  const PxRect& f = in.foreground.rect;
  const PxRect& m = overlay_monitor->bounds;
  const bool covers = f.left <= m.left && f.top <= m.top && f.right >= m.right && f.bottom >= m.bottom;
  return covers && !in.foreground.has_caption;
}

}  // namespace kn
