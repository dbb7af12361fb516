#include "core/taskbar.h"

#include <algorithm>
#include <limits>

#include "core/text_util.h"

namespace kn {

namespace {

int32_t saturated_difference(int32_t a, int32_t b) {
  const int64_t d = static_cast<int64_t>(a) - b;
  return static_cast<int32_t>(
      std::clamp<int64_t>(d, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::optional<TaskbarField> field_of_normalised(const std::string& key) {
  if (key == "TOP") return TaskbarField::kTop;
  if (key == "LEFT") return TaskbarField::kLeft;
  if (key == "HEIGHT") return TaskbarField::kHeight;
  if (key == "WIDTH") return TaskbarField::kWidth;
  if (key == "ALIGN") return TaskbarField::kAlign;
  return std::nullopt;
}

}  // namespace

std::string normalise_taskbar_key(std::string_view key) { return to_upper(trim_blanks(key)); }

std::optional<TaskbarField> taskbar_field(std::string_view key) {
  return field_of_normalised(normalise_taskbar_key(key));
}

int32_t taskbar_edge(const TaskbarRect& r) {
  int32_t edge = kEdgeUnknown;
  if (r.top < 1 && r.left < 1 && r.right < r.bottom) edge = kEdgeLeft;
  if (r.top < 1 && r.left < 1 && r.right > r.bottom) edge = kEdgeTop;
  if (r.top < 1 && r.left > 0) edge = kEdgeRight;
  if (r.left < 1 && r.top > 0) edge = kEdgeBottom;
  return edge;
}

int32_t taskbar_value(TaskbarField field, const TaskbarRect& r) {
  switch (field) {
    case TaskbarField::kTop:
      return r.top;
    case TaskbarField::kLeft:
      return r.left;
    case TaskbarField::kHeight:
      return saturated_difference(r.bottom, r.top);
    case TaskbarField::kWidth:
      return saturated_difference(r.right, r.left);
    case TaskbarField::kAlign:
      return taskbar_edge(r);
  }
  return 0;
}

int32_t taskbar_value(const std::string& normalised_key, const TaskbarRect& r) {
  const auto field = field_of_normalised(normalised_key);
  return field ? taskbar_value(*field, r) : 0;
}

}  // namespace kn
