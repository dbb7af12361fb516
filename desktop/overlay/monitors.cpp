#include "overlay/monitors.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "units/twips.h"
#include "core/number_text.h"

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

int32_t dpi_of(const PxRect& window, const std::vector<Monitor>& monitors, int32_t fallback) {
  const Monitor* m = monitor_of(window, monitors);
  return m && m->dpi > 0 ? m->dpi : fallback;
}

PxPoint twips_to_screen(int32_t x_twips, int32_t y_twips, const std::vector<Monitor>& monitors,
                        int32_t system_dpi) {
  const double tpp = twips_per_px(system_dpi);
  const double x = x_twips / tpp;
  const double y = y_twips / tpp;
  const auto logical = [](const Monitor& m) { return m.logical.width() > 0 ? m.logical : m.bounds; };
  // The monitor whose logical rectangle holds the point, else the nearest one.
  const Monitor* best = nullptr;
  double best_distance = std::numeric_limits<double>::infinity();
  for (const Monitor& m : monitors) {
    const PxRect r = logical(m);
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
      best = &m;
      break;
    }
    const double dx = std::max({0.0, r.left - x, x - r.right});
    const double dy = std::max({0.0, r.top - y, y - r.bottom});
    if (dx * dx + dy * dy < best_distance) {
      best = &m;
      best_distance = dx * dx + dy * dy;
    }
  }
  if (!best) return PxPoint{twips_to_px(x_twips, tpp), twips_to_px(y_twips, tpp)};
  const PxRect from = logical(*best);
  const PxRect& to = best->bounds;
  if (from == to) return PxPoint{twips_to_px(x_twips, tpp), twips_to_px(y_twips, tpp)};
  const double sx = from.width() > 0 ? static_cast<double>(to.width()) / from.width() : 1.0;
  const double sy = from.height() > 0 ? static_cast<double>(to.height()) / from.height() : 1.0;
  return PxPoint{round_clamp_int32(to.left + (x - from.left) * sx),
                 round_clamp_int32(to.top + (y - from.top) * sy)};
}

}  // namespace kn
