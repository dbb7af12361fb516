#pragma once
// Helpers for the overlay tests: pixel snapshots.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/win_test_util.h"
#include "overlay/text_renderer_win.h"

namespace kn::test {

struct Snapshot {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> px;  // premultiplied 0xAARRGGBB, row by row from the top

  static Snapshot of(const Frame& f) {
    Snapshot s;
    s.width = f.width();
    s.height = f.height();
    for (int32_t y = 0; y < s.height; ++y)
      for (int32_t x = 0; x < s.width; ++x) s.px.push_back(f.pixel(x, y));
    return s;
  }
  uint32_t at(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return px[static_cast<size_t>(y) * width + x];
  }
  static int alpha(uint32_t p) { return static_cast<int>(p >> 24); }
  static int red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
  static int green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
  static int blue(uint32_t p) { return static_cast<int>(p & 0xFF); }
  int alpha_at(int32_t x, int32_t y) const { return alpha(at(x, y)); }
  int count_if_alpha(int lo, int hi) const {
    int n = 0;
    for (uint32_t p : px) n += (alpha(p) >= lo && alpha(p) <= hi) ? 1 : 0;
    return n;
  }
  // Rightmost column holding a pixel with at least this alpha, -1 when none.
  int rightmost(int min_alpha, int32_t y0 = 0, int32_t y1 = INT32_MAX) const {
    int r = -1;
    for (int32_t y = y0; y < height && y < y1; ++y)
      for (int32_t x = 0; x < width; ++x)
        if (alpha_at(x, y) >= min_alpha && x > r) r = x;
    return r;
  }
  int bottommost(int min_alpha) const {
    int b = -1;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        if (alpha_at(x, y) >= min_alpha) b = y;
    return b;
  }
};

// Premultiplied channel as GDI+ stores it.
inline int premul(int channel, int alpha) { return channel * alpha / 255; }

inline bool close_to(int a, int b, int tolerance = 2) { return std::abs(a - b) <= tolerance; }

}  // namespace kn::test
