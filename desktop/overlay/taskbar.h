#pragma once
// The taskbar locator: where the system taskbar lies and along which edge.
#include <cstdint>
#include <string>
#include <string_view>

namespace kn {

struct TaskbarRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Edge codes of key "ALIGN".
enum TaskbarEdge : int32_t {
  kEdgeUnknown = 0,
  kEdgeLeft = 1,
  kEdgeRight = 2,
  kEdgeTop = 3,
  kEdgeBottom = 4,
};

// Key trimmed of blanks and upper-cased; an empty result means "do not look".
std::string normalise_taskbar_key(std::string_view key);

int32_t taskbar_edge(const TaskbarRect& r);

// The answer for a normalised key and the taskbar's rectangle (all zero when
// there is no taskbar). Unknown keys give 0.
int32_t taskbar_value(const std::string& normalised_key, const TaskbarRect& r);

// TOP, LEFT, HEIGHT, WIDTH or ALIGN of the taskbar window, in any letter case;
// looked up anew at each call (Windows only).
int32_t taskbar_info(const std::string& key);

}  // namespace kn
