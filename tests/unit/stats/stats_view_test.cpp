#include "stats/stats_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_surface.h"

namespace kn {
namespace {

using test::RecordingSurface;

StationEntry station(const std::string& name) {
  StationEntry s;
  s.name = name;
  return s;
}

class StatsViewTest : public ::testing::Test {
 protected:
  StatsViewTest() : view(stations, history), pic(300, 100) {
    view.set_surface(&pic);
    view.set_pause([this] { paused = true; });
  }
  // Selects and runs the fill as the window's timer does: in each pause the message
  // loop runs `on_yield`, then the next step follows, unless a new selection began a
  // fill of its own, which then has its own pause first.
  void select(int index, const std::string& text) {
    view.select(index, text);
    while (paused) {
      paused = false;
      ++yields;
      if (on_yield) on_yield();
      if (!paused) view.fill_step();
    }
  }
  // Records a poll of one station: extremes and sample, as the poll does.
  void poll(size_t index, double count) { record_count(stations[index], count, history); }

  std::vector<StationEntry> stations{station("nachtradio"), station("frueh"), station("leer")};
  History history;
  StatsView view;
  RecordingSurface pic;
  bool paused = false;
  int yields = 0;
  std::function<void()> on_yield;
};

TEST_F(StatsViewTest, ComboOffersThePromptThenTheStationsInListOrder) {
  EXPECT_EQ(
      view.combo_entries(),
      (std::vector<std::string>{"Bitte eine Station ausw\xC3\xA4hlen:", "nachtradio", "frueh", "leer"}));
}

TEST_F(StatsViewTest, LoadShowsZeroLabelsAndAnEmptyGrid) {
  poll(0, 5);
  select(1, "nachtradio");  // before the load: ignored
  EXPECT_EQ(pic.clears, 0);
  EXPECT_FALSE(view.is_loaded());
  view.load();
  EXPECT_TRUE(view.is_loaded());
  EXPECT_EQ(view.label_min(), "0");
  EXPECT_EQ(view.label_max(), "0");
  EXPECT_TRUE(view.graph_data().empty());
  EXPECT_EQ(pic.rects().size(), 30u);
  EXPECT_TRUE(pic.lines().empty());
  EXPECT_EQ(pic.background(), 0u);
  const clsLineGraph& g = view.graph();
  EXPECT_EQ(g.PicForeground(), 65280u);
  EXPECT_EQ(g.BorderColor(), 255u);
  EXPECT_EQ(g.BorderSize(), 0);
  EXPECT_EQ(g.GridColor(), 8421376u);
  EXPECT_TRUE(g.GridVisible());
  EXPECT_EQ(g.max_Height(), 0);
}

TEST_F(StatsViewTest, PromptEntryShowsZeroAndZeroAndStartsNoFill) {
  poll(0, 7);
  view.load();
  select(1, "nachtradio");
  EXPECT_EQ(view.label_max(), "7");
  select(0, kStationPrompt);
  EXPECT_EQ(view.label_min(), "0");
  EXPECT_EQ(view.label_max(), "0");
  EXPECT_TRUE(view.graph_data().empty());
  EXPECT_TRUE(pic.lines().empty());
  EXPECT_EQ(view.graph().max_Height(), 0);
}

TEST_F(StatsViewTest, StationNeverPolledShowsTheInitialExtremesAndNoGraph) {
  poll(0, 7);
  view.load();
  select(3, "leer");
  EXPECT_EQ(view.label_min(), "999999");
  EXPECT_EQ(view.label_max(), "0");
  EXPECT_EQ(yields, 0);
  EXPECT_TRUE(pic.lines().empty());
}

TEST_F(StatsViewTest, FillAddsEachMatchingSamplePointByPoint) {
  for (int i = 1; i <= 30; ++i) {
    poll(0, i);
    poll(1, 1000 + i);  // interleaved samples of another station
  }
  view.load();
  std::vector<size_t> sizes;
  on_yield = [&] { sizes.push_back(view.graph_data().size()); };
  select(1, "nachtradio");
  EXPECT_EQ(view.label_min(), "1");
  EXPECT_EQ(view.label_max(), "30");
  ASSERT_EQ(yields, 30);
  for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(sizes[i], i + 1);
  ASSERT_EQ(view.graph_data().size(), 30u);
  EXPECT_EQ(view.graph_data().front(), 1);
  EXPECT_EQ(view.graph_data().back(), 30);
  EXPECT_EQ(pic.lines().size(), 30u);
  EXPECT_FLOAT_EQ(pic.lines().back().x2, 300.0f * 29 / 100 + 2);
}

TEST_F(StatsViewTest, NamesMatchIgnoringCaseAndTheEntryIsTrimmedForTheFill) {
  history.add_sample("NACHTRADIO", 3);
  history.add_sample("nachtradio", 4);
  view.load();
  select(1, "  NachtRadio ");
  EXPECT_EQ(view.graph_data(), (std::vector<double>{3, 4}));
}

TEST_F(StatsViewTest, HundredFiftySamplesEndShowingTheLatestHundred) {
  for (int i = 1; i <= 150; ++i) poll(0, i);
  view.load();
  select(1, "nachtradio");
  ASSERT_EQ(view.graph_data().size(), 100u);
  EXPECT_EQ(view.graph_data().front(), 51);
  EXPECT_EQ(view.graph_data().back(), 150);
  EXPECT_EQ(view.graph().max_Height(), 150);
  EXPECT_FLOAT_EQ(pic.lines().back().y2, 0);  // 150 at the top
}

TEST_F(StatsViewTest, SamplesBeforeTheLastSettingsReadAreDrawnOnTheNewScale) {
  poll(0, 250);
  poll(0, 200);
  stations[0] = station("nachtradio");  // the settings were read again
  poll(0, 40);
  view.load();
  select(1, "nachtradio");
  EXPECT_EQ(view.label_min(), "40");
  EXPECT_EQ(view.label_max(), "40");
  EXPECT_EQ(view.graph_data(), (std::vector<double>{250, 200, 40}));
  EXPECT_EQ(view.graph().max_Height(), 40);  // a 0 to 100 scale
  auto lines = pic.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_FLOAT_EQ(lines[0].y2, 0);
  EXPECT_FLOAT_EQ(lines[1].y2, 0);
  EXPECT_FLOAT_EQ(lines[2].y2, 60);
}

TEST_F(StatsViewTest, SamplesRecordedDuringAFillAreNotPartOfIt) {
  for (int i = 0; i < 5; ++i) poll(0, 10);
  view.load();
  on_yield = [&] { poll(0, 99); };  // a poll runs while the window yields
  select(1, "nachtradio");
  EXPECT_EQ(view.graph_data(), (std::vector<double>(5, 10)));
  EXPECT_EQ(history.sample_count(), 10u);
}

TEST_F(StatsViewTest, AFillShowsTheSamplesAsTheyWereWhenItBeganAlsoAtTheCap) {
  // At the cap each new sample drops the station's oldest one, moving every later
  // sample down by one place while the fill reads.
  for (size_t i = 0; i < kMaxSamplesPerStation; ++i) poll(0, static_cast<double>(i % 7));
  std::vector<double> expected;
  for (size_t i = 0; i < kMaxSamplesPerStation; ++i) expected.push_back(static_cast<double>(i % 7));
  view.load();
  on_yield = [&] { poll(0, 99); };
  select(1, "nachtradio");
  // The graph keeps the latest hundred of them.
  ASSERT_EQ(view.graph_data().size(), 100u);
  EXPECT_EQ(view.graph_data(), std::vector<double>(expected.end() - 100, expected.end()));
}

TEST_F(StatsViewTest, ChoosingAnotherStationDuringAFillStopsItAndStartsAfresh) {
  for (int i = 0; i < 10; ++i) {
    poll(0, 10);
    poll(1, 20);
  }
  view.load();
  int depth = 0, max_depth = 0;
  on_yield = [&] {
    ++depth;
    max_depth = std::max(max_depth, depth);
    if (yields == 3) view.select(2, "frueh");
    if (yields == 5) view.select(1, "nachtradio");
    --depth;
  };
  select(1, "nachtradio");
  // 3 samples of the first fill, 2 of the second, then 10 of the last.
  EXPECT_EQ(yields, 15);
  EXPECT_EQ(max_depth, 1);  // fills never nest
  EXPECT_EQ(view.graph_data(), (std::vector<double>(10, 10)));
  EXPECT_EQ(view.label_max(), "10");
  EXPECT_FALSE(view.filling());
}

TEST_F(StatsViewTest, StoppingDuringAFillEndsItAtOnce) {
  for (int i = 0; i < 10; ++i) poll(0, 10);
  view.load();
  on_yield = [&] {
    if (yields == 4) view.stop_fill();
  };
  select(1, "nachtradio");
  EXPECT_EQ(yields, 4);
  EXPECT_EQ(view.graph_data().size(), 4u);
  EXPECT_FALSE(view.filling());
}

TEST_F(StatsViewTest, LoadingAgainStartsFromTheEmptyGraph) {
  poll(0, 10);
  view.load();
  select(1, "nachtradio");
  ASSERT_EQ(view.graph_data().size(), 1u);
  view.load();
  EXPECT_TRUE(view.graph_data().empty());
  EXPECT_EQ(view.label_min(), "0");
  EXPECT_EQ(view.label_max(), "0");
  EXPECT_TRUE(pic.lines().empty());
  EXPECT_EQ(pic.rects().size(), 30u);
}

}  // namespace
}  // namespace kn
