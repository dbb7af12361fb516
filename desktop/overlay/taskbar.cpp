#include "overlay/taskbar.h"

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

}  // namespace

std::string normalise_taskbar_key(std::string_view key) { return to_upper(trim_blanks(key)); }

int32_t taskbar_edge(const TaskbarRect& r) {
  int32_t edge = kEdgeUnknown;
  if (r.top < 1 && r.left < 1 && r.right < r.bottom) edge = kEdgeLeft;
  if (r.top < 1 && r.left < 1 && r.right > r.bottom) edge = kEdgeTop;
  if (r.top < 1 && r.left > 0) edge = kEdgeRight;
  if (r.left < 1 && r.top > 0) edge = kEdgeBottom;
  return edge;
}

int32_t taskbar_value(const std::string& key, const TaskbarRect& r) {
  if (key == "TOP") return r.top;
  if (key == "LEFT") return r.left;
  if (key == "HEIGHT") return saturated_difference(r.bottom, r.top);
  if (key == "WIDTH") return saturated_difference(r.right, r.left);
  if (key == "ALIGN") return taskbar_edge(r);
  return 0;
}

}  // namespace kn
