#include <windows.h>

#include "overlay/taskbar.h"

namespace kn {

int32_t taskbar_info(const std::string& key) {
  const std::string k = normalise_taskbar_key(key);
  if (k.empty()) return 0;
  TaskbarRect r;
  if (HWND bar = FindWindowA("Shell_traywnd", "")) {
    RECT wr{};
    if (GetWindowRect(bar, &wr)) r = {wr.left, wr.top, wr.right, wr.bottom};
  }
  return taskbar_value(k, r);
}

}  // namespace kn
