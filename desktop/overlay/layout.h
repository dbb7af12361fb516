#pragma once
// The overlay's text layout: everything about preparing, counting, sizing and
// placing the display text that does not need a window.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "units/twips.h"
#include "core/settings.h"
#include "overlay/monitors.h"

namespace kn {

// Fixed drawing constants of the overlay.
inline constexpr uint32_t kShadowArgb = 0x32020000;
inline constexpr float kShadowOffsetPx = 2.0f;
inline constexpr float kPenWidthPx = 2.0f;
inline constexpr float kMainRectHeightPx = 1200.0f;
inline constexpr double kLineTwipsPerSizeUnit = 18.75;
inline constexpr int32_t kDesignWidthTwips = 6420;
inline constexpr int32_t kDesignHeightTwips = 4155;
inline constexpr int32_t kRightMarginTwips = 10;
// Hand-edited settings must not produce giant bitmaps.
inline constexpr int32_t kMaxBitmapSidePx = 8192;
inline constexpr int16_t kMinTextSize = 1;
inline constexpr int16_t kMaxTextSize = 400;
inline constexpr const char* kFontFamily = "Tahoma";

struct OverlayStyle {
  int32_t fill_colour = 2131691;  // 0x00BBGGRR
  int32_t outline_colour = 0;
  uint8_t opacity = 225;
  bool outline_on = true;
  bool shadow_on = true;
  int16_t text_size = 18;
  int32_t dpi = 96;  // of the screen drawn on
};

// The drawing's em size in pixels: text_size at 96 dots per inch, and the same
// physical size at any other, so it matches the text measured in points there.
float em_px(int16_t text_size, int32_t dpi);

// Values the drawing cannot use take the key's default; the text size is limited
// to kMinTextSize..kMaxTextSize.
OverlayStyle style_from_settings(const Settings& s);

// 24-bit colour (red in the low byte) plus alpha to 0xAARRGGBB.
uint32_t to_argb(int32_t colour, uint8_t alpha);

// Colons in the text. A new text that is not empty gets at least one line; a
// redraw counts the colons only.
int32_t count_lines(std::string_view text, bool new_text);

// lines x text_size x 18.75. Computed wide: the product does not overflow.
double height_twips(int32_t lines, int32_t text_size);

// Pixel height of the drawing, limited to 0..kMaxBitmapSidePx.
int32_t draw_height_px(int32_t lines, int32_t text_size, double twips_per_px_y);

// Width of the layout rectangle for a new text: measured width less the text size.
int32_t new_text_draw_width(int32_t measured_width_px, int32_t text_size);

// Limits a bitmap side to 0..kMaxBitmapSidePx.
int32_t clamp_side(int64_t px);

// The text split at CR LF (also a lone CR or LF), one entry per line; an empty
// text gives no line.
std::vector<std::string> split_lines(std::string_view text);

struct PlacementInput {
  int32_t window_pos_x = 0;  // twips, 0 = not set
  int32_t window_pos_y = 0;
  double window_width_twips = 0;
  double window_height_twips = 0;
  int32_t screen_width_px = 0;
  int32_t screen_height_px = 0;
  double twips_per_px_x = 15;
  double twips_per_px_y = 15;
  int32_t taskbar_height_px = 0;  // taken once at start
  int32_t taskbar_align = 0;      // edge code, see core/taskbar.h
  int32_t taskbar_left_px = 0;
};

struct PlacementTwips {
  double left = 0;
  double top = 0;
};

// A stored position needs both coordinates non-zero; otherwise the lower right
// corner above the taskbar, or beside it when the taskbar stands at a side edge.
PlacementTwips place_overlay(const PlacementInput& in);

enum class LayoutMode { Create, NewText, Redraw };

// A text block as measured in pixels.
struct TextBlock {
  int32_t width = 0;
  int32_t height = 0;
};

struct OverlayLayoutInput {
  LayoutMode mode = LayoutMode::Create;
  std::string_view text;
  int16_t text_size = 18;
  int32_t window_pos_x = 0;  // twips, see place_overlay
  int32_t window_pos_y = 0;
  // A redraw keeps the window as wide as it stands: this wide at that DPI.
  int32_t previous_width_px = 0;
  int32_t previous_dpi = 96;
  int32_t system_dpi = 96;  // the dialogs' and the stored twips'
  std::vector<Monitor> monitors;
  int32_t screen_width_px = 0;  // the primary monitor, where automatic placement stands
  int32_t screen_height_px = 0;
  int32_t max_width_px = kMaxBitmapSidePx;  // the virtual screen
  int32_t max_height_px = kMaxBitmapSidePx;
  int32_t taskbar_height_px = 0;
  int32_t taskbar_align = 0;
  int32_t taskbar_left_px = 0;
};

struct OverlayLayout {
  int32_t dpi = 96;
  int32_t em = 0;  // the letters' em size in whole pixels
  int32_t lines = 0;
  TextBlock measured;
  int32_t draw_width = 0;
  int32_t shift_x = 0;  // how far the drawing moves left so a cut line shows its end
  PxRect window;        // also the picture's size
};

// The text measured at a screen of that many dots per inch.
using MeasureAt = std::function<TextBlock(int32_t dpi)>;

// The overlay at the scale of the monitor it comes to stand on: letters, window and
// place in that monitor's pixels, a stored position where the dialog was dropped, and
// a place no monitor shows brought back (keep_on_monitors).
OverlayLayout lay_out_overlay(const OverlayLayoutInput& in, const MeasureAt& measure);

}  // namespace kn
