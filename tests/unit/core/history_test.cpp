#include <gtest/gtest.h>

#include "core/hoerer_stats.h"

namespace kn {
namespace {

TEST(History, StartsWithOneEmptySlotAndStampsSamples) {
  int calls = 0;
  History h([&] {
    ++calls;
    return std::pair<std::string, std::string>("08.12.2026", "01:02:0" + std::to_string(calls));
  });
  EXPECT_EQ(h.entries().size(), 1u);
  EXPECT_EQ(h.sample_count(), 0u);
  h.add_sample("a", 5);
  h.add_sample("b", 0);
  ASSERT_EQ(h.entries().size(), 3u);
  EXPECT_EQ(h.entries()[0].date, "08.12.2026");
  EXPECT_EQ(h.entries()[1].time, "01:02:02");
  EXPECT_EQ(h.entries()[1].station, "b");
  EXPECT_EQ(h.entries()[2].station, "");
  EXPECT_EQ(h.entries()[2].count, 0);
}

TEST(History, KeepsTheNewestSamplesOfEachStation) {
  History h;
  h.add_sample("b", -1);
  for (int i = 0; i < 1500; ++i) h.add_sample("a", i);
  h.add_sample("b", -2);
  ASSERT_EQ(h.sample_count(), kMaxSamplesPerStation + 2);
  EXPECT_EQ(h.entries()[0].station, "b");
  EXPECT_EQ(h.entries()[1].count, 500);  // the oldest of "a" went first
  EXPECT_EQ(h.entries()[kMaxSamplesPerStation].count, 1499);
  EXPECT_EQ(h.entries().back().station, "");
}

TEST(History, ExtremesMoveOutwardAndRoundHalfToEven) {
  History h;
  StationEntry s;
  s.name = "a";
  record_count(s, 12.5, h);
  EXPECT_EQ(s.min_hoerer, 12);
  EXPECT_EQ(s.max_hoerer, 12);
  record_count(s, 0, h);
  EXPECT_EQ(s.min_hoerer, 0);
  EXPECT_EQ(s.max_hoerer, 12);
  EXPECT_EQ(h.sample_count(), 2u);
}

TEST(History, LookupsUseTheFirstMatchIgnoringCase) {
  std::vector<StationEntry> list(2);
  list[0].name = "a";
  list[0].max_hoerer = 7;
  list[0].min_hoerer = 3;
  list[1].name = "a";
  list[1].max_hoerer = 99;
  EXPECT_EQ(get_station_max(list, "A"), 7);
  EXPECT_EQ(get_station_min(list, "a"), 3);
  EXPECT_EQ(get_station_max(list, "b"), 0);
  EXPECT_EQ(get_station_min(list, "b"), 0);
}

}  // namespace
}  // namespace kn
