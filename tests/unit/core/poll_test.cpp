#include "core/poll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/poll_gate.h"

namespace kn {
namespace {

// Records what the poll asks of the program and answers from scripted queues.
class FakeHost : public PollHost {
 public:
  std::map<std::string, std::deque<std::string>> answers;  // url -> successive answers
  std::vector<std::string> shown;
  std::vector<std::string> calls;
  int change_displays = 0;
  int32_t song_result = 0;
  std::vector<int32_t> song_last_ids;

  void set_tray_busy(bool busy) override { calls.push_back(busy ? "busy" : "idle"); }
  void delete_listener_file() override { calls.push_back("delete"); }
  std::string fetch_listeners(const std::string& url) override {
    calls.push_back("fetch " + url);
    auto& q = answers[url];
    if (q.empty()) return "";
    std::string a = q.front();
    if (q.size() > 1) q.pop_front();
    return a;
  }
  void set_Print_Text(std::string& text) override {
    text = replace_umlaut_pairs(text);
    shown.push_back(text);
  }
  void start_change_display() override { ++change_displays; }
  int32_t fetch_current_song(const std::string&, int32_t last_id, const std::string&) override {
    song_last_ids.push_back(last_id);
    return song_result;
  }
  static std::string replace_umlaut_pairs(std::string t) {
    for (size_t p; (p = t.find("OE")) != std::string::npos;) t.replace(p, 2, "\xC3\x96");
    return t;
  }
};

struct PollTest : ::testing::Test {
  AppState app;
  FakeHost host;
  void configure(const std::string& stations) {
    app.stations = stations;
    app.api_base_url = "http://sim";
    build_station_list(stations, app.station_list);
  }
  void answer(const std::string& station, std::deque<std::string> values) {
    host.answers[listeners_url("http://sim", station)] = std::move(values);
  }
};

TEST_F(PollTest, NoStationsShowsTheHintBetweenBusyAndIdle) {
  check_stations(app, host);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0], "keine Stationen hinterlegt.");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"busy", "delete", "idle"}));
}

TEST_F(PollTest, FullModeComposesOneLinePerStation) {
  configure("nachtradio;schoene lieder;leer");
  answer("nachtradio", {"42"});
  answer("schoene lieder", {"5\r\n"});
  check_stations(app, host);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0], "NACHTRADIO : 0042\r\nSCH\xC3\x96NE LIEDER: 0005\r\nLEER: ");
  EXPECT_EQ(app.station_list[0].current_hoerer, 42);
  EXPECT_EQ(app.station_list[2].current_hoerer, 0);
  EXPECT_EQ(app.station_list[2].min_hoerer, 0);
  EXPECT_EQ(host.calls.front(), "busy");
  EXPECT_EQ(host.calls.back(), "idle");
  EXPECT_EQ(host.calls[2], "fetch http://sim/station/nachtradio/listeners");
  EXPECT_EQ(host.calls[3], "fetch http://sim/station/schoene%20lieder/listeners");
}

TEST_F(PollTest, SideBySideAndNonNumericAnswers) {
  configure("a;b");
  app.horizontal = 1;
  answer("a", {"7"});
  answer("b", {"Fehler"});
  check_stations(app, host);
  EXPECT_EQ(host.shown.back(), "A : 0007 -- B: Fehler");
  EXPECT_EQ(app.station_list[1].current_hoerer, 0);
}

TEST_F(PollTest, ChangeModeShowsOnlyChangedStationsWithMarks) {
  configure("a;b;c");
  app.only_changes = true;
  answer("a", {"40", "42"});
  answer("b", {"45", "42"});
  answer("c", {"9", "9"});
  check_stations(app, host);
  // After a rebuild every non-zero count is a change equal to the full count.
  EXPECT_EQ(host.shown.back(), "A : 0040 +0040\r\nB: 0045 +0045\r\nC: 0009 +0009");
  EXPECT_EQ(host.change_displays, 3);
  host.shown.clear();
  check_stations(app, host);
  ASSERT_EQ(host.shown.size(), 2u);  // once per changed station
  EXPECT_EQ(host.shown[0], "A : 0042 +0002");
  EXPECT_EQ(host.shown[1], "A : 0042 +0002\r\nB: 0042  -0003");
  EXPECT_EQ(host.change_displays, 5);
}

TEST_F(PollTest, ChangeModeWithoutChangesHandsNothingOver) {
  configure("a");
  app.only_changes = true;
  answer("a", {""});
  check_stations(app, host);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(host.change_displays, 0);
  EXPECT_EQ(app.history.sample_count(), 1u);
}

TEST_F(PollTest, CountsExtremesHistoryAndSongIds) {
  configure("a");
  answer("a", {"10", "30", "20"});
  host.song_result = 5;
  for (int i = 0; i < 3; ++i) check_stations(app, host);
  const StationEntry& e = app.station_list[0];
  EXPECT_EQ(e.previous_hoerer, 30);
  EXPECT_EQ(e.current_hoerer, 20);
  EXPECT_EQ(e.min_hoerer, 10);
  EXPECT_EQ(e.max_hoerer, 30);
  EXPECT_EQ(e.last_song_id, 5);
  EXPECT_EQ(host.song_last_ids, (std::vector<int32_t>{0, 5, 5}));
  ASSERT_EQ(app.history.sample_count(), 3u);
  EXPECT_EQ(app.history.entries()[1].count, 30);
  EXPECT_EQ(app.history.entries()[1].station, "a");
}

TEST_F(PollTest, AnswerBeyond32BitsCountsZeroButShowsAsItCame) {
  configure("a");
  answer("a", {"99999999999"});
  check_stations(app, host);
  EXPECT_EQ(app.station_list[0].current_hoerer, 0);
  EXPECT_EQ(app.station_list[0].max_hoerer, 0);
  EXPECT_EQ(host.shown.back(), "A : 99999999999");
}

TEST(RequestUrls, NamesCannotLeaveTheirPathSegment) {
  EXPECT_EQ(listeners_url("http://x", "a/../b?c#d%e f"),
            "http://x/station/a%2F..%2Fb%3Fc%23d%25e%20f/listeners");
  EXPECT_EQ(current_song_url("http://x",
                             "stra\xC3\x9F"
                             "e"),
            "http://x/station/stra%C3%9Fe/current_song");
}

TEST(ChangeMark, SignsAndPadding) {
  EXPECT_EQ(change_mark(40, 42), " +0002");
  EXPECT_EQ(change_mark(42, 42), " +0000");
  EXPECT_EQ(change_mark(45, 42), "  -0003");
}

}  // namespace
}  // namespace kn

namespace kn {
namespace {

TEST(PollGate, APollRequestedDuringAPollRunsOnceAfterItNeverInside) {
  PollGate gate;
  int runs = 0, depth = 0, deepest = 0;
  std::function<void()> poll = [&] {
    ++runs;
    deepest = std::max(deepest, ++depth);
    // Timer ticks and double-clicks handled while the tray shows "busy".
    if (runs == 1) {
      for (int i = 0; i < 3; ++i) gate.request_poll(poll);
    }
    --depth;
  };
  gate.request_poll(poll);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(deepest, 1);
  EXPECT_FALSE(gate.running());
}

TEST(PollGate, ActionsDuringAPollWaitForItAndKeepTheirOrder) {
  PollGate gate;
  std::vector<std::string> seen;
  gate.request_poll([&] {
    seen.push_back("poll");
    gate.run_or_defer([&] { seen.push_back("menu"); });
    gate.run_or_defer([&] {
      seen.push_back("double-click");
      gate.request_poll([&] { seen.push_back("refresh"); });  // runs at once: nothing else runs
    });
    seen.push_back("poll end");
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"poll", "poll end", "menu", "double-click", "refresh"}));
  gate.run_or_defer([&] { seen.push_back("idle"); });
  EXPECT_EQ(seen.back(), "idle");
}

}  // namespace
}  // namespace kn
