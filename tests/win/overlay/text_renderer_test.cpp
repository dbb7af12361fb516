#include "overlay/text_renderer_win.h"

#include <gtest/gtest.h>

#include "overlay_test_util.h"

namespace kn {
namespace {

using test::Snapshot;

RenderRequest request(const std::string& text) {
  RenderRequest r;
  r.text = text;
  r.bitmap_width = 200;
  r.bitmap_height = 60;
  r.draw_width = 180;
  r.measured_height = 29;
  return r;
}

TEST(TextRenderer, MissingFamilyFallsBackToSansSerif) {
  GdiplusSession gdiplus;
  ASSERT_TRUE(gdiplus.ok());
  TextRenderer renderer("No Such Family Anywhere");
  renderer.prepare_drawing(OverlayStyle{});
  const Frame f = renderer.render_text(nullptr, request("ABC : 0005"));
  ASSERT_FALSE(f.empty());
  EXPECT_GT(Snapshot::of(f).count_if_alpha(225, 255), 20);
}

TEST(TextRenderer, ZeroSizedRequestsGiveAnEmptyFrame) {
  GdiplusSession gdiplus;
  TextRenderer renderer;
  renderer.prepare_drawing(OverlayStyle{});
  RenderRequest r = request("A: 1");
  r.bitmap_height = 0;
  EXPECT_TRUE(renderer.render_text(nullptr, r).empty());
  r.bitmap_height = 60;
  r.bitmap_width = 0;
  EXPECT_TRUE(renderer.render_text(nullptr, r).empty());
}

TEST(TextRenderer, WithoutPreparedObjectsTheFrameStaysTransparent) {
  GdiplusSession gdiplus;
  TextRenderer renderer;
  const Frame f = renderer.render_text(nullptr, request("A: 1"));
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(Snapshot::of(f).count_if_alpha(1, 255), 0);
}

TEST(TextRenderer, ShadowIsTheTextMovedTwoPixels) {
  GdiplusSession gdiplus;
  TextRenderer renderer;
  OverlayStyle plain;
  plain.outline_on = false;
  plain.shadow_on = false;
  renderer.prepare_drawing(plain);
  const Snapshot letters = Snapshot::of(renderer.render_text(nullptr, request("XY: 7")));
  OverlayStyle shadow_only = plain;
  shadow_only.shadow_on = true;
  shadow_only.opacity = 0;
  renderer.prepare_drawing(shadow_only);
  const Snapshot shadow = Snapshot::of(renderer.render_text(nullptr, request("XY: 7")));
  int compared = 0;
  for (int32_t y = 0; y < letters.height; ++y)
    for (int32_t x = 0; x < letters.width; ++x) {
      EXPECT_EQ(shadow.alpha_at(x, y) > 0, letters.alpha_at(x - 2, y - 2) > 0) << x << "," << y;
      compared += letters.alpha_at(x, y) > 0 ? 1 : 0;
    }
  EXPECT_GT(compared, 20);
}

TEST(TextRenderer, BitmapsAreCutAtTheSideLimit) {
  GdiplusSession gdiplus;
  TextRenderer renderer;
  OverlayStyle big;
  big.text_size = kMaxTextSize;
  renderer.prepare_drawing(big);
  RenderRequest r = request("A: 1");
  r.bitmap_width = 20000;
  r.bitmap_height = 9000;
  r.draw_width = 20000;
  const Frame f = renderer.render_text(nullptr, r);
  EXPECT_EQ(f.width(), kMaxBitmapSidePx);
  EXPECT_EQ(f.height(), kMaxBitmapSidePx);
}

TEST(TextRenderer, MeasuresWidestLineAndAllLines) {
  const TextExtent one = measure_text("ABC : 0005", 18);
  const TextExtent two = measure_text("ABC : 0005\r\nA: 1", 18);
  const TextExtent big = measure_text("ABC : 0005", 36);
  EXPECT_GT(one.width, 0);
  EXPECT_EQ(two.width, one.width);
  EXPECT_EQ(two.height, 2 * one.height);
  EXPECT_GT(big.width, one.width * 3 / 2);
  EXPECT_EQ(measure_text("", 18).width, 0);
}

}  // namespace
}  // namespace kn
