#pragma once
// The program's main window inside a test process: its poll runs on the test's
// message loop, as on the program's own.
#include <windows.h>

#include <functional>

#include "app/program.h"

namespace kn::test {

// Hands out this thread's messages until the running poll has ended; `each` sees
// every message first. False when the thread's loop was told to quit.
inline bool run_poll_to_end(Program& frm, const std::function<void(const MSG&)>& each = {}) {
  MSG msg;
  while (frm.poll_running()) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return false;
    if (each) each(msg);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

}  // namespace kn::test
