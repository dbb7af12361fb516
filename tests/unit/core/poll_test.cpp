#include "core/poll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/poll_gate.h"
#include "core/request_batch.h"

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
  void begin_requests(const std::vector<std::string>& stations) override {
    std::string names;
    for (const auto& n : stations) names += (names.empty() ? "" : ",") + n;
    calls.push_back("begin " + names);
  }
  void end_requests() override { calls.push_back("end"); }
  int stop_after_fetches = -1;  // the program ends once this many answers were asked for
  bool stop_requested() override {
    return stop_after_fetches >= 0 && std::count_if(calls.begin(), calls.end(), [](const std::string& c) {
                                        return c.rfind("fetch", 0) == 0;
                                      }) >= stop_after_fetches;
  }
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
  // Every request may start before the first answer is taken; the answers are
  // taken in list order, and what is left is given up after the poll.
  EXPECT_EQ(host.calls, (std::vector<std::string>{"busy", "delete", "begin nachtradio,schoene lieder,leer",
                                                  "fetch http://sim/station/nachtradio/listeners",
                                                  "fetch http://sim/station/schoene%20lieder/listeners",
                                                  "fetch http://sim/station/leer/listeners", "idle", "end"}));
}

TEST_F(PollTest, AnEndDuringAWaitCountsNothingAndAsksNoFurtherStation) {
  configure("a;b");
  answer("a", {"7"});
  host.stop_after_fetches = 1;
  check_stations(app, host);
  EXPECT_EQ(app.history.sample_count(), 0u);
  EXPECT_EQ(app.station_list[0].current_hoerer, 0);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(host.calls.back(), "end");  // what is still running is given up
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "fetch http://sim/station/b/listeners"), 0);
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

namespace kn {
namespace {

using namespace std::chrono_literals;

// A fetch whose calls the test can hold: each call waits until released or
// cancelled, and the test sees how many run at once. Shared with the calls, which
// may outlive a test's batches.
struct HeldFetch : std::enable_shared_from_this<HeldFetch> {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::string> asked;
  int running = 0, most_at_once = 0;
  bool released = false;
  bool honour_cancel = true;
  int cancels = 0;

  FetchFn fn() {
    return [self = shared_from_this()](const BatchRequest& r, Clock::time_point,
                                       CancelSlot& slot) -> std::optional<std::string> {
      HeldFetch& f = *self;
      std::unique_lock<std::mutex> lock(f.m);
      f.asked.push_back(r.url);
      f.most_at_once = std::max(f.most_at_once, ++f.running);
      f.cv.notify_all();
      bool cancelled = false;
      lock.unlock();
      const bool entered = slot.enter([&] {
        std::lock_guard<std::mutex> g(f.m);
        ++f.cancels;
        cancelled = true;
        f.cv.notify_all();
      });
      lock.lock();
      if (!entered) cancelled = true;
      f.cv.wait_for(lock, 20s, [&] { return f.released || (f.honour_cancel && cancelled); });
      --f.running;
      lock.unlock();
      if (!slot.leave()) return std::nullopt;
      if (r.url.rfind("throw", 0) == 0) throw std::runtime_error("boom");
      return "answer " + r.url;
    };
  }
  bool wait_running(int n) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, 10s, [&] { return running == n; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(m);
    released = true;
    cv.notify_all();
  }
};

std::vector<BatchRequest> requests_for(std::initializer_list<const char*> urls) {
  std::vector<BatchRequest> r;
  for (const char* u : urls) r.push_back({u, 100});
  return r;
}

TEST(RequestBatch, RequestsRunTogetherUpToTheBoundAndAnswersComeInAnyOrderAsked) {
  auto held = std::make_shared<HeldFetch>();
  HeldFetch& f = *held;
  auto still = std::make_shared<StillRunning>();
  RequestBatch batch(requests_for({"a", "b", "c", "d", "e"}), 3, 20s, f.fn(), still);
  ASSERT_TRUE(f.wait_running(3));  // three at once, not one after the other
  f.release();
  EXPECT_EQ(batch.take("c"), "answer c");
  EXPECT_EQ(batch.take("a"), "answer a");
  EXPECT_TRUE(batch.holds("e"));
  EXPECT_EQ(batch.take("e"), "answer e");
  EXPECT_FALSE(batch.holds("e"));
  EXPECT_EQ(batch.take("e"), std::nullopt);
  EXPECT_EQ(batch.take("b"), "answer b");
  EXPECT_EQ(batch.take("d"), "answer d");
  EXPECT_EQ(f.most_at_once, 3);
  std::lock_guard<std::mutex> lock(f.m);
  EXPECT_EQ(f.asked.size(), 5u);
}

TEST(RequestBatch, OneAtATimeAsksInListOrder) {
  auto held = std::make_shared<HeldFetch>();
  HeldFetch& f = *held;
  f.release();
  RequestBatch batch(requests_for({"x", "y", "x", "throw-z"}), 1, 20s, f.fn(),
                     std::make_shared<StillRunning>());
  EXPECT_EQ(batch.take("throw-z"), std::nullopt);  // a failing request is no answer
  EXPECT_EQ(batch.take("x"), "answer x");
  EXPECT_EQ(batch.take("x"), "answer x");  // the same address twice is asked twice
  std::lock_guard<std::mutex> lock(f.m);
  EXPECT_EQ(f.asked, (std::vector<std::string>{"x", "y", "x", "throw-z"}));
  EXPECT_EQ(f.most_at_once, 1);
}

TEST(RequestBatch, AWaitEndsWhenTheCallerStops) {
  auto held = std::make_shared<HeldFetch>();
  RequestBatch batch(requests_for({"slow"}), 1, 20s, held->fn(), std::make_shared<StillRunning>());
  int asked = 0;
  const auto start = Clock::now();
  EXPECT_EQ(batch.take("slow", [&] { return ++asked == 3; }), std::nullopt);
  EXPECT_EQ(asked, 3);
  EXPECT_LT(Clock::now() - start, 10s);
}

TEST(RequestBatch, TheLimitCountsFromTheStartAndGivesUpWhatStillRuns) {
  auto held = std::make_shared<HeldFetch>();
  HeldFetch& f = *held;
  auto still = std::make_shared<StillRunning>();
  const auto start = Clock::now();
  {
    // One slot, held by a silent request: the one queued behind it is never started.
    RequestBatch batch(requests_for({"silent", "queued"}), 1, 300ms, f.fn(), still);
    EXPECT_EQ(batch.take("silent"), std::nullopt);
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(batch.take("queued"), std::nullopt);
  }
  std::lock_guard<std::mutex> lock(f.m);
  EXPECT_EQ(f.asked, std::vector<std::string>{"silent"});
  EXPECT_EQ(f.cancels, 1);
}

TEST(RequestBatch, AnAddressWhoseGivenUpRequestStillRunsGetsNoNewOneUntilItEnds) {
  auto held = std::make_shared<HeldFetch>();
  HeldFetch& f = *held;
  f.honour_cancel = false;  // as where closing a handle does not break the call
  auto still = std::make_shared<StillRunning>();
  {
    RequestBatch first(requests_for({"stuck", "other"}), 2, 200ms, f.fn(), still);
    ASSERT_TRUE(f.wait_running(2));
    EXPECT_EQ(first.take("stuck"), std::nullopt);
  }  // "other" is given up with the batch
  EXPECT_TRUE(still->contains("stuck"));
  {
    RequestBatch second(requests_for({"stuck", "fresh"}), 2, 200ms, f.fn(), still);
    EXPECT_EQ(second.take("stuck"), std::nullopt);
    EXPECT_EQ(second.take("fresh"), std::nullopt);
  }
  {
    std::lock_guard<std::mutex> lock(f.m);
    EXPECT_EQ(std::count(f.asked.begin(), f.asked.end(), "stuck"), 1);
    EXPECT_EQ(std::count(f.asked.begin(), f.asked.end(), "fresh"), 1);
  }
  f.release();  // the blocked calls end; their late answers go nowhere
  for (int i = 0; i < 200 && still->contains("stuck"); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(still->contains("stuck"));
  auto held_again = std::make_shared<HeldFetch>();
  HeldFetch& g = *held_again;
  g.release();
  RequestBatch third(requests_for({"stuck"}), 2, 20s, g.fn(), still);
  EXPECT_EQ(third.take("stuck"), "answer stuck");
}

}  // namespace
}  // namespace kn
