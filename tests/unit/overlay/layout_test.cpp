#include "overlay/layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "overlay/fullscreen.h"
#include "overlay/monitors.h"

namespace kn {
namespace {

TEST(OverlayLines, ColonsCountLines) {
  EXPECT_EQ(count_lines("A : 0001\r\nB: 0002", true), 2);
  EXPECT_EQ(count_lines("A: 1 -- B: 2 -- C: 3", true), 3);
  EXPECT_EQ(count_lines("A: 1 -- B: 2 -- C: 3", false), 3);
}

TEST(OverlayLines, NewTextWithoutColonHasOneLineRedrawHasNone) {
  EXPECT_EQ(count_lines("keine Stationen hinterlegt.", true), 1);
  EXPECT_EQ(count_lines("keine Stationen hinterlegt.", false), 0);
  EXPECT_EQ(count_lines("", true), 0);
  EXPECT_EQ(count_lines("", false), 0);
}

TEST(OverlayColour, ToArgbSwapsRedAndBlueAndAddsAlpha) {
  EXPECT_EQ(to_argb(2131691, 225), 0xE1EB8620u);
  EXPECT_EQ(to_argb(0, 225), 0xE1000000u);
  EXPECT_EQ(to_argb(0x0000FF, 255), 0xFFFF0000u);
  EXPECT_EQ(to_argb(0xFF0000, 0), 0x000000FFu);
  // Bits above the colour are not part of it.
  EXPECT_EQ(to_argb(0x7F00FF00, 50), 0x3200FF00u);
  EXPECT_EQ(to_argb(-1, 1), 0x01FFFFFFu);
}

TEST(OverlayStyle, DefaultsMatchSettingsDefaults) {
  const OverlayStyle st = style_from_settings(Settings{});
  EXPECT_EQ(st.fill_colour, 2131691);
  EXPECT_EQ(st.outline_colour, 0);
  EXPECT_EQ(st.opacity, 225);
  EXPECT_TRUE(st.outline_on);
  EXPECT_TRUE(st.shadow_on);
  EXPECT_EQ(st.text_size, 18);
}

TEST(OverlayStyle, UnusableValuesFallBackOrAreLimited) {
  Settings s;
  s.fill_colour = "orange";
  s.outline_colour = "12.5";
  s.opacity = 256;
  s.text_size = 0;
  OverlayStyle st = style_from_settings(s);
  EXPECT_EQ(st.fill_colour, 2131691);
  EXPECT_EQ(st.outline_colour, 0);
  EXPECT_EQ(st.opacity, 225);
  EXPECT_EQ(st.text_size, 1);

  s.fill_colour = " 255 ";
  s.outline_colour = "99999999999";
  s.opacity = -1;
  s.text_size = 32000;
  s.outline_on = false;
  s.shadow_on = false;
  st = style_from_settings(s);
  EXPECT_EQ(st.fill_colour, 255);
  EXPECT_EQ(st.outline_colour, 0);
  EXPECT_EQ(st.opacity, 225);
  EXPECT_EQ(st.text_size, 400);
  EXPECT_FALSE(st.outline_on);
  EXPECT_FALSE(st.shadow_on);

  s.opacity = 0;
  EXPECT_EQ(style_from_settings(s).opacity, 0);
  s.opacity = 255;
  EXPECT_EQ(style_from_settings(s).opacity, 255);
}

TEST(OverlayGeometry, HeightIsLinesTimesSizeTimes1875Twips) {
  EXPECT_DOUBLE_EQ(height_twips(1, 18), 337.5);
  EXPECT_DOUBLE_EQ(height_twips(3, 18), 1012.5);
  EXPECT_DOUBLE_EQ(height_twips(0, 18), 0);
  EXPECT_EQ(draw_height_px(1, 20, 15), 25);
  EXPECT_EQ(draw_height_px(2, 18, 15), 45);
  EXPECT_EQ(draw_height_px(3, 18, 15), 68);  // 67.5, half to even
  EXPECT_EQ(draw_height_px(1, 18, 15), 22);  // 22.5, half to even
  EXPECT_EQ(draw_height_px(1, 18, 12), 28);  // 120 dpi
  EXPECT_EQ(draw_height_px(0, 18, 15), 0);
}

TEST(OverlayGeometry, LargeProductsDoNotOverflowAndBitmapsStayBounded) {
  // 200 lines x 400 does not fit 16 bits; the drawing is cut, not wrapped negative.
  EXPECT_DOUBLE_EQ(height_twips(200, 400), 1500000.0);
  EXPECT_EQ(draw_height_px(200, 400, 15), kMaxBitmapSidePx);
  EXPECT_EQ(draw_height_px(2000000, 400, 15), kMaxBitmapSidePx);
  EXPECT_EQ(clamp_side(-5), 0);
  EXPECT_EQ(clamp_side(100000), kMaxBitmapSidePx);
}

TEST(OverlayGeometry, NewTextDrawWidthIsMeasuredLessTextSize) {
  EXPECT_EQ(new_text_draw_width(300, 18), 282);
  EXPECT_EQ(new_text_draw_width(10, 18), 0);  // an empty text measures narrower than its size
  EXPECT_EQ(new_text_draw_width(20000, 18), kMaxBitmapSidePx);
}

TEST(OverlayGeometry, TwipsToPixels) {
  EXPECT_EQ(twips_to_px(6420, 15), 428);
  EXPECT_EQ(twips_to_px(4155, 15), 277);
  EXPECT_EQ(twips_to_px(-1500, 15), -100);
  EXPECT_EQ(twips_to_px(100, 0), 0);
  EXPECT_DOUBLE_EQ(twips_per_px(96), 15);
  EXPECT_DOUBLE_EQ(twips_per_px(120), 12);
  EXPECT_DOUBLE_EQ(twips_per_px(0), 15);
  // At 200 % a pixel is 7.5 twips: a whole-number ratio put a dropped window elsewhere.
  const double at_192 = twips_per_px(192);
  EXPECT_EQ(px_to_twips(2000, at_192), 15000);
  EXPECT_EQ(twips_to_px(px_to_twips(2000, at_192), at_192), 2000);
  EXPECT_EQ(px_to_twips(-3, 15), -45);
  // Designs are cut, as their layouts always were; exact ratios stay exact.
  EXPECT_EQ(design_twips_to_px(3100, 15), 206);
  EXPECT_EQ(design_twips_to_px(3100, twips_per_px(120)), 258);
  EXPECT_EQ(design_twips_to_px(1440, at_192), 192);
  EXPECT_EQ(design_twips_to_px(9135, at_192), 1218);
}

TEST(OverlayLines, SplitAtLineBreaks) {
  EXPECT_TRUE(split_lines("").empty());
  EXPECT_EQ(split_lines("A : 1"), (std::vector<std::string>{"A : 1"}));
  EXPECT_EQ(split_lines("A : 1\r\nB: 2\r\nC: 3"), (std::vector<std::string>{"A : 1", "B: 2", "C: 3"}));
  EXPECT_EQ(split_lines("A\nB\rC"), (std::vector<std::string>{"A", "B", "C"}));
  // Empty lines keep their place, so later lines stay where they belong.
  EXPECT_EQ(split_lines("A\r\n\r\nB\r\n"), (std::vector<std::string>{"A", "", "B", ""}));
}

PlacementInput screen_1920x1080(double width_twips, double height_twips) {
  PlacementInput in;
  in.screen_width_px = 1920;
  in.screen_height_px = 1080;
  in.window_width_twips = width_twips;
  in.window_height_twips = height_twips;
  in.taskbar_height_px = 40;
  in.taskbar_align = 4;
  return in;
}

TEST(OverlayPlacement, AutomaticIsLowerRightAboveTheTaskbar) {
  const PlacementTwips p = place_overlay(screen_1920x1080(200 * 15, 675));
  EXPECT_DOUBLE_EQ(p.top, 1080 * 15 - 675 - 40 * 15);
  EXPECT_DOUBLE_EQ(p.left, 1920 * 15 - 3000 - 10);
  EXPECT_EQ(twips_to_px(p.top, 15), 1040 - 45);
  EXPECT_EQ(twips_to_px(p.left, 15), 1920 - 200 - 1);
}

TEST(OverlayPlacement, StoredPositionNeedsBothCoordinates) {
  PlacementInput in = screen_1920x1080(3000, 675);
  in.window_pos_x = 1500;
  in.window_pos_y = 3000;
  PlacementTwips p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.left, 1500);
  EXPECT_DOUBLE_EQ(p.top, 3000);

  const PlacementTwips automatic = place_overlay(screen_1920x1080(3000, 675));
  in.window_pos_x = 0;
  p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.left, automatic.left);
  EXPECT_DOUBLE_EQ(p.top, automatic.top);
  in.window_pos_x = 1500;
  in.window_pos_y = 0;
  p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.left, automatic.left);
  EXPECT_DOUBLE_EQ(p.top, automatic.top);

  // Off the screen or negative: applied as stored.
  in.window_pos_x = -90000;
  in.window_pos_y = 900000;
  p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.left, -90000);
  EXPECT_DOUBLE_EQ(p.top, 900000);
}

TEST(OverlayPlacement, SideTaskbarsDoNotPushTheOverlayOffTheScreen) {
  // Left edge: the taskbar is as tall as the screen; stand on the bottom edge at the right.
  PlacementInput in = screen_1920x1080(3000, 675);
  in.taskbar_align = 1;
  in.taskbar_height_px = 1080;
  PlacementTwips p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.top, 1080 * 15 - 675);
  EXPECT_DOUBLE_EQ(p.left, 1920 * 15 - 3000 - 10);

  // Right edge: left of the taskbar.
  in.taskbar_align = 2;
  in.taskbar_left_px = 1858;
  p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.top, 1080 * 15 - 675);
  EXPECT_DOUBLE_EQ(p.left, 1858 * 15 - 3000 - 10);

  // Top edge and unknown keep the bottom rule.
  in.taskbar_align = 3;
  in.taskbar_height_px = 40;
  p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.top, 1080 * 15 - 675 - 600);
  in.taskbar_align = 0;
  in.taskbar_height_px = 0;
  p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.top, 1080 * 15 - 675);
  EXPECT_DOUBLE_EQ(p.left, 1920 * 15 - 3000 - 10);
}

TEST(OverlayPlacement, UsesTheScreensTwipsPerPixel) {
  PlacementInput in = screen_1920x1080(200 * 12, 337.5);
  in.twips_per_px_x = 12;
  in.twips_per_px_y = 12;
  const PlacementTwips p = place_overlay(in);
  EXPECT_DOUBLE_EQ(p.top, 1080 * 12 - 337.5 - 40 * 12);
  EXPECT_DOUBLE_EQ(p.left, 1920 * 12 - 2400 - 10);
}

}  // namespace
}  // namespace kn

namespace kn {
namespace {

Monitor monitor(int32_t l, int32_t t, int32_t r, int32_t b, int32_t taskbar_bottom = 40) {
  return Monitor{PxRect{l, t, r, b}, PxRect{l, t, r, b - taskbar_bottom}};
}

TEST(KeepOnMonitors, AWindowAnyMonitorShowsStaysWhereItIs) {
  // A secondary left of the primary (negative coordinates) and one of another size.
  const std::vector<Monitor> screens{monitor(0, 0, 1920, 1080), monitor(-1280, 0, 0, 1024),
                                     monitor(1920, -200, 4480, 1240)};
  for (const PxRect w :
       {PxRect{-900, 500, -600, 560}, PxRect{1700, 1050, 2000, 1110},  // over the taskbar, across
        PxRect{4400, 1200, 4700, 1300}}) {                             // partly beyond an edge
    EXPECT_EQ(keep_on_monitors(w, screens), w);
  }
}

TEST(KeepOnMonitors, AWindowNoMonitorShowsComesWholeOntoTheNearestWorkArea) {
  const std::vector<Monitor> side_by_side{monitor(0, 0, 1920, 1080), monitor(1920, 0, 3200, 1024)};
  // Its monitor was unplugged (it stood at 3400 on a third one).
  EXPECT_EQ(keep_on_monitors(PxRect{3400, 500, 3700, 560}, side_by_side), (PxRect{2900, 500, 3200, 560}));
  // Below everything, e.g. after the resolution went down: above the taskbar.
  EXPECT_EQ(keep_on_monitors(PxRect{100, 1500, 400, 1560}, side_by_side), (PxRect{100, 980, 400, 1040}));
  // Left of a secondary on the left, and above stacked monitors.
  const std::vector<Monitor> stacked{monitor(0, 0, 1920, 1080), monitor(0, -1080, 1920, 0, 0)};
  EXPECT_EQ(keep_on_monitors(PxRect{-500, -3000, -200, -2940}, stacked), (PxRect{0, -1080, 300, -1020}));
  // A taskbar on the left or at the top takes its side of the work area.
  const std::vector<Monitor> left_bar{Monitor{PxRect{0, 0, 1280, 800}, PxRect{60, 30, 1280, 800}}};
  EXPECT_EQ(keep_on_monitors(PxRect{-900, -900, -600, -840}, left_bar), (PxRect{60, 30, 360, 90}));
}

TEST(KeepOnMonitors, AWindowLargerThanTheWorkAreaShowsItsStartAndNoMonitorsMovesNothing) {
  const std::vector<Monitor> one{monitor(0, 0, 1280, 800)};
  EXPECT_EQ(keep_on_monitors(PxRect{5000, 100, 7000, 300}, one), (PxRect{0, 100, 2000, 300}));
  EXPECT_EQ(keep_on_monitors(PxRect{5000, 100, 5300, 160}, {}), (PxRect{5000, 100, 5300, 160}));
  // An empty window (nothing to show) is placed like a point.
  EXPECT_EQ(keep_on_monitors(PxRect{9000, 9000, 9000, 9000}, one), (PxRect{1279, 759, 1279, 759}));
}

TEST(TwipsAtEveryScale, TheEmSizeGrowsWithTheScreensDotsPerInch) {
  EXPECT_FLOAT_EQ(em_px(18, 96), 18.0f);  // text_size is pixels at 96 dpi
  EXPECT_FLOAT_EQ(em_px(18, 144), 27.0f);
  EXPECT_FLOAT_EQ(em_px(18, 192), 36.0f);
  EXPECT_FLOAT_EQ(em_px(10, 0), 10.0f);
  // The window's height in twips becomes as many more pixels as the letters.
  EXPECT_EQ(twips_to_px(height_twips(2, 18), twips_per_px(192)), 2 * twips_to_px(height_twips(2, 18), 15));
}

TEST(TwipsAtEveryScale, APositionDroppedInTheDialogPutsTheOverlayOnTheSamePixel) {
  for (int dpi : {96, 120, 144, 168, 192, 216}) {
    const double tpp = twips_per_px(dpi);
    for (int px : {-1921, -1, 1, 2000, 2001, 3839}) {
      const int32_t saved = px_to_twips(px, tpp);
      EXPECT_EQ(twips_to_px(saved, tpp), px) << dpi << " dpi, dropped at " << px;
    }
  }
}

// A primary at 100 %, a monitor at 200 % right of it and one at 150 % left of it, as
// Windows reports them: their own pixels, and the logical rectangles in which windows
// at the system's 96 dpi see them.
std::vector<Monitor> mixed_scales() {
  Monitor primary = monitor(0, 0, 1920, 1080);
  Monitor right = monitor(1920, 0, 4480, 1440);
  right.dpi = 192;
  right.logical = PxRect{1920, 0, 3200, 720};
  Monitor left = monitor(-1920, 0, 0, 1080);
  left.dpi = 144;
  left.logical = PxRect{-1280, 0, 0, 720};
  return {primary, right, left};
}

TEST(PerMonitorScale, AWindowTakesTheScaleOfTheMonitorShowingMostOfIt) {
  const std::vector<Monitor> screens = mixed_scales();
  EXPECT_EQ(dpi_of(PxRect{2000, 100, 2400, 190}, screens, 96), 192);
  EXPECT_EQ(dpi_of(PxRect{1700, 100, 2000, 190}, screens, 96), 96);  // more of it on the primary
  EXPECT_EQ(dpi_of(PxRect{1800, 100, 2100, 190}, screens, 96), 192);
  EXPECT_EQ(dpi_of(PxRect{-900, 100, -600, 190}, screens, 96), 144);
  EXPECT_EQ(dpi_of(PxRect{-5000, 100, -4800, 190}, screens, 96), 144);  // off every monitor: the nearest
  EXPECT_EQ(dpi_of(PxRect{0, 0, 10, 10}, {}, 120), 120);
}

TEST(PerMonitorScale, AStoredPositionLandsWhereTheDialogWasDroppedOnEveryMonitor) {
  const std::vector<Monitor> screens = mixed_scales();
  // The dialog, at the system's scale, was dropped at these logical pixels.
  EXPECT_EQ(twips_to_screen(100 * 15, 200 * 15, screens, 96), (PxPoint{100, 200}));
  EXPECT_EQ(twips_to_screen(2020 * 15, 100 * 15, screens, 96), (PxPoint{2120, 200}));
  EXPECT_EQ(twips_to_screen(1920 * 15, 719 * 15, screens, 96), (PxPoint{1920, 1438}));
  EXPECT_EQ(twips_to_screen(-640 * 15, 360 * 15, screens, 96), (PxPoint{-960, 540}));
  EXPECT_EQ(twips_to_screen(-1 * 15, 10 * 15, screens, 96), (PxPoint{-2, 15}));
  // Beyond every monitor: stretched by the nearest, for the pull-back to bring home.
  EXPECT_EQ(twips_to_screen(3300 * 15, 100 * 15, screens, 96), (PxPoint{4680, 200}));
  // One scale everywhere (Windows 7, Wine): the plain conversion, at any dpi.
  for (int dpi : {96, 120, 144, 192}) {
    const std::vector<Monitor> same{monitor(0, 0, 2560, 1440), monitor(-1920, 0, 0, 1080)};
    const double tpp = twips_per_px(dpi);
    for (int32_t twips : {-20000, -1, 1, 7, 14000, 30000}) {
      EXPECT_EQ(twips_to_screen(twips, 1500, same, dpi),
                (PxPoint{twips_to_px(twips, tpp), twips_to_px(1500, tpp)}))
          << dpi << " dpi, " << twips << " twips";
    }
  }
}

// A text two lines high whose measured width grows with the scale, as GDI+ measures it.
struct Measured {
  std::vector<int32_t> dpis;
  TextBlock operator()(int32_t dpi) {
    dpis.push_back(dpi);
    return TextBlock{200 * dpi / 96, 44 * dpi / 96};
  }
};

OverlayLayoutInput two_lines_on(const std::vector<Monitor>& screens) {
  OverlayLayoutInput in;
  in.mode = LayoutMode::NewText;
  in.text = "ABC : 0005\r\nDEF: 0012";
  in.text_size = 18;
  in.monitors = screens;
  in.screen_width_px = 1920;
  in.screen_height_px = 1080;
  in.max_width_px = 6400;
  in.max_height_px = 1440;
  in.taskbar_height_px = 40;
  return in;
}

TEST(PerMonitorScale, MovedFrom96To192DpiTheLettersAndTheWindowDouble) {
  Measured measured;
  OverlayLayoutInput in = two_lines_on(mixed_scales());
  in.window_pos_x = 100 * 15;
  in.window_pos_y = 200 * 15;
  const OverlayLayout at_100 = lay_out_overlay(in, std::ref(measured));
  EXPECT_EQ(at_100.dpi, 96);
  EXPECT_EQ(at_100.em, 18);
  EXPECT_EQ(at_100.lines, 2);
  EXPECT_EQ(at_100.draw_width, 200 - 18);
  EXPECT_EQ(at_100.window, (PxRect{100, 200, 300, 245}));  // 2 x 18 x 18.75 twips = 45 px

  // Dropped on the monitor at 200 %.
  in.window_pos_x = 2020 * 15;
  in.window_pos_y = 100 * 15;
  measured.dpis.clear();
  const OverlayLayout at_200 = lay_out_overlay(in, std::ref(measured));
  EXPECT_EQ(measured.dpis, (std::vector<int32_t>{192}));
  EXPECT_EQ(at_200.dpi, 192);
  EXPECT_EQ(at_200.em, 36);
  EXPECT_EQ(at_200.draw_width, 400 - 36);
  EXPECT_EQ(at_200.window, (PxRect{2120, 200, 2520, 290}));

  // A redraw there keeps the window as wide as it stood, in that monitor's pixels.
  in.mode = LayoutMode::Redraw;
  in.previous_width_px = at_100.window.width();
  in.previous_dpi = at_100.dpi;
  EXPECT_EQ(lay_out_overlay(in, std::ref(measured)).draw_width, 400);
  in.previous_width_px = at_200.window.width();
  in.previous_dpi = at_200.dpi;
  EXPECT_EQ(lay_out_overlay(in, std::ref(measured)).draw_width, 400);
}

TEST(PerMonitorScale, AWindowStandingMostlyOnTheNextMonitorIsDrawnAtItsScale) {
  Measured measured;
  OverlayLayoutInput in = two_lines_on(mixed_scales());
  // 200 pixels wide at 100 % from x = 1900 stands mostly on the monitor at 200 %.
  in.window_pos_x = 1900 * 15;
  in.window_pos_y = 100 * 15;
  const OverlayLayout g = lay_out_overlay(in, std::ref(measured));
  EXPECT_EQ(measured.dpis, (std::vector<int32_t>{96, 192}));
  EXPECT_EQ(g.dpi, 192);
  EXPECT_EQ(g.window, (PxRect{1900, 100, 2300, 190}));
}

TEST(PerMonitorScale, AutomaticPlacementIsAtThePrimarysScale) {
  Measured measured;
  std::vector<Monitor> screens = mixed_scales();
  screens[0].dpi = 144;
  const OverlayLayout g = lay_out_overlay(two_lines_on(screens), std::ref(measured));
  EXPECT_EQ(g.dpi, 144);
  EXPECT_EQ(g.em, 27);
  // 300 pixels wide; its right edge 10 twips (one pixel at 144 dpi) from the screen's,
  // its bottom on the taskbar; 675 twips high.
  EXPECT_EQ(g.window, (PxRect{1919 - 300, 1040 - 68, 1919, 1040}));
}

TEST(PerMonitorScale, APlaceOnAMonitorThatIsGoneComesBackAtTheScaleItLandsOn) {
  Measured measured;
  OverlayLayoutInput in = two_lines_on(mixed_scales());
  in.window_pos_x = 5000 * 15;  // on a fourth monitor, right of the one at 200 %
  in.window_pos_y = 100 * 15;
  const OverlayLayout g = lay_out_overlay(in, std::ref(measured));
  EXPECT_EQ(g.dpi, 192);
  EXPECT_EQ(g.window, (PxRect{4080, 200, 4480, 290}));  // whole, at the near edge
}

}  // namespace
}  // namespace kn

namespace kn {
namespace {

// Two monitors of different size side by side (the right one at a higher scale has
// more pixels), the overlay on the right one.
FullscreenInput on_right_monitor(PxRect foreground, bool caption = false) {
  FullscreenInput in;
  in.option_on = true;
  in.monitors = {monitor(0, 0, 1920, 1080), monitor(1920, 0, 5760, 2160)};
  in.overlay = PxRect{5300, 2000, 5740, 2100};
  in.foreground.exists = true;
  in.foreground.rect = foreground;
  in.foreground.has_caption = caption;
  return in;
}

TEST(Fullscreen, OnlyAWholeMonitorWithoutACaptionOnTheOverlaysMonitorHidesIt) {
  EXPECT_TRUE(hide_for_fullscreen(on_right_monitor(PxRect{1920, 0, 5760, 2160})));
  // Full screen on the other monitor.
  EXPECT_FALSE(hide_for_fullscreen(on_right_monitor(PxRect{0, 0, 1920, 1080})));
  // Maximized beside a visible taskbar, and maximized where the taskbar hides itself.
  EXPECT_FALSE(hide_for_fullscreen(on_right_monitor(PxRect{1920, 0, 5760, 2120}, true)));
  EXPECT_FALSE(hide_for_fullscreen(on_right_monitor(PxRect{1912, -8, 5768, 2168}, true)));
  // Borderless, one pixel short of the monitor.
  EXPECT_FALSE(hide_for_fullscreen(on_right_monitor(PxRect{1920, 0, 5760, 2159})));
  FullscreenInput desktop = on_right_monitor(PxRect{1920, 0, 5760, 2160});
  desktop.foreground.desktop_or_taskbar = true;
  EXPECT_FALSE(hide_for_fullscreen(desktop));
  FullscreenInput off = on_right_monitor(PxRect{1920, 0, 5760, 2160});
  off.option_on = false;
  EXPECT_FALSE(hide_for_fullscreen(off));
}

TEST(Fullscreen, TheShellsFullScreenStateCountsOnlyOnTheOverlaysMonitor) {
  FullscreenInput d3d = on_right_monitor(PxRect{2000, 100, 2800, 700}, true);
  d3d.state = UserState::kFullScreenDirect3D;
  EXPECT_TRUE(hide_for_fullscreen(d3d));
  FullscreenInput elsewhere = on_right_monitor(PxRect{100, 100, 800, 700}, true);
  elsewhere.state = UserState::kPresentation;
  EXPECT_FALSE(hide_for_fullscreen(elsewhere));
  FullscreenInput none = on_right_monitor(PxRect{2000, 100, 2800, 700});
  none.foreground.exists = false;
  none.state = UserState::kPresentation;
  EXPECT_FALSE(hide_for_fullscreen(none));
}

}  // namespace
}  // namespace kn
