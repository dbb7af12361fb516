#include "stats/line_graph.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "recording_surface.h"

namespace kn {
namespace {

using test::Op;
using test::RecordingSurface;

constexpr uint32_t kBlack = 0, kGreen = 65280, kRed = 255, kTeal = 8421376;

clsLineGraph make_graph(RecordingSurface& pic, const std::vector<double>& values) {
  clsLineGraph g;
  g.Surface(&pic);
  for (double v : values) g.add_value(v);
  g.PicBackground(kBlack);
  g.PicForeground(kGreen);
  g.BorderColor(kRed);
  g.GridColor(kTeal);
  g.GridVisible(true);
  return g;
}

void expect_op(const Op& op, float x1, float y1, float x2, float y2, uint32_t colour) {
  EXPECT_FLOAT_EQ(op.x1, x1);
  EXPECT_FLOAT_EQ(op.y1, y1);
  EXPECT_FLOAT_EQ(op.x2, x2);
  EXPECT_FLOAT_EQ(op.y2, y2);
  EXPECT_EQ(op.colour, colour);
}

TEST(LineGraph, NewObjectHasZeroPropertiesAndDrawsNothingWithoutASurface) {
  clsLineGraph g;
  EXPECT_EQ(g.max_Height(), 0);
  EXPECT_EQ(g.GridColor(), 0u);
  EXPECT_FALSE(g.GridVisible());
  EXPECT_EQ(g.BorderColor(), 0u);
  EXPECT_EQ(g.BorderSize(), 0);
  EXPECT_EQ(g.PicForeground(), 0u);
  EXPECT_EQ(g.PicBackground(), 0u);
  EXPECT_TRUE(g.values().empty());
  EXPECT_EQ(g.Surface(), nullptr);
  g.Draw();  // must simply return
}

TEST(LineGraph, PropertiesReadBackWhatWasWritten) {
  RecordingSurface pic(10, 10);
  clsLineGraph g;
  g.max_Height(250);
  g.GridColor(kTeal);
  g.GridVisible(true);
  g.BorderColor(kRed);
  g.BorderSize(3);
  g.PicForeground(kGreen);
  g.PicBackground(0x123456);
  g.Surface(&pic);
  EXPECT_EQ(g.max_Height(), 250);
  EXPECT_EQ(g.GridColor(), kTeal);
  EXPECT_TRUE(g.GridVisible());
  EXPECT_EQ(g.BorderColor(), kRed);
  EXPECT_EQ(g.BorderSize(), 3);
  EXPECT_EQ(g.PicForeground(), kGreen);
  EXPECT_EQ(g.PicBackground(), 0x123456u);
  EXPECT_EQ(g.Surface(), &pic);
}

TEST(LineGraph, EmptyListDrawsBackgroundAndGridOnly) {
  RecordingSurface pic(400, 300);
  clsLineGraph g = make_graph(pic, {});
  g.Draw();
  ASSERT_GE(pic.ops.size(), 2u);
  EXPECT_EQ(pic.ops[0].kind, Op::kClear);
  EXPECT_EQ(pic.ops[1].kind, Op::kBackground);
  EXPECT_EQ(pic.background(), kBlack);
  EXPECT_TRUE(pic.lines().empty());
  auto rects = pic.rects();
  ASSERT_EQ(rects.size(), 30u);
  for (int k = 1; k <= 20; ++k) expect_op(rects[k - 1], 0, 0, 20.0f * k, 300, kTeal);
  for (int k = 1; k <= 10; ++k) expect_op(rects[19 + k], 0, 0, 400, 30.0f * k, kTeal);

  // The background is only set when it differs; a second draw just clears.
  g.Draw();
  EXPECT_TRUE(pic.of(Op::kBackground).empty());
  EXPECT_EQ(pic.rects().size(), 30u);
}

TEST(LineGraph, GridIsComputedInSinglePrecision) {
  RecordingSurface pic(333, 77);
  clsLineGraph g = make_graph(pic, {});
  g.Draw();
  auto rects = pic.rects();
  ASSERT_EQ(rects.size(), 30u);
  EXPECT_EQ(rects[6].x2, 333.0f / 20.0f * 7.0f);
  EXPECT_EQ(rects[22].y2, 77.0f / 10.0f * 3.0f);
}

TEST(LineGraph, BorderDrawsOneMoreRectangleThanItsSizeAndInsetsTheGrid) {
  RecordingSurface pic(200, 100, 1);
  clsLineGraph g = make_graph(pic, {});
  g.BorderSize(3);
  g.Draw();
  EXPECT_EQ(g.BorderSize(), 3);
  auto rects = pic.rects();
  ASSERT_EQ(rects.size(), 4u + 30u);
  for (int i = 0; i <= 3; ++i) {
    float f = static_cast<float>(i);
    expect_op(rects[i], f, f, 200.0f - (f + 1), 100.0f - (f + 1), kRed);
  }
  expect_op(rects[4], 3, 3, 194.0f / 20.0f, 94, kTeal);
  expect_op(rects[33], 3, 3, 194, 94, kTeal);
}

TEST(LineGraph, GridInvisibleLeavesBackgroundBorderAndData) {
  RecordingSurface pic(200, 100);
  clsLineGraph g = make_graph(pic, {10, 20});
  g.GridVisible(false);
  g.BorderSize(1);
  g.Draw();
  auto rects = pic.rects();
  ASSERT_EQ(rects.size(), 2u);
  for (const auto& r : rects) EXPECT_EQ(r.colour, kRed);
  EXPECT_EQ(pic.lines().size(), 2u);
}

TEST(LineGraph, SmallMaxHeightsUseAScaleOfHundred) {
  for (int32_t max : {0, 50, 100}) {
    SCOPED_TRACE(max);
    RecordingSurface pic(200, 100);
    clsLineGraph g = make_graph(pic, {50, 150, 0});
    g.max_Height(max);
    g.Draw();
    auto lines = pic.lines();
    ASSERT_EQ(lines.size(), 3u);
    expect_op(lines[0], 2, 50, 2, 50, kGreen);
    expect_op(lines[1], 2, 50, 4, 0, kGreen);  // 150 is held at the top edge
    expect_op(lines[2], 4, 0, 6, 100, kGreen);
  }
}

TEST(LineGraph, LargeMaxHeightIsTheTopOfThePlot) {
  RecordingSurface pic(200, 100);
  clsLineGraph g = make_graph(pic, {250, 125});
  g.max_Height(250);
  g.Draw();
  auto lines = pic.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_FLOAT_EQ(lines[0].y2, 0);
  EXPECT_FLOAT_EQ(lines[1].y2, 50);
}

TEST(LineGraph, ThirtyValuesLieOneHundredthOfThePlotApartFromTheLeft) {
  RecordingSurface pic(300, 120);
  std::vector<double> data;
  for (int i = 1; i <= 30; ++i) data.push_back(i);
  clsLineGraph g = make_graph(pic, data);
  g.Draw();
  auto lines = pic.lines();
  ASSERT_EQ(lines.size(), 30u);
  for (int i = 1; i <= 30; ++i) {
    SCOPED_TRACE(i);
    const Op& l = lines[i - 1];
    EXPECT_FLOAT_EQ(l.x2, 3.0f * (i - 1) + 2);
    EXPECT_FLOAT_EQ(l.y2, 120.0f - i * 1.2f);
    if (i > 1) {
      EXPECT_EQ(l.x1, lines[i - 2].x2);
      EXPECT_EQ(l.y1, lines[i - 2].y2);
    }
  }
  EXPECT_FLOAT_EQ(lines[0].x1, 2);
}

TEST(LineGraph, TheHundredAndFirstValuePushesOutTheOldest) {
  RecordingSurface pic(200, 100);
  std::vector<double> data;
  for (int i = 1; i <= 101; ++i) data.push_back(i % 2 ? 10 : 20);
  data[0] = 99;
  clsLineGraph g = make_graph(pic, data);
  g.Draw();
  ASSERT_EQ(g.values().size(), 100u);
  EXPECT_EQ(g.values().front(), 20);  // the former second value
  auto lines = pic.lines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_FLOAT_EQ(lines[0].y1, 80);
  EXPECT_FLOAT_EQ(lines[99].x2, 200.0f * 99 / 100 + 2);
}

TEST(LineGraph, StartPointIsNotHeldAtTheTopButPointsAreHeldInsideTheBorder) {
  RecordingSurface pic(200, 100);
  clsLineGraph g = make_graph(pic, {150, -20});
  g.BorderSize(5);
  g.Draw();
  auto lines = pic.lines();
  ASSERT_EQ(lines.size(), 2u);
  // Plot 190 x 90, scale 0.9: the start at y = 90 - 135 stays above the plot.
  expect_op(lines[0], 7, -45, 5, 5, kGreen);
  // x = 1.9 + 2 is held at the border; below zero is not limited.
  expect_op(lines[1], 5, 5, 5, 90 + 18, kGreen);
}

TEST(LineGraph, AValueNoCoordinateCanHoldEndsTheDrawingQuietly) {
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), -1e300}) {
    RecordingSurface pic(200, 100);
    clsLineGraph g = make_graph(pic, {10, 20, bad, 30});
    g.Draw();
    EXPECT_EQ(pic.lines().size(), 2u);  // what was drawn before stays
    EXPECT_EQ(pic.rects().size(), 30u);
  }
}

}  // namespace
}  // namespace kn
