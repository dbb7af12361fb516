#pragma once
// Never a poll inside a poll. The tray update in a poll lets messages run, so a
// timer tick, a double-click or a menu could otherwise start another poll or a
// dialog in the middle of one, and with slow answers the nesting never unwinds.
#include <deque>
#include <functional>

namespace kn {

class PollGate {
 public:
  using Action = std::function<void()>;

  // Runs the poll now. While one runs, the request is remembered and runs once
  // right after it; further requests meanwhile collapse into that one.
  void request_poll(Action poll);
  // Runs the action now, or right after the running poll (and a remembered one),
  // in the order the actions came.
  void run_or_defer(Action action);

  bool running() const { return running_; }

 private:
  void run(Action poll);

  bool running_ = false;
  Action pending_poll_;
  std::deque<Action> deferred_;
};

}  // namespace kn
