#include "overlay/monitors.h"

#include <algorithm>
#include <limits>

namespace kn {

namespace {
// Squared distance between two rectangles; 0 when they touch or overlap.
int64_t distance2(const PxRect& a, const PxRect& b) {
  const int64_t dx =
      std::max<int64_t>({0, static_cast<int64_t>(b.left) - a.right, static_cast<int64_t>(a.left) - b.right});
  const int64_t dy =
      std::max<int64_t>({0, static_cast<int64_t>(b.top) - a.bottom, static_cast<int64_t>(a.top) - b.bottom});
  return dx * dx + dy * dy;
}

int32_t fit(int32_t start, int32_t size, int32_t lo, int32_t hi) {
  // The far edge first, then the near one, so a window too large keeps its start visible.
  start = std::min(start, hi - size);
  return std::max(start, lo);
}
}  // namespace

bool intersects(const PxRect& a, const PxRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

const Monitor* monitor_of(const PxRect& window, const std::vector<Monitor>& monitors) {
  const PxRect probe{window.left, window.top, std::max(window.right, window.left + 1),
                     std::max(window.bottom, window.top + 1)};
  const Monitor* best = nullptr;
  int64_t best_area = 0;
  int64_t best_distance = std::numeric_limits<int64_t>::max();
  for (const Monitor& m : monitors) {
    const int64_t w = std::min(probe.right, m.bounds.right) - std::max(probe.left, m.bounds.left);
    const int64_t h = std::min(probe.bottom, m.bounds.bottom) - std::max(probe.top, m.bounds.top);
    const int64_t area = w > 0 && h > 0 ? w * h : 0;
    const int64_t distance = area > 0 ? 0 : distance2(probe, m.bounds);
    if (area > best_area || (best_area == 0 && area == 0 && distance < best_distance)) {
      best = &m;
      best_area = area;
      best_distance = distance;
    }
  }
  return best;
}

PxRect keep_on_monitors(const PxRect& window, const std::vector<Monitor>& monitors) {
  // An empty window (nothing shown) is taken as a point, which still has a place.
  const PxRect probe{window.left, window.top, std::max(window.right, window.left + 1),
                     std::max(window.bottom, window.top + 1)};
  const Monitor* nearest = nullptr;
  int64_t best = std::numeric_limits<int64_t>::max();
  for (const Monitor& m : monitors) {
    if (intersects(probe, m.bounds)) return window;
    const int64_t d = distance2(probe, m.bounds);
    if (d < best) {
      best = d;
      nearest = &m;
    }
  }
  if (!nearest) return window;
  const PxRect& area =
      nearest->work.width() > 0 && nearest->work.height() > 0 ? nearest->work : nearest->bounds;
  const int32_t left = fit(window.left, probe.width(), area.left, area.right);
  const int32_t top = fit(window.top, probe.height(), area.top, area.bottom);
  return PxRect{left, top, left + window.width(), top + window.height()};
}

}  // namespace kn
