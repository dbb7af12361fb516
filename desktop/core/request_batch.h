#pragma once
// The requests of one poll, in flight together on a few threads, with one time limit
// counted from the poll's start. Answers are taken in whatever order the caller
// likes, so the poll can go on station by station exactly as before.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kn {

inline constexpr unsigned kMaxParallelRequests = 8;

// Lets a request that waits in a blocking call be broken off from another thread.
class CancelSlot {
 public:
  // Before a blocking call: how to break it off. False when the request is already
  // given up: do not make the call.
  bool enter(std::function<void()> cancel);
  // After the call: false when the request was given up meanwhile; the cancel has
  // run then, and what it released must not be touched again.
  bool leave();
  void cancel();

 private:
  std::mutex mutex_;
  std::function<void()> cancel_;
  bool in_call_ = false;
  bool cancelled_ = false;
};

// Addresses whose given-up request still runs. Where cancelling does not break a
// blocked call, every poll against a silent server would leave one more thread
// behind; so such an address gets no new request until its old one has ended.
class StillRunning {
 public:
  bool contains(const std::string& url) const;
  void add(const std::string& url);
  void remove(const std::string& url);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> urls_;  // one entry per running request
};

struct BatchRequest {
  std::string url;
  size_t max_bytes = 0;
};

using Clock = std::chrono::steady_clock;
// Runs one request: the body of a good answer, nothing otherwise. Should end by the
// deadline; the batch stops waiting for it then anyway.
using FetchFn =
    std::function<std::optional<std::string>(const BatchRequest&, Clock::time_point deadline, CancelSlot&)>;

class RequestBatch {
 public:
  // parallel is capped at kMaxParallelRequests; 1 asks one after the other.
  RequestBatch(std::vector<BatchRequest> requests, unsigned parallel, std::chrono::milliseconds limit,
               FetchFn fetch, std::shared_ptr<StillRunning> still_running);
  // Gives up every request that has not ended.
  ~RequestBatch();
  RequestBatch(const RequestBatch&) = delete;
  RequestBatch& operator=(const RequestBatch&) = delete;

  // Whether a request for url is left to take.
  bool holds(const std::string& url) const;
  // The answer to the first request for url not taken yet, once it ended or the time
  // limit passed (then it is given up): nothing for no answer. A wait that stop ends
  // (asked every tenth of a second) gives nothing too.
  std::optional<std::string> take(const std::string& url, const std::function<bool()>& stop = {});

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace kn
