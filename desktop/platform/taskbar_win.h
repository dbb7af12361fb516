#pragma once
// The taskbar locator: the shell's taskbar window, looked up anew at each call.
#include <cstdint>
#include <string>

#include "core/taskbar.h"

namespace kn {

// The taskbar window's rectangle; all zero when there is none.
TaskbarRect taskbar_rect();

// One field of the taskbar as it stands now.
int32_t taskbar_query(TaskbarField field);

// TOP, LEFT, HEIGHT, WIDTH or ALIGN, in any letter case and with blanks around it;
// 0 for an empty or unknown key, without a look at the taskbar.
int32_t taskbar_info(const std::string& key);

}  // namespace kn
