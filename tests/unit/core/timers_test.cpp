#include "core/timers.h"

#include <gtest/gtest.h>

namespace kn {
namespace {

TEST(RefreshTimers, CountsDownAndPollsOnTheZeroTick) {
  RefreshTimers t;
  auto first = t.countdown_tick(1);
  EXPECT_EQ(first.tooltip,
            "n\xC3\xA4"
            "chste Aktualisierung in 59 Sekunden");
  EXPECT_FALSE(first.poll);
  for (int i = 2; i < 60; ++i) EXPECT_FALSE(t.countdown_tick(1).poll);
  auto due = t.countdown_tick(1);
  EXPECT_EQ(due.tooltip,
            "n\xC3\xA4"
            "chste Aktualisierung in 0 Sekunden");
  EXPECT_TRUE(due.poll);
  EXPECT_EQ(t.tick_count(), 0);
  EXPECT_EQ(t.countdown_tick(3).tooltip,
            "n\xC3\xA4"
            "chste Aktualisierung in 179 Sekunden");
}

TEST(RefreshTimers, ZeroIntervalPollsOnEveryTick) {
  RefreshTimers t;
  for (int i = 0; i < 3; ++i) {
    auto tick = t.countdown_tick(0);
    EXPECT_TRUE(tick.poll);
    EXPECT_EQ(tick.tooltip,
              "n\xC3\xA4"
              "chste Aktualisierung in -1 Sekunden");
  }
}

TEST(RefreshTimers, LargestIntervalDoesNotOverflow) {
  RefreshTimers t;
  EXPECT_EQ(t.countdown_tick(546).tooltip,
            "n\xC3\xA4"
            "chste Aktualisierung in 32759 Sekunden");
}

TEST(RefreshTimers, ChangeDisplayBlanksAfterItsTimeAndRestartsOnNewChange) {
  RefreshTimers t;
  EXPECT_FALSE(t.changes_tick(10));  // disabled timer does nothing
  t.start_change_display();
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(t.changes_tick(10));
  t.start_change_display();  // a second change 5 ticks later
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(t.changes_tick(10));
  EXPECT_TRUE(t.changes_tick(10));
  EXPECT_FALSE(t.changes_timer_enabled());
  EXPECT_FALSE(t.changes_tick(10));
}

}  // namespace
}  // namespace kn
