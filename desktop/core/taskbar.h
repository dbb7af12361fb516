#pragma once
// The taskbar's rules: along which edge it lies and what each key of the taskbar
// query answers, for a rectangle the platform has looked up.
#include <cstdint>
#include <optional>
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

// What the taskbar query can answer.
enum class TaskbarField { kTop, kLeft, kHeight, kWidth, kAlign };

// Key trimmed of blanks and upper-cased; an empty result means "do not look".
std::string normalise_taskbar_key(std::string_view key);

// The field a key names, in any letter case and with blanks around it; nothing for
// an empty or unknown key.
std::optional<TaskbarField> taskbar_field(std::string_view key);

int32_t taskbar_edge(const TaskbarRect& r);

// The field of the taskbar's rectangle (all zero when there is no taskbar).
int32_t taskbar_value(TaskbarField field, const TaskbarRect& r);

// The answer for a normalised key; unknown keys give 0.
int32_t taskbar_value(const std::string& normalised_key, const TaskbarRect& r);

}  // namespace kn
