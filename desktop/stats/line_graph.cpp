#include "stats/line_graph.h"

#include <cfloat>
#include <cmath>

namespace kn {

namespace {
// A coordinate a float cannot hold (or NaN from a bad value) ends the drawing.
bool to_float(double v, float& out) {
  if (!(std::fabs(v) <= static_cast<double>(FLT_MAX))) return false;
  out = static_cast<float>(v);
  return true;
}
}  // namespace

void clsLineGraph::add_value(double v) {
  if (values_.size() >= static_cast<size_t>(kSlots)) values_.erase(values_.begin());
  values_.push_back(v);
}

void clsLineGraph::Draw() {
  if (!surface_) return;
  DrawSurface& pic = *surface_;
  pic.clear();
  const int s = pic.border_style();
  if (pic.background() != background_) pic.set_background(background_);

  const int32_t b = border_size_;
  const int32_t w = pic.inner_width();
  const int32_t h = pic.inner_height();

  if (b > 0) {
    for (int32_t i = 0; i <= b; ++i) {
      pic.rectangle(static_cast<float>(i), static_cast<float>(i), static_cast<float>(w - (i + s)),
                    static_cast<float>(h - (i + s)), border_colour_);
    }
  }

  if (grid_visible_) {
    const float fb = static_cast<float>(b);
    const float plot_w = static_cast<float>(w) - 2.0f * fb;
    const float plot_h = static_cast<float>(h) - 2.0f * fb;
    for (int k = 1; k <= 20; ++k) {
      pic.rectangle(fb, fb, plot_w / 20.0f * static_cast<float>(k), plot_h, grid_colour_);
    }
    for (int k = 1; k <= 10; ++k) {
      pic.rectangle(fb, fb, plot_w, plot_h / 10.0f * static_cast<float>(k), grid_colour_);
    }
  }

  if (values_.empty()) return;
  const double plot_w = static_cast<double>(w) - 2.0 * b;
  const double plot_h = static_cast<double>(h) - 2.0 * b;
  const double scale = max_height_ > kSlots ? plot_h / max_height_ : plot_h / kSlots;
  const double step = plot_w / kSlots;

  double px = b + 2.0;
  double py = plot_h - values_[0] * scale;
  for (size_t i = 1; i <= values_.size(); ++i) {
    double x = plot_w - static_cast<double>(kSlots + 1 - static_cast<int>(i)) * step + 2.0;
    double y = plot_h - values_[i - 1] * scale;
    if (x < b) x = b;
    if (y < b) y = b;
    float fx1, fy1, fx2, fy2;
    if (!to_float(px, fx1) || !to_float(py, fy1) || !to_float(x, fx2) || !to_float(y, fy2)) return;
    pic.line(fx1, fy1, fx2, fy2, foreground_);
    px = x;
    py = y;
  }
}

}  // namespace kn
