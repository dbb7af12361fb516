#pragma once
// The graph's drawing surface on screen: a child window that keeps its picture in
// a memory bitmap, so repainting never needs the graph.
#include <windows.h>

#include <cstdint>
#include <string>

#include "stats/line_graph.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

class GdiSurface : public DrawSurface, public WindowBase {
 public:
  // Creates the child window; border_style 1 gives it a single-line frame.
  GdiSurface(HWND parent, HINSTANCE instance, int border_style);
  ~GdiSurface() override;
  GdiSurface(const GdiSurface&) = delete;
  GdiSurface& operator=(const GdiSurface&) = delete;

  // Moves the window (pixels, parent client coordinates); the picture is empty
  // until the next drawing.
  void move(int x, int y, int width, int height);
  // The colour of one pixel of the picture, 0x00BBGGRR; CLR_INVALID outside.
  COLORREF pixel(int x, int y) const;

  int32_t inner_width() const override { return width_; }
  int32_t inner_height() const override { return height_; }
  int border_style() const override { return border_style_; }
  uint32_t background() const override { return background_; }
  void set_background(uint32_t colour) override;
  void clear() override;
  void line(float x1, float y1, float x2, float y2, uint32_t colour) override;
  void rectangle(float x1, float y1, float x2, float y2, uint32_t colour) override;
  void text(float x, float y, const std::string& utf8, uint32_t colour) override;

 private:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void make_picture();
  void release_picture();

  int border_style_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint32_t background_ = 0xFFFFFF;
  unique_hfont font_;  // made once; selected only for the length of one text
  unique_hdc dc_;
  selected_bitmap bitmap_;  // goes before the DC
};

}  // namespace kn
