#pragma once
// Helpers for the statistics window tests.
#include <windows.h>

#include "common/win_test_util.h"

namespace kn::test {

inline void pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace kn::test
