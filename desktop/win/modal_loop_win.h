#pragma once
// The one message loop of a modal window: the program's other windows, timers and
// workers go on being served while it is open.
#include "win/window_base_win.h"

namespace kn {

// Hands out the thread's messages until the window is gone. Keys go through
// IsDialogMessageW: Tab moves between its controls, Escape reaches the window as
// WM_COMMAND IDCANCEL and Enter as IDOK. A WM_QUIT ends the loop and is put back for
// the outer one; the window is then left to its owner.
void run_modal(const WindowBase& window);

}  // namespace kn
