#include "overlay/layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/number_text.h"
#include "core/text_util.h"

namespace kn {

namespace {

// A colour text must be a whole number; anything else keeps the default.
int32_t colour_or(std::string_view text, int32_t fallback) {
  const auto v = parse_number(text);
  if (!v || !std::isfinite(*v) || std::floor(*v) != *v) return fallback;
  if (*v < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
      *v > static_cast<double>(std::numeric_limits<int32_t>::max()))
    return fallback;
  return static_cast<int32_t>(*v);
}

}  // namespace

OverlayStyle style_from_settings(const Settings& s) {
  const OverlayStyle defaults;
  OverlayStyle st;
  st.fill_colour = colour_or(s.fill_colour, defaults.fill_colour);
  st.outline_colour = colour_or(s.outline_colour, defaults.outline_colour);
  st.opacity = (s.opacity >= 0 && s.opacity <= 255) ? static_cast<uint8_t>(s.opacity) : defaults.opacity;
  st.outline_on = s.outline_on;
  st.shadow_on = s.shadow_on;
  st.text_size = std::clamp(s.text_size, kMinTextSize, kMaxTextSize);
  return st;
}

uint32_t to_argb(int32_t colour, uint8_t alpha) {
  const uint32_t c = static_cast<uint32_t>(colour);
  const uint32_t red = c & 0xFF;
  const uint32_t green = (c >> 8) & 0xFF;
  const uint32_t blue = (c >> 16) & 0xFF;
  return (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
}

int32_t count_lines(std::string_view text, bool new_text) {
  const auto colons = static_cast<int32_t>(std::count(text.begin(), text.end(), ':'));
  if (new_text && colons == 0 && !text.empty()) return 1;
  return colons;
}

float em_px(int16_t text_size, int32_t dpi) {
  return static_cast<float>(text_size) * static_cast<float>(dpi > 0 ? dpi : 96) / 96.0f;
}

double height_twips(int32_t lines, int32_t text_size) {
  return static_cast<double>(lines) * text_size * kLineTwipsPerSizeUnit;
}

int32_t clamp_side(int64_t px) { return static_cast<int32_t>(std::clamp<int64_t>(px, 0, kMaxBitmapSidePx)); }

int32_t draw_height_px(int32_t lines, int32_t text_size, double twips_per_px_y) {
  return clamp_side(twips_to_px(height_twips(lines, text_size), twips_per_px_y));
}

int32_t new_text_draw_width(int32_t measured_width_px, int32_t text_size) {
  return clamp_side(static_cast<int64_t>(measured_width_px) - text_size);
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current += c;
    }
  }
  lines.push_back(current);
  return lines;
}

PlacementTwips place_overlay(const PlacementInput& in) {
  if (in.window_pos_x != 0 && in.window_pos_y != 0)
    return {static_cast<double>(in.window_pos_x), static_cast<double>(in.window_pos_y)};
  const double screen_w = in.twips_per_px_x * in.screen_width_px;
  const double screen_h = in.twips_per_px_y * in.screen_height_px;
  PlacementTwips p;
  if (in.taskbar_align == 1 || in.taskbar_align == 2) {
    // A side taskbar is as tall as the screen; its height says nothing about the
    // space below, so stand on the bottom edge beside it.
    const double right = in.taskbar_align == 2 ? in.twips_per_px_x * in.taskbar_left_px : screen_w;
    p.top = screen_h - in.window_height_twips;
    p.left = right - in.window_width_twips - kRightMarginTwips;
  } else {
    p.top = screen_h - in.window_height_twips - in.twips_per_px_y * in.taskbar_height_px;
    p.left = screen_w - in.window_width_twips - kRightMarginTwips;
  }
  return p;
}

namespace {

bool has_stored_position(const OverlayLayoutInput& in) {
  return in.window_pos_x != 0 && in.window_pos_y != 0;
}

OverlayLayout lay_out_at(const OverlayLayoutInput& in, const MeasureAt& measure, int32_t dpi) {
  OverlayLayout g;
  g.dpi = dpi;
  const double tpp = twips_per_px(dpi);
  g.measured = measure(dpi);
  g.em = static_cast<int32_t>(em_px(in.text_size, dpi) + 0.5f);
  double height_tw = kDesignHeightTwips;
  if (in.mode == LayoutMode::Create) {
    g.draw_width = twips_to_px(kDesignWidthTwips, tpp);
  } else {
    g.lines = count_lines(in.text, in.mode == LayoutMode::NewText);
    height_tw = height_twips(g.lines, in.text_size);
    if (in.mode == LayoutMode::NewText) {
      g.draw_width = new_text_draw_width(g.measured.width, g.em);
    } else if (in.previous_dpi == dpi || in.previous_dpi <= 0) {
      g.draw_width = in.previous_width_px;
    } else {
      g.draw_width =
          clamp_side(round_clamp_int32(static_cast<double>(in.previous_width_px) * dpi / in.previous_dpi));
    }
  }
  // Nothing beyond the screens can be seen: a larger picture only costs memory, and
  // an X server under Wine drops the program for one of a few megabytes.
  const int32_t uncut_height = twips_to_px(height_tw, tpp);
  const int32_t height = std::min(clamp_side(uncut_height), std::max(1, in.max_height_px));
  const int32_t width = std::min(clamp_side(g.measured.width), std::max(1, in.max_width_px));
  // The window stops at the screen's width and keeps its right edge where it is
  // placed, so a wider line shows its end there, as an uncut window would.
  if (in.mode == LayoutMode::NewText) g.shift_x = std::max(0, g.draw_width + g.em - width);

  PxPoint corner;
  if (has_stored_position(in)) {
    corner = twips_to_screen(in.window_pos_x, in.window_pos_y, in.monitors, in.system_dpi);
  } else {
    PlacementInput p;
    p.window_width_twips = width * tpp;
    // A cut picture places by the height it has.
    p.window_height_twips = height < uncut_height ? height * tpp : height_tw;
    p.screen_width_px = in.screen_width_px;
    p.screen_height_px = in.screen_height_px;
    p.twips_per_px_x = tpp;
    p.twips_per_px_y = tpp;
    p.taskbar_height_px = in.taskbar_height_px;
    p.taskbar_align = in.taskbar_align;
    p.taskbar_left_px = in.taskbar_left_px;
    const PlacementTwips t = place_overlay(p);
    corner = PxPoint{twips_to_px(t.left, tpp), twips_to_px(t.top, tpp)};
  }
  // A place that no monitor shows any more is not where the user wants it; the
  // stored position stays as it is, for the day that monitor is back.
  g.window = keep_on_monitors(PxRect{corner.x, corner.y, corner.x + width, corner.y + height}, in.monitors);
  return g;
}

}  // namespace

OverlayLayout lay_out_overlay(const OverlayLayoutInput& in, const MeasureAt& measure) {
  PxRect anchor{0, 0, std::max(1, in.screen_width_px), std::max(1, in.screen_height_px)};
  if (has_stored_position(in)) {
    const PxPoint p = twips_to_screen(in.window_pos_x, in.window_pos_y, in.monitors, in.system_dpi);
    anchor = PxRect{p.x, p.y, p.x + 1, p.y + 1};
  }
  const int32_t first = dpi_of(anchor, in.monitors, in.system_dpi);
  OverlayLayout g = lay_out_at(in, measure, first);
  // Drawn at one monitor's scale, the window may still stand mostly on another (a long
  // line, a place brought back): Windows counts it as that monitor's, and so do we.
  const int32_t shown_on = dpi_of(g.window, in.monitors, first);
  if (shown_on != first) g = lay_out_at(in, measure, shown_on);
  return g;
}

}  // namespace kn
