#include "core/poll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/poll_limits.h"
#include "core/poll_runner.h"
#include "core/request_batch.h"
#include "core/request_url.h"
#include "core/workers.h"

namespace kn {
namespace {

using namespace std::chrono_literals;

// Outcomes the test hands in one by one, as the workers' messages would bring them.
class ScriptedRequests : public PollRequests {
 public:
  explicit ScriptedRequests(std::vector<BatchRequest> r)
      : requests(std::move(r)), outcomes(requests.size()) {}
  std::optional<Answer> outcome(size_t i) override { return outcomes.at(i); }
  std::vector<BatchRequest> requests;
  std::vector<std::optional<Answer>> outcomes;
};

// Records what the poll asks of the program; answers come from scripted queues,
// all at once unless the test holds them back.
class FakeHost : public PollIo, public PollView {
 public:
  std::map<std::string, std::deque<std::string>> answers;  // url -> successive answers
  bool hold_answers = false;
  std::vector<std::string> shown;
  std::vector<std::string> calls;
  int change_displays = 0;
  int32_t song_result = 0;
  std::vector<int32_t> song_last_ids;
  ScriptedRequests* requests = nullptr;  // the running poll's
  bool limit_timer = false;
  std::function<void(bool busy)> on_busy;  // a call back into the runner, say

  void set_tray_busy(bool busy) override {
    calls.push_back(busy ? "busy" : "idle");
    if (on_busy) on_busy(busy);
  }
  void poll_limit_timer(bool on) override { limit_timer = on; }
  void delete_listener_file() override { calls.push_back("delete"); }
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& list,
                                               std::function<void()>) override {
    std::string urls;
    for (const auto& r : list) urls += (urls.empty() ? "" : ",") + r.url;
    calls.push_back("start " + urls);
    auto made = std::make_unique<ScriptedRequests>(list);
    requests = made.get();
    if (!hold_answers) {
      for (size_t i = 0; i < list.size(); ++i) arrive(i);
    }
    return made;
  }
  // Request i's scripted answer arrives.
  void arrive(size_t i) {
    auto& q = answers[requests->requests[i].url];
    if (q.empty()) {
      requests->outcomes[i] = Answer{};
      return;
    }
    requests->outcomes[i] = q.front();
    if (q.size() > 1) q.pop_front();
  }
  std::string listener_text(const Answer& answer) override {
    calls.push_back("listener " + answer.value_or("(none)"));
    return answer.value_or("");
  }
  void set_Print_Text(std::string& text) override {
    text = replace_umlaut_pairs(text);
    shown.push_back(text);
  }
  void start_change_display() override { ++change_displays; }
  int32_t current_song(const std::string&, const Answer&, int32_t last_id, const std::string&) override {
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
    app.settings.stations = stations;
    app.settings.api_base_url = "http://sim";
    build_station_list(stations, app.station_list);
  }
  void answer(const std::string& station, std::deque<std::string> values) {
    host.answers[listeners_url("http://sim", station)] = std::move(values);
  }
  void poll() { ASSERT_TRUE(Poll(app, host, host, {}).advance()); }
};

TEST_F(PollTest, NoStationsShowsTheHintBetweenBusyAndIdle) {
  Poll p(app, host, host, {});
  EXPECT_TRUE(p.advance());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0], "keine Stationen hinterlegt.");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"busy", "delete", "idle"}));
}

TEST_F(PollTest, FullModeComposesOneLinePerStation) {
  configure("nachtradio;schoene lieder;leer");
  answer("nachtradio", {"42"});
  answer("schoene lieder", {"5\r\n"});
  poll();
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0], "NACHTRADIO : 0042\r\nSCH\xC3\x96NE LIEDER: 0005\r\nLEER: ");
  EXPECT_EQ(app.station_list[0].current_hoerer, 42);
  EXPECT_EQ(app.station_list[2].current_hoerer, 0);
  EXPECT_EQ(app.station_list[2].min_hoerer, 0);
  // Every request starts before the first answer is applied, in list order.
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"busy", "delete",
                                      "start http://sim/station/nachtradio/listeners,"
                                      "http://sim/station/schoene%20lieder/listeners,"
                                      "http://sim/station/leer/listeners",
                                      "listener 42", "listener 5\r\n", "listener (none)", "idle"}));
}

TEST_F(PollTest, TitleRequestsFollowTheirStationsListenerRequest) {
  configure("a;b");
  app.settings.write_title2file = true;
  host.song_result = 9;
  poll();
  EXPECT_EQ(host.calls[2],
            "start http://sim/station/a/listeners,http://sim/station/a/current_song,"
            "http://sim/station/b/listeners,http://sim/station/b/current_song");
  EXPECT_EQ(host.song_last_ids, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(app.station_list[1].last_song_id, 9);
}

TEST_F(PollTest, AnswersThatArriveInReverseAreAppliedInListOrder) {
  configure("a;b;c");
  app.settings.write_title2file = true;
  answer("a", {"1"});
  answer("b", {"2"});
  answer("c", {"3"});
  host.hold_answers = true;
  Poll p(app, host, host, {});
  // Everything but a's count: nothing can be applied yet.
  for (size_t i = 6; i-- > 1;) {
    host.arrive(i);
    EXPECT_FALSE(p.advance());
  }
  EXPECT_EQ(app.history.sample_count(), 0u);
  EXPECT_TRUE(host.song_last_ids.empty());
  host.arrive(0);
  EXPECT_TRUE(p.advance());
  ASSERT_EQ(app.history.sample_count(), 3u);
  EXPECT_EQ(app.history.entries()[0].station, "a");
  EXPECT_EQ(app.history.entries()[2].station, "c");
  EXPECT_EQ(host.shown.back(), "A : 0001\r\nB: 0002\r\nC: 0003");
}

TEST_F(PollTest, SideBySideAndNonNumericAnswers) {
  configure("a;b");
  app.settings.horizontal = 1;
  answer("a", {"7"});
  answer("b", {"Fehler"});
  poll();
  EXPECT_EQ(host.shown.back(), "A : 0007 -- B: Fehler");
  EXPECT_EQ(app.station_list[1].current_hoerer, 0);
}

TEST_F(PollTest, ModeAndLayoutAreFixedWhenThePollBegins) {
  configure("a;b");
  answer("a", {"7"});
  answer("b", {"8"});
  host.hold_answers = true;
  Poll p(app, host, host, {});
  host.arrive(0);
  p.advance();
  // A preview switched to side by side, then cancelled, while the poll ran.
  app.settings.horizontal = 1;
  app.settings.only_changes = true;
  host.arrive(1);
  EXPECT_TRUE(p.advance());
  EXPECT_EQ(host.shown, std::vector<std::string>{"A : 0007\r\nB: 0008"});
  EXPECT_EQ(host.change_displays, 0);
}

TEST_F(PollTest, ChangeModeShowsOnlyChangedStationsWithMarks) {
  configure("a;b;c");
  app.settings.only_changes = true;
  answer("a", {"40", "42"});
  answer("b", {"45", "42"});
  answer("c", {"9", "9"});
  poll();
  // After a rebuild every non-zero count is a change equal to the full count.
  EXPECT_EQ(host.shown.back(), "A : 0040 +0040\r\nB: 0045 +0045\r\nC: 0009 +0009");
  EXPECT_EQ(host.change_displays, 3);
  host.shown.clear();
  poll();
  ASSERT_EQ(host.shown.size(), 2u);  // once per changed station
  EXPECT_EQ(host.shown[0], "A : 0042 +0002");
  EXPECT_EQ(host.shown[1], "A : 0042 +0002\r\nB: 0042  -0003");
  EXPECT_EQ(host.change_displays, 5);
}

TEST_F(PollTest, ChangeModeWithoutChangesHandsNothingOver) {
  configure("a");
  app.settings.only_changes = true;
  answer("a", {""});
  poll();
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(host.change_displays, 0);
  EXPECT_EQ(app.history.sample_count(), 1u);
}

TEST_F(PollTest, CountsExtremesHistoryAndSongIds) {
  configure("a");
  app.settings.write_title2file = true;
  answer("a", {"10", "30", "20"});
  host.song_result = 5;
  for (int i = 0; i < 3; ++i) poll();
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
  poll();
  EXPECT_EQ(app.station_list[0].current_hoerer, 0);
  EXPECT_EQ(app.station_list[0].max_hoerer, 0);
  EXPECT_EQ(host.shown.back(), "A : 99999999999");
}

TEST_F(PollTest, DoubleClickInChangeModeShowsAllAndStartsTheChangeTimerAtItsEnd) {
  configure("a;b");
  app.settings.only_changes = true;
  answer("a", {"5"});
  answer("b", {"6"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  runner.request(true);
  host.arrive(0);
  runner.advance();
  EXPECT_EQ(host.change_displays, 0);  // not while its stations are still coming
  EXPECT_TRUE(host.shown.empty());
  host.arrive(1);
  runner.advance();
  EXPECT_FALSE(runner.running());
  EXPECT_EQ(host.shown, std::vector<std::string>{"A : 0005\r\nB: 0006"});  // all, without marks
  EXPECT_EQ(host.change_displays, 1);
  EXPECT_TRUE(app.settings.only_changes);
}

TEST_F(PollTest, RequestsDuringAPollBecomeOnePollAfterIt) {
  configure("a");
  answer("a", {"1", "2"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  runner.request();
  runner.request();
  runner.request(true);  // a double-click waits too, and wins over the timed one
  runner.request();
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "busy"), 1);
  host.arrive(0);
  runner.advance();
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "busy"), 2);
  EXPECT_TRUE(runner.running());
  host.arrive(0);
  runner.advance();
  EXPECT_FALSE(runner.running());
  EXPECT_EQ(app.history.sample_count(), 2u);
}

TEST_F(PollTest, NewSettingsDropTheRunningPollAndPollTheNewList) {
  configure("alt;weg");
  answer("alt", {"1"});
  answer("neu", {"2"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  runner.request();
  host.arrive(0);
  runner.advance();
  ASSERT_EQ(app.history.sample_count(), 1u);
  // A save: the running poll is dropped before the list is rebuilt, and leaves the
  // idle icon before the new poll's busy one.
  runner.reload([&] { configure("neu"); });
  EXPECT_EQ(host.calls.back(), "start http://sim/station/neu/listeners");
  EXPECT_EQ(host.calls[host.calls.size() - 4], "idle");
  host.arrive(0);
  runner.advance();
  EXPECT_FALSE(runner.running());
  ASSERT_EQ(app.history.sample_count(), 2u);
  EXPECT_EQ(app.history.entries()[1].station, "neu");
  EXPECT_EQ(host.shown, std::vector<std::string>{"NEU : 0002"});
}

TEST_F(PollTest, APreviewRestartsThePollWithItsLayout) {
  configure("a;b");
  answer("a", {"1"});
  answer("b", {"2"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  runner.request();
  host.arrive(0);
  runner.advance();
  app.settings.horizontal = 1;
  runner.restart();
  host.arrive(0);
  host.arrive(1);
  runner.advance();
  EXPECT_EQ(host.shown, std::vector<std::string>{"A : 0001 -- B: 0002"});
}

TEST_F(PollTest, AClosedPollAppliesNothingMore) {
  configure("a;b");
  answer("a", {"1"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  int ends = 0;
  PollRunner closing(app, host, host, {.end_program = [&] { ++ends; }});
  closing.request();
  closing.request();  // waits, and goes with the program
  EXPECT_TRUE(host.limit_timer);
  closing.close();
  EXPECT_EQ(ends, 1);
  closing.advance();  // a late worker message
  closing.request();
  EXPECT_FALSE(closing.running());
  EXPECT_EQ(app.history.sample_count(), 0u);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "busy"), 1);
  EXPECT_EQ(host.calls.back(), "idle");
  EXPECT_FALSE(host.limit_timer);
}

// The notices hear of polls that ran to their end: timed ones and the double-click's,
// with each station's result and the time the poll began; a dropped poll and the
// settings dialog's preview count for nothing.
TEST_F(PollTest, OnlyPollsThatRunToTheirEndAreHeardNeverPreviews) {
  configure("a;b;c");
  answer("a", {"0012"});
  answer("b", {"Fehler"});
  answer("c", {"12 H\xC3\xB6rer"});
  host.hold_answers = true;
  std::vector<std::pair<std::vector<StationResult>, std::string>> heard;
  int clock = 0;
  PollRunner runner(
      app, host, host,
      {.ended = [&](const std::vector<StationResult>& r, const std::string& began) { heard.emplace_back(r, began); },
       .now_text = [&] { return std::to_string(++clock); }});
  const auto run_out = [&] {
    for (size_t i = 0; i < 3; ++i) host.arrive(i);
    runner.advance();
  };
  runner.request();  // 1: dropped by
  runner.restart();  // a preview
  run_out();
  EXPECT_TRUE(heard.empty());
  runner.request(true);  // the double-click's
  run_out();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].second, std::to_string(clock));
  const std::vector<StationResult>& r = heard[0].first;
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].name, "a");
  EXPECT_TRUE(r[0].answered);
  EXPECT_EQ(r[0].count, 12);
  EXPECT_FALSE(r[1].answered);
  EXPECT_FALSE(r[2].answered);  // counted, but not a number
  EXPECT_EQ(r[2].count, 12);
  runner.request();
  run_out();
  EXPECT_EQ(heard.size(), 2u);
}

// A message handled while the shell takes the tray icon's change (inside the step
// that ends a poll) asks for the next poll and an advance: both wait for the step.
TEST_F(PollTest, ACallFromInsideAStepWaitsUntilTheStepHasReturned) {
  configure("a");
  answer("a", {"1", "2"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  bool nested_once = false;
  int depth = 0;
  host.on_busy = [&](bool busy) {
    EXPECT_EQ(depth++, 0) << "a step inside a step";
    if (!busy && !nested_once) {
      nested_once = true;
      runner.request(true);
      runner.advance();
      EXPECT_EQ(host.calls.back(), "idle");  // nothing ran yet
    }
    --depth;
  };
  runner.request();
  host.arrive(0);
  runner.advance();
  // The double-click's poll began once the first had ended.
  EXPECT_TRUE(runner.running());
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "busy"), 2);
  host.arrive(0);
  runner.advance();
  EXPECT_FALSE(runner.running());
  EXPECT_EQ(host.shown, (std::vector<std::string>{"A : 0001", "A : 0002"}));
}

TEST_F(PollTest, ADroppedPollLeavesTheIdleIconAndNoLimitTimerAndAWaitingDoubleClickStillRuns) {
  configure("a;b");
  app.settings.only_changes = true;
  answer("a", {"1"});
  answer("b", {"2"});
  host.hold_answers = true;
  PollRunner runner(app, host, host);
  runner.request();
  runner.request(true);  // a double-click behind it
  runner.restart();      // a preview drops the first
  EXPECT_EQ(host.calls[host.calls.size() - 4], "idle");
  EXPECT_TRUE(host.limit_timer);           // the preview's own poll
  runner.reload([&] { configure("b"); });  // and a save drops the preview's
  host.arrive(0);
  runner.advance();
  EXPECT_EQ(host.change_displays, 1);  // the save's poll showed b's change
  EXPECT_TRUE(runner.running());       // the double-click's, with the new list
  EXPECT_EQ(host.calls.back(), "start http://sim/station/b/listeners");
  host.arrive(0);
  runner.advance();
  EXPECT_FALSE(runner.running());
  EXPECT_EQ(host.shown.back(), "B : 0002");  // every station, in change mode too
  EXPECT_EQ(host.change_displays, 2);        // and its timer
  EXPECT_EQ(host.calls.back(), "idle");
  EXPECT_FALSE(host.limit_timer);
}

TEST_F(PollTest, TheDoubleClickInChangeModeLetsTheNoStationsHintGoToo) {
  app.settings.only_changes = true;
  PollRunner runner(app, host, host);
  runner.request(true);
  EXPECT_EQ(host.shown, std::vector<std::string>{"keine Stationen hinterlegt."});
  EXPECT_EQ(host.change_displays, 1);
  runner.request();  // a timed poll leaves the hint standing
  EXPECT_EQ(host.change_displays, 1);
  EXPECT_FALSE(host.limit_timer);
}

// Should the list change under a poll all the same, every station of the poll still
// has its one result, in its place, and the new list's entries are left alone.
TEST_F(PollTest, AListChangedUnderThePollStillGivesOneResultPerStation) {
  configure("a;b;c");
  answer("a", {"1"});
  answer("b", {"2"});
  answer("c", {"3"});
  Poll p(app, host, host, {});
  build_station_list("a;x;c", app.station_list);
  ASSERT_TRUE(p.advance());
  ASSERT_EQ(p.results().size(), 3u);
  EXPECT_EQ(p.results()[1].name, "b");
  EXPECT_EQ(p.results()[1].count, 2);
  EXPECT_EQ(p.results()[2].count, 3);
  EXPECT_EQ(app.station_list[1].current_hoerer, 0);
  EXPECT_EQ(app.station_list[2].current_hoerer, 3);
}

TEST(RequestUrls, NamesCannotLeaveTheirPathSegment) {
  EXPECT_EQ(listeners_url("http://x", "a/../b?c#d%e f"),
            "http://x/station/a%2F..%2Fb%3Fc%23d%25e%20f/listeners");
  EXPECT_EQ(current_song_url("http://x",
                             "stra\xC3\x9F"
                             "e"),
            "http://x/station/stra%C3%9Fe/current_song");
}

TEST(RetryAfter, SecondsAndTheThreeDateForms) {
  const int64_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(retry_after("1", now), 1s);
  EXPECT_EQ(retry_after(" 120 ", now), 120s);
  EXPECT_EQ(retry_after("99999999999", now), 86400s);
  EXPECT_EQ(retry_after("Sun, 06 Nov 1994 08:49:39 GMT", now), 2s);
  EXPECT_EQ(retry_after("Sunday, 06-Nov-94 08:49:47 GMT", now), 10s);
  EXPECT_EQ(retry_after("Sun Nov  6 08:50:37 1994", now), 60s);
  EXPECT_EQ(retry_after("Mon, 07 Nov 1994 08:49:37 GMT", now), 86400s);
  EXPECT_EQ(retry_after("Sun, 06 Nov 1994 08:00:00 GMT", now), 0s);  // gone by
  for (const char* bad : {"", "soon", "-5", "1.5", "Sun, 06 Foo 1994 08:49:39 GMT",
                          "Sun, 06 Nov 1994 25:00:00 GMT", "Sun, 06 Nov 1994 08:49:39 CET"}) {
    EXPECT_EQ(retry_after(bad, now), std::nullopt) << bad;
  }
}

TEST(ChangeMark, SignsAndPadding) {
  EXPECT_EQ(change_mark(40, 42), " +0002");
  EXPECT_EQ(change_mark(42, 42), " +0000");
  EXPECT_EQ(change_mark(45, 42), "  -0003");
}

// A clock the test moves; shared with worker threads.
struct FakeClock {
  std::atomic<int64_t> ms{0};
  ClockFn fn() {
    return [this] { return Clock::time_point(std::chrono::milliseconds(ms.load())); };
  }
};

// A fetch whose calls the test holds: each call waits until its address is released
// or, unless told to ignore it, until it is given up. Every event is announced, so
// the test waits for events, never for time. Shared with the calls, which may
// outlive a test's batches.
struct HeldFetch : std::enable_shared_from_this<HeldFetch> {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::string> asked;
  std::vector<std::string> released;
  int running = 0, most_at_once = 0, notified = 0, saw_cancel = 0;
  bool release_all = false;
  bool honour_cancel = true;

  FetchFn fn() {
    return [self = shared_from_this()](const BatchRequest& r, const RequestControl& control) -> Answer {
      HeldFetch& f = *self;
      std::unique_lock<std::mutex> lock(f.m);
      f.asked.push_back(r.url);
      f.most_at_once = std::max(f.most_at_once, ++f.running);
      f.cv.notify_all();
      auto free = [&] {
        return f.release_all || std::count(f.released.begin(), f.released.end(), r.url) > 0 ||
               (f.honour_cancel && control.cancelled());
      };
      // The cancel flag has no wake-up of its own: a real worker reads it before each call.
      for (int i = 0; i < 4000 && !free(); ++i) f.cv.wait_for(lock, 5ms);
      --f.running;
      if (control.cancelled()) ++f.saw_cancel;
      f.cv.notify_all();
      lock.unlock();
      if (r.url.rfind("throw", 0) == 0) throw std::runtime_error("boom");
      return "answer " + r.url;
    };
  }
  std::function<void()> notify() {
    return [self = shared_from_this()] {
      std::lock_guard<std::mutex> lock(self->m);
      ++self->notified;
      self->cv.notify_all();
    };
  }
  bool wait_for(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, 20s, done);
  }
  void release(const std::string& url = {}) {
    std::lock_guard<std::mutex> lock(m);
    if (url.empty()) {
      release_all = true;
    } else {
      released.push_back(url);
    }
    cv.notify_all();
  }
};

// Outcomes as the batch gives them: decided, with or without an answer.
std::optional<Answer> no_answer() { return Answer{}; }
std::optional<Answer> answered(const std::string& body) { return Answer(body); }

std::vector<BatchRequest> requests_for(std::initializer_list<const char*> urls) {
  std::vector<BatchRequest> r;
  for (const char* u : urls) r.push_back({u, 100});
  return r;
}

TEST(RequestBatch, RequestsRunTogetherUpToTheBoundAndEachAnswerIsAnnounced) {
  auto f = std::make_shared<HeldFetch>();
  FakeClock clock;
  RequestBatch batch(requests_for({"a", "b", "c", "d", "e"}), 3, 15s, f->fn(), std::make_shared<Workers>(),
                     f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->running == 3; }));  // three at once
  EXPECT_EQ(batch.outcome(0), std::nullopt);                  // open, never waited for
  f->release();
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 5; }));
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(batch.outcome(i), answered("answer " + std::string(1, char('a' + i))));
  EXPECT_EQ(f->most_at_once, 3);
  EXPECT_EQ(batch.next_deadline(), std::nullopt);
}

TEST(RequestBatch, OneAtATimeAsksInListOrderAndAFailingRequestIsNoAnswer) {
  auto f = std::make_shared<HeldFetch>();
  f->release();
  FakeClock clock;
  RequestBatch batch(requests_for({"x", "y", "x", "throw-z"}), 1, 15s, f->fn(), std::make_shared<Workers>(),
                     f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 4; }));
  EXPECT_EQ(batch.outcome(3), no_answer());
  EXPECT_EQ(batch.outcome(2), answered("answer x"));  // the same address twice is asked twice
  std::lock_guard<std::mutex> lock(f->m);
  EXPECT_EQ(f->asked, (std::vector<std::string>{"x", "y", "x", "throw-z"}));
  EXPECT_EQ(f->most_at_once, 1);
}

TEST(RequestBatch, EachLimitCountsFromTheRequestsOwnStart) {
  auto f = std::make_shared<HeldFetch>();
  FakeClock clock;
  RequestBatch batch(requests_for({"slow", "next"}), 1, 15s, f->fn(), std::make_shared<Workers>(),
                     f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->running == 1; }));
  clock.ms = 10000;
  f->release("slow");
  ASSERT_TRUE(f->wait_for([&] { return f->asked.size() == 2 && f->running == 1; }));
  EXPECT_EQ(batch.outcome(0), answered("answer slow"));
  // Twenty seconds after the batch began, the second request has run for ten.
  clock.ms = 20000;
  EXPECT_EQ(batch.outcome(1), std::nullopt);
  EXPECT_EQ(batch.next_deadline(), Clock::time_point(25s));
  clock.ms = 25000;
  EXPECT_EQ(batch.outcome(1), no_answer());  // given up at its own limit
  ASSERT_TRUE(f->wait_for([&] { return f->saw_cancel == 1 && f->notified == 2; }));
  EXPECT_EQ(batch.outcome(1), no_answer());  // its late answer is dropped
}

TEST(RequestBatch, AQueuedRequestBehindAStuckOneIsGivenUpWhenItShouldHaveRun) {
  auto f = std::make_shared<HeldFetch>();
  f->honour_cancel = false;  // as where a blocked call cannot be broken off
  FakeClock clock;
  auto still = std::make_shared<Workers>();
  RequestBatch batch(requests_for({"stuck", "queued"}), 1, 15s, f->fn(), still, f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->running == 1; }));
  clock.ms = 15000;
  EXPECT_EQ(batch.outcome(0), no_answer());
  EXPECT_EQ(batch.outcome(1), std::nullopt);
  clock.ms = 30000;
  EXPECT_EQ(batch.outcome(1), no_answer());
  f->release("stuck");
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 1; }));
  EXPECT_FALSE(still->blocked("stuck"));
  std::lock_guard<std::mutex> lock(f->m);
  EXPECT_EQ(f->asked, std::vector<std::string>{"stuck"});
}

TEST(RequestBatch, AnAddressWhoseGivenUpRequestStillRunsGetsNoNewOneUntilItEnds) {
  auto f = std::make_shared<HeldFetch>();
  f->honour_cancel = false;
  FakeClock clock;
  auto still = std::make_shared<Workers>();
  {
    RequestBatch first(requests_for({"stuck", "other"}), 2, 15s, f->fn(), still, f->notify(), clock.fn());
    ASSERT_TRUE(f->wait_for([&] { return f->running == 2; }));
    clock.ms = 15000;
    EXPECT_EQ(first.outcome(0), no_answer());  // given up at its limit
  }                                            // "other" passed its limit too when the batch went
  EXPECT_TRUE(still->blocked("stuck"));
  EXPECT_TRUE(still->blocked("other"));
  f->release("other");
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 1; }));
  {
    RequestBatch second(requests_for({"stuck", "fresh"}), 2, 15s, f->fn(), still, f->notify(), clock.fn());
    EXPECT_EQ(second.outcome(0), no_answer());  // not asked again while the old one runs
    f->release("fresh");
    ASSERT_TRUE(f->wait_for([&] { return f->notified == 2; }));
    EXPECT_EQ(second.outcome(1), answered("answer fresh"));
  }
  f->release("stuck");
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 3; }));
  EXPECT_FALSE(still->blocked("stuck"));
  RequestBatch third(requests_for({"stuck"}), 2, 15s, f->fn(), still, f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 4; }));
  EXPECT_EQ(third.outcome(0), answered("answer stuck"));
}

TEST(RequestBatch, ADroppedBatchBlocksNothingAndItsLateAnswerGoesNowhere) {
  auto f = std::make_shared<HeldFetch>();
  f->honour_cancel = false;  // the dropped calls go on until the server answers
  FakeClock clock;
  auto workers = std::make_shared<Workers>();
  auto first = std::make_unique<RequestBatch>(requests_for({"a", "b"}), 2, 15s, f->fn(), workers, f->notify(),
                                              clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->running == 2; }));
  clock.ms = 50;
  first.reset();  // dropped well within the limit
  EXPECT_FALSE(workers->blocked("a"));
  RequestBatch second(requests_for({"a", "b"}), 2, 15s, f->fn(), workers, f->notify(), clock.fn());
  EXPECT_EQ(second.outcome(0), std::nullopt);  // open: asked anew, not taken as silent
  ASSERT_TRUE(f->wait_for([&] { return f->running == 4; }));
  f->release();
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 4; }));
  EXPECT_EQ(second.outcome(0), answered("answer a"));
  EXPECT_EQ(second.outcome(1), answered("answer b"));
}

// A slow server and a user who keeps changing settings: every drop leaves its calls
// running, yet the program never has more than its cap of threads, and the newest
// batch still gets its answers once threads come free.
TEST(RequestBatch, ManyDropsAgainstASlowServerStayWithinTheThreadCap) {
  auto f = std::make_shared<HeldFetch>();
  f->honour_cancel = false;
  FakeClock clock;
  auto workers = std::make_shared<Workers>(6);
  for (int drop = 0; drop < 10; ++drop) {
    RequestBatch dropped(requests_for({"a", "b", "c", "d"}), 4, 15s, f->fn(), workers, f->notify(),
                         clock.fn());
    const int calls = std::min(6, 4 * (drop + 1));  // the cap is reached by the second
    ASSERT_TRUE(f->wait_for([&] { return f->running == calls; }));
  }
  RequestBatch last(requests_for({"a", "b"}), 2, 15s, f->fn(), workers, f->notify(), clock.fn());
  EXPECT_EQ(workers->live(), 6u);
  EXPECT_EQ(last.outcome(0), std::nullopt);  // waits for a thread, not given up
  f->release();
  ASSERT_TRUE(f->wait_for([&] { return last.outcome(0) && last.outcome(1); }));
  EXPECT_EQ(last.outcome(0), answered("answer a"));
  EXPECT_EQ(last.outcome(1), answered("answer b"));
  EXPECT_LE(workers->most_live(), 6u);
  // The threads end once nothing waits for them.
  for (int i = 0; i < 4000 && workers->live() > 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(workers->live(), 0u);
}

TEST(RequestBatch, WorkersThatCannotStartLeaveTheRestToThoseThatDidOrGiveEverythingUp) {
  auto f = std::make_shared<HeldFetch>();
  f->release();
  FakeClock clock;
  int starts = 0;
  const StartWorker only_one = [&](std::function<void()> work) {
    return ++starts == 1 && start_detached_thread(std::move(work));
  };
  RequestBatch one(requests_for({"a", "b", "c"}), 3, 15s, f->fn(), std::make_shared<Workers>(16, only_one),
                   f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 3; }));
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(one.outcome(i), answered("answer " + std::string(1, char('a' + i))));
  EXPECT_EQ(f->most_at_once, 1);
  RequestBatch none(requests_for({"x", "y"}), 2, 15s, f->fn(),
                    std::make_shared<Workers>(16, [](std::function<void()>) { return false; }), f->notify(),
                    clock.fn());
  EXPECT_EQ(none.outcome(0), no_answer());
  EXPECT_EQ(none.outcome(1), no_answer());
  EXPECT_EQ(none.next_deadline(), std::nullopt);
}

// A server asked the worker to wait: a drop of the poll ends the wait at once, and a
// wait that would end past the limit is not begun.
TEST(RequestBatch, AWaitBeforeAskingAgainEndsAtOnceWhenThePollIsDropped) {
  FakeClock clock;
  std::mutex m;
  std::condition_variable cv;
  int state = 0;  // 1: waiting, 2: the wait ended
  bool waited_out = true, past_limit = true, short_wait = false;
  const FetchFn fetch = [&](const BatchRequest&, const RequestControl& control) -> Answer {
    past_limit = control.pause(std::chrono::hours(2));  // the limit is one hour
    short_wait = control.pause(1ms);
    {
      std::lock_guard<std::mutex> lock(m);
      state = 1;
    }
    cv.notify_all();
    waited_out = control.pause(std::chrono::minutes(30));
    std::lock_guard<std::mutex> lock(m);
    state = 2;
    cv.notify_all();
    return std::nullopt;
  };
  auto batch = std::make_unique<RequestBatch>(
      requests_for({"busy"}), 1, std::chrono::hours(1), fetch, std::make_shared<Workers>(), [] {},
      clock.fn());
  std::unique_lock<std::mutex> lock(m);
  ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return state == 1; }));
  lock.unlock();
  batch.reset();
  lock.lock();
  ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return state == 2; })) << "the wait was not broken off";
  EXPECT_FALSE(waited_out);
  EXPECT_FALSE(past_limit);
  EXPECT_TRUE(short_wait);
}

// Of three workers asked only one starts, and it takes the first request before the
// rest are counted: the second may still wait a whole limit behind a stuck first.
TEST(RequestBatch, WithFewerWorkersThanAskedAQueuedRequestKeepsItsWholeTurn) {
  auto f = std::make_shared<HeldFetch>();
  f->honour_cancel = false;
  FakeClock clock;
  int starts = 0;
  const StartWorker only_one = [&](std::function<void()> work) {
    return ++starts == 1 && start_detached_thread(std::move(work));
  };
  RequestBatch batch(requests_for({"stuck", "second", "third"}), 3, 15s, f->fn(),
                     std::make_shared<Workers>(16, only_one), f->notify(), clock.fn());
  ASSERT_TRUE(f->wait_for([&] { return f->running == 1; }));
  clock.ms = 15000;
  EXPECT_EQ(batch.outcome(0), no_answer());
  EXPECT_EQ(batch.outcome(1), std::nullopt);
  clock.ms = 30000;
  EXPECT_EQ(batch.outcome(1), no_answer());
  EXPECT_EQ(batch.outcome(2), std::nullopt);
  clock.ms = 45000;
  EXPECT_EQ(batch.outcome(2), no_answer());
  f->release();
}

// The poll over real requests on worker threads, with the test's clock.
class BatchHost : public FakeHost {
 public:
  BatchHost(std::shared_ptr<HeldFetch> f, ClockFn now) : f_(std::move(f)), now_(std::move(now)) {}
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& list,
                                               std::function<void()>) override {
    return std::make_unique<RequestBatch>(list, 8, 15s, f_->fn(), std::make_shared<Workers>(), f_->notify(),
                                          now_);
  }

 private:
  std::shared_ptr<HeldFetch> f_;
  ClockFn now_;
};

TEST(PollOverRequests, AStationThatNeverAnswersCountsAsNoAnswerAtItsLimitAndTheRestFollowAtOnce) {
  auto f = std::make_shared<HeldFetch>();
  f->honour_cancel = false;
  FakeClock clock;
  BatchHost host(f, clock.fn());
  AppState app;
  app.settings.stations = "a;silent;c";
  app.settings.api_base_url = "http://sim";
  build_station_list(app.settings.stations, app.station_list);
  Poll p(app, host, host, {});
  f->release(listeners_url("http://sim", "a"));
  f->release(listeners_url("http://sim", "c"));
  ASSERT_TRUE(f->wait_for([&] { return f->notified == 2; }));
  EXPECT_FALSE(p.advance());
  EXPECT_EQ(app.history.sample_count(), 1u);  // a; c waits for the silent one
  clock.ms = 14999;
  EXPECT_FALSE(p.advance());
  clock.ms = 15000;
  EXPECT_TRUE(p.advance());
  EXPECT_EQ(host.shown.back(),
            "A : answer http://sim/station/a/listeners\r\nSILENT: \r\n"
            "C: answer http://sim/station/c/listeners");
  f->release();
}

// The README's figures come from the limits' header; a changed limit that the text
// does not follow fails here.
TEST(PollLimits, TheReadmeGivesTheHeadersFigures) {
  std::ifstream in(KN_README);
  std::stringstream text;
  text << in.rdbuf();
  const std::string readme = text.str();
  ASSERT_FALSE(readme.empty());
  for (const std::string& figure :
       {"Each request gives up " + std::to_string(kRequestTimeoutMs / 1000) + " seconds after its own start",
        "a listener answer over " + std::to_string(kListenerAnswerLimit / 1024) + " KiB",
        "a current-song answer over " + std::to_string(kSongAnswerLimit / 1024) + " KiB",
        "Worker threads are capped at " + std::to_string(kMaxLiveWorkers) + " for the whole program"})
    EXPECT_NE(readme.find(figure), std::string::npos) << figure;
}

}  // namespace
}  // namespace kn
