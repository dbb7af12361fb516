#pragma once
// Drawing the display text as filled, outlined and shadowed glyph outlines into
// a 32-bit premultiplied-alpha bitmap, and measuring it.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "overlay/layout.h"
#include "win/win_handle.h"

namespace kn {

// Starts GDI+ for the lifetime of the object.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool ok() const { return status_ == 0; }
  int status() const { return status_; }

 private:
  ULONG_PTR token_ = 0;
  int status_ = -1;
};

// One drawing: a DIB selected into a memory DC, ready for UpdateLayeredWindow.
// Empty (no DC) when either side is zero.
class Frame {
 public:
  Frame() = default;
  Frame(HDC reference, int32_t width, int32_t height);
  ~Frame();
  Frame(Frame&& o) noexcept;
  Frame& operator=(Frame&& o) noexcept;
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  HDC dc() const { return dc_.get(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  bool empty() const { return bits_ == nullptr; }
  // Premultiplied 0xAARRGGBB at (x, y), y from the top.
  uint32_t pixel(int32_t x, int32_t y) const;
  // First byte of the top row and the distance between rows (negative: bottom-up).
  uint8_t* top_row() const;
  int32_t stride() const { return -4 * width_; }

 private:
  void release();
  unique_hdc dc_;
  selected_bitmap bitmap_;  // goes before the DC
  uint8_t* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

struct TextExtent {
  int32_t width = 0;
  int32_t height = 0;
};

// Extent of the text, lines at CR LF, in the measuring font at text_size points on a
// screen of `dpi` dots per inch (0: the system's).
TextExtent measure_text(const std::string& text, int32_t text_size_pt, const char* family = kFontFamily,
                        int32_t dpi = 0);

struct RenderRequest {
  std::string text;
  int32_t bitmap_width = 0;  // the window's width
  int32_t bitmap_height = 0;
  int32_t draw_width = 0;  // width of the layout rectangles
  int32_t measured_height = 0;
  int32_t shift_x = 0;  // the drawing moves this far left: a line wider than the window shows its end
};

class TextRenderer {
 public:
  // GDI+ must be running while a renderer holds drawing objects.
  explicit TextRenderer(std::string family = kFontFamily);
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  // Replaces the drawing objects with ones for this style.
  void prepare_drawing(const OverlayStyle& style);
  // Draws into a fresh, fully transparent bitmap. A failed GDI+ call leaves its
  // part undrawn.
  Frame render_text(HDC reference, const RenderRequest& req) const;
  // Release the drawing objects (before GDI+ shuts down).
  void release();

 private:
  struct Objects;
  std::string family_name_;
  OverlayStyle style_;
  std::unique_ptr<Objects> objects_;
};

}  // namespace kn
