#pragma once
// What the overlay's full-screen rule looks at: the foreground window and the
// shell's state, and a watch on changes of the foreground.
#include <functional>

#include "core/screen.h"
#include "win/win_handle.h"

namespace kn {

// The foreground window now; exists is false when there is none.
ForegroundWindow foreground_window();

// The shell's word on the user's state; kOther where the shell has none to give.
UserState user_state();

// Calls on_change, on the creating thread's message loop, whenever another window
// comes to the foreground. One watch at a time: the system's hook carries no context.
class ForegroundWatch {
 public:
  explicit ForegroundWatch(std::function<void()> on_change);
  ~ForegroundWatch();
  ForegroundWatch(const ForegroundWatch&) = delete;
  ForegroundWatch& operator=(const ForegroundWatch&) = delete;

 private:
  std::function<void()> on_change_;
  unique_win_event_hook hook_;
};

}  // namespace kn
