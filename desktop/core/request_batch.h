#pragma once
// The requests of one poll, in flight together on a few worker threads. Each request
// has its own time limit, counted from its own start. The owner never waits: a worker
// calls `notify` when an answer is ready, and the owner asks for outcomes on its own
// thread, where a request past its limit is given up.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/poll_limits.h"
#include "core/workers.h"

namespace kn {

using Clock = std::chrono::steady_clock;
using ClockFn = std::function<Clock::time_point()>;

// What a request came to: the body of a good answer, or nothing.
using Answer = std::optional<std::string>;

// The outcomes of a set of requests as their owner's thread sees them.
class PollRequests {
 public:
  virtual ~PollRequests() = default;
  // Request i's outcome once decided; nothing while it is still open.
  virtual std::optional<Answer> outcome(size_t i) = 0;
};

struct BatchRequest {
  std::string url;
  size_t max_bytes = 0;
};

// What a running request sees of its owner. Only the worker that runs a request
// touches its connection; giving up only raises the flag, which the worker reads
// before each call, and the worker bounds each call by the time left.
class RequestControl {
 public:
  // pause waits up to the given time and is false when the request was given up
  // meanwhile; without one, a pause only reads the flag.
  using PauseFn = std::function<bool(std::chrono::milliseconds)>;
  RequestControl(Clock::time_point deadline, const std::atomic<bool>& cancelled, ClockFn now,
                 PauseFn pause = {})
      : deadline_(deadline), cancelled_(cancelled), now_(std::move(now)), pause_(std::move(pause)) {}
  bool cancelled() const { return cancelled_.load(); }
  // Zero once the limit has passed or the request was given up.
  std::chrono::milliseconds time_left() const;
  // Waits before asking again (a server asked to slow down). False, at once, when the
  // wait would end past the limit or the request is given up while it waits.
  bool pause(std::chrono::milliseconds wait) const;

 private:
  Clock::time_point deadline_;
  const std::atomic<bool>& cancelled_;
  ClockFn now_;
  PauseFn pause_;
};

// Runs one request on a worker thread: the body of a good answer, nothing otherwise.
using FetchFn = std::function<Answer(const BatchRequest&, const RequestControl&)>;

class RequestBatch : public PollRequests {
 public:
  // parallel is capped at kMaxParallelRequests; 1 asks one after the other. notify is
  // called on a worker thread after each answer; now is the clock of every limit.
  RequestBatch(std::vector<BatchRequest> requests, unsigned parallel, std::chrono::milliseconds limit,
               FetchFn fetch, std::shared_ptr<Workers> workers, std::function<void()> notify,
               ClockFn now = Clock::now);
  // The poll is dropped: every open request is cancelled. A running one past its limit
  // counts as given up there; the others block no later request of their address.
  ~RequestBatch() override;
  RequestBatch(const RequestBatch&) = delete;
  RequestBatch& operator=(const RequestBatch&) = delete;

  size_t size() const;
  // Request i's outcome once it is decided, nothing while it is open. A request past
  // its limit is given up here and counts as no answer; so does one still queued
  // when the requests ahead of it, each within its limit, would have let it finish.
  std::optional<Answer> outcome(size_t i) override;
  // When the next open request reaches its limit; nothing when none is open.
  std::optional<Clock::time_point> next_deadline() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace kn
