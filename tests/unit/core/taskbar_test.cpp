#include "core/taskbar.h"

#include <gtest/gtest.h>

namespace kn {
namespace {

int32_t value(const std::string& key, TaskbarRect r) { return taskbar_value(normalise_taskbar_key(key), r); }

TEST(Taskbar, BottomTaskbarOnFullHdScreen) {
  const TaskbarRect r{0, 1040, 1920, 1080};
  EXPECT_EQ(value("HEIGHT", r), 40);
  EXPECT_EQ(value("WIDTH", r), 1920);
  EXPECT_EQ(value("TOP", r), 1040);
  EXPECT_EQ(value("LEFT", r), 0);
  EXPECT_EQ(value("ALIGN", r), kEdgeBottom);
}

TEST(Taskbar, EdgeCodes) {
  const TaskbarRect left{0, 0, 62, 1080};
  EXPECT_EQ(value("ALIGN", left), kEdgeLeft);
  EXPECT_EQ(value("HEIGHT", left), 1080);
  EXPECT_EQ(value("ALIGN", TaskbarRect{1858, 0, 1920, 1080}), kEdgeRight);
  EXPECT_EQ(value("ALIGN", TaskbarRect{0, 0, 1920, 40}), kEdgeTop);
  // Neither corner: unknown. right == bottom: neither taller nor wider.
  EXPECT_EQ(value("ALIGN", TaskbarRect{10, 10, 500, 60}), kEdgeUnknown);
  EXPECT_EQ(value("ALIGN", TaskbarRect{0, 0, 100, 100}), kEdgeUnknown);
  // No taskbar found: everything zero.
  EXPECT_EQ(value("ALIGN", TaskbarRect{}), kEdgeUnknown);
  EXPECT_EQ(value("HEIGHT", TaskbarRect{}), 0);
}

TEST(Taskbar, PartlyOffScreenCountsAsAtTheEdge) {
  EXPECT_EQ(value("ALIGN", TaskbarRect{-2, -2, 1922, 42}), kEdgeTop);
  EXPECT_EQ(value("ALIGN", TaskbarRect{-2, -2, 60, 1082}), kEdgeLeft);
  EXPECT_EQ(value("ALIGN", TaskbarRect{-2, 1040, 1922, 1082}), kEdgeBottom);
  EXPECT_EQ(value("ALIGN", TaskbarRect{1860, -2, 1922, 1082}), kEdgeRight);
  EXPECT_EQ(value("HEIGHT", TaskbarRect{-2, 1040, 1922, 1082}), 42);
  EXPECT_EQ(value("WIDTH", TaskbarRect{-2, 1040, 1922, 1082}), 1924);
}

TEST(Taskbar, KeysIgnoreCaseAndSurroundingBlanks) {
  const TaskbarRect r{0, 1040, 1920, 1080};
  EXPECT_EQ(value("  height ", r), 40);
  EXPECT_EQ(value("Align", r), kEdgeBottom);
  EXPECT_EQ(value("BOTTOM", r), 0);
  EXPECT_EQ(value("HEIGHT2", r), 0);
  EXPECT_EQ(normalise_taskbar_key("   "), "");
  EXPECT_EQ(normalise_taskbar_key(""), "");
}

TEST(Taskbar, ExtremeRectanglesSaturateInsteadOfOverflowing) {
  const TaskbarRect r{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  EXPECT_EQ(value("HEIGHT", r), INT32_MAX);
  EXPECT_EQ(value("WIDTH", TaskbarRect{INT32_MAX, 0, INT32_MIN, 0}), INT32_MIN);
}

}  // namespace
}  // namespace kn
