#include "core/poll_gate.h"

#include <utility>

namespace kn {

void PollGate::request_poll(Action poll) {
  if (running_) {
    if (!pending_poll_) pending_poll_ = std::move(poll);
    return;
  }
  run(std::move(poll));
}

void PollGate::run_or_defer(Action action) {
  if (running_) {
    deferred_.push_back(std::move(action));
    return;
  }
  action();
}

void PollGate::run(Action poll) {
  while (poll) {
    running_ = true;
    struct Done {
      bool& running;
      ~Done() { running = false; }
    } done{running_};
    poll();
    poll = std::exchange(pending_poll_, nullptr);
  }
  // An action may itself poll (a double-click) or run a dialog whose loop polls;
  // whatever such a poll defers is handled at its own end.
  while (!running_ && !deferred_.empty()) {
    Action next = std::move(deferred_.front());
    deferred_.pop_front();
    next();
  }
}

}  // namespace kn
