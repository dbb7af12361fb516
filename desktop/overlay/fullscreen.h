#pragma once
// Whether the overlay steps out of the way of a full-screen program (a film, a game,
// a presentation) on the monitor it stands on.
#include <vector>

#include "core/screen.h"
#include "overlay/monitors.h"

namespace kn {

struct FullscreenInput {
  bool option_on = false;
  PxRect overlay;
  ForegroundWindow foreground;
  std::vector<Monitor> monitors;
  UserState state = UserState::kOther;
};

// True when the foreground window stands on the overlay's monitor and covers that
// whole monitor (not only its work area) without a caption: a maximized window has
// one, even where the taskbar hides itself. The shell's full-screen or presentation
// state counts only for a foreground window on that monitor, as the state itself is
// the whole system's.
bool hide_for_fullscreen(const FullscreenInput& in);

}  // namespace kn
