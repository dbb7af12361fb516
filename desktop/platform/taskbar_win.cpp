#include "platform/taskbar_win.h"

#include <windows.h>

namespace kn {

TaskbarRect taskbar_rect() {
  TaskbarRect r;
  if (HWND bar = FindWindowA("Shell_traywnd", "")) {
    RECT wr{};
    if (GetWindowRect(bar, &wr)) r = {wr.left, wr.top, wr.right, wr.bottom};
  }
  return r;
}

int32_t taskbar_query(TaskbarField field) { return taskbar_value(field, taskbar_rect()); }

int32_t taskbar_info(const std::string& key) {
  const auto field = taskbar_field(key);
  return field ? taskbar_query(*field) : 0;
}

}  // namespace kn
