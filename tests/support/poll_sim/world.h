#pragma once
// The world the poll runs in under the simulation: a fake clock, and worker threads
// whose fetches park on gates until the schedule opens them. Before each event every
// worker is parked in a fetch or gone, so a schedule replays the same on any machine.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/poll_limits.h"
#include "core/request_batch.h"

namespace kn::poll_sim {

constexpr int64_t kLimitMs = kRequestTimeoutMs;

// One call of a fetch: parked until the schedule opens its gate.
struct Call {
  int poll = 0;
  std::string url;
  int64_t started_ms = 0;
  const RequestControl* control = nullptr;  // while parked
  bool open = false;
  Answer outcome;
  bool answered_in_time = false;  // opened with an answer before its limit
  int id = 0;                     // given when opened with an answer
};

// The worker threads, the gates and the clock, shared with the threads.
struct World : std::enable_shared_from_this<World> {
  std::mutex m;
  std::condition_variable cv;
  std::atomic<int64_t> clock_ms{0};
  int live = 0;
  int parked = 0;
  int notifies = 0;
  int next_id = 0;
  std::vector<std::shared_ptr<Call>> calls;
  std::map<int, std::shared_ptr<Call>> by_id;

  ClockFn clock() {
    return [self = shared_from_this()] {
      return Clock::time_point(std::chrono::milliseconds(self->clock_ms.load()));
    };
  }
  StartWorker starter() {
    return [self = shared_from_this()](std::function<void()> work) {
      {
        std::lock_guard<std::mutex> lock(self->m);
        ++self->live;
      }
      std::thread([self, work = std::move(work)]() mutable {
        work();
        work = nullptr;  // nothing of a batch is touched after the count goes down
        std::lock_guard<std::mutex> lock(self->m);
        --self->live;
        self->cv.notify_all();
      }).detach();
      // The new worker parks in its first fetch (or finds nothing to do) before the
      // step goes on: otherwise a poll dropped in the same step would leave calls or
      // none, as the thread happened to start, and a schedule would not replay.
      std::unique_lock<std::mutex> lock(self->m);
      self->cv.wait(lock, [&] { return self->live == self->parked; });
      return true;
    };
  }
  FetchFn fetch_for(int poll) {
    return [self = shared_from_this(), poll](const BatchRequest& r, const RequestControl& c) -> Answer {
      std::unique_lock<std::mutex> lock(self->m);
      auto call = std::make_shared<Call>();
      call->poll = poll;
      call->url = r.url;
      call->started_ms = self->clock_ms.load();
      call->control = &c;
      self->calls.push_back(call);
      ++self->parked;
      self->cv.notify_all();
      self->cv.wait(lock, [&] { return call->open; });
      call->control = nullptr;
      return call->outcome;
    };
  }
  std::function<void()> notifier() {
    return [self = shared_from_this()] {
      std::lock_guard<std::mutex> lock(self->m);
      ++self->notifies;
    };
  }
  // Every live worker parked in a fetch (or none left).
  bool quiesce() {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::seconds(60), [&] { return live == parked; });
  }
  // Lets every call go, those that begin meanwhile too, until no worker is left.
  bool all_gone() {
    std::unique_lock<std::mutex> lock(m);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const auto waiting = [&] {
      return std::any_of(calls.begin(), calls.end(), [](const auto& c) { return !c->open; });
    };
    while (live > 0) {
      for (const auto& c : calls) {
        if (!c->open) open(c, std::nullopt);
      }
      if (!cv.wait_until(lock, until, [&] { return live == 0 || waiting(); })) return false;
    }
    return true;
  }
  // Under the lock: the parked calls in a fixed order (their park order may race).
  std::vector<std::shared_ptr<Call>> parked_calls() {
    std::vector<std::shared_ptr<Call>> out;
    for (const auto& c : calls) {
      if (!c->open) out.push_back(c);
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
      return std::tie(a->poll, a->url) < std::tie(b->poll, b->url);
    });
    return out;
  }
  void open(const std::shared_ptr<Call>& c, Answer outcome) {
    // Under the caller's lock.
    c->open = true;
    if (outcome) {
      c->id = ++next_id;
      *outcome += "#" + std::to_string(c->id);
      by_id[c->id] = c;
      c->answered_in_time = clock_ms.load() < c->started_ms + kLimitMs;
    }
    c->outcome = std::move(outcome);
    --parked;
    cv.notify_all();
  }
};

}  // namespace kn::poll_sim
