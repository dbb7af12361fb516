#pragma once
// clsLineGraph: a scrolling line graph of the latest 100 values it was given, over
// an optional grid and border, drawn on a surface its user hands in.
#include <cstdint>
#include <string>
#include <vector>

namespace kn {

// Colours are 0x00BBGGRR.
class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  // Inner size in pixels; drawing outside it is clipped.
  virtual int32_t inner_width() const = 0;
  virtual int32_t inner_height() const = 0;
  // 0: no frame of its own, 1: a single-line frame.
  virtual int border_style() const = 0;
  virtual uint32_t background() const = 0;
  // Changing the background also fills the surface with it.
  virtual void set_background(uint32_t colour) = 0;
  // Fills the surface with the background colour.
  virtual void clear() = 0;
  virtual void line(float x1, float y1, float x2, float y2, uint32_t colour) = 0;
  // Outline of the box between two corners, both corners included.
  virtual void rectangle(float x1, float y1, float x2, float y2, uint32_t colour) = 0;
  // A line of text, its top left corner at (x, y), on a see-through background. A
  // surface without text leaves it out.
  virtual void text(float /*x*/, float /*y*/, const std::string& /*utf8*/, uint32_t /*colour*/) {}
};

class clsLineGraph {
 public:
  static constexpr int kSlots = 100;

  void max_Height(int32_t v) { max_height_ = v; }
  int32_t max_Height() const { return max_height_; }
  void GridColor(uint32_t v) { grid_colour_ = v; }
  uint32_t GridColor() const { return grid_colour_; }
  void GridVisible(bool v) { grid_visible_ = v; }
  bool GridVisible() const { return grid_visible_; }
  void BorderColor(uint32_t v) { border_colour_ = v; }
  uint32_t BorderColor() const { return border_colour_; }
  void BorderSize(int16_t v) { border_size_ = v; }
  int16_t BorderSize() const { return border_size_; }
  void PicForeground(uint32_t v) { foreground_ = v; }
  uint32_t PicForeground() const { return foreground_; }
  void PicBackground(uint32_t v) { background_ = v; }
  uint32_t PicBackground() const { return background_; }
  // The caller keeps the surface.
  void Surface(DrawSurface* v) { surface_ = v; }
  DrawSurface* Surface() const { return surface_; }

  // Appends a value; beyond kSlots values the oldest drops out, so the line scrolls
  // to the left.
  void add_value(double v);
  void clear_values() { values_.clear(); }
  // At most kSlots values, oldest first.
  const std::vector<double>& values() const { return values_; }

  // Clears the surface and draws everything again. Stops quietly at the first
  // thing it cannot draw (no surface, a coordinate out of range).
  void Draw();

 private:
  int32_t max_height_ = 0;
  uint32_t grid_colour_ = 0;
  bool grid_visible_ = false;
  uint32_t border_colour_ = 0;
  int16_t border_size_ = 0;
  uint32_t foreground_ = 0;
  uint32_t background_ = 0;
  std::vector<double> values_;
  DrawSurface* surface_ = nullptr;
};

}  // namespace kn
