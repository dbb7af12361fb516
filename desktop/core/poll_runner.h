#pragma once
// At most one poll at a time, never one inside another. Timer ticks and double-clicks
// during a poll become one poll right after it; new settings drop the running poll,
// whose answers belong to the old station list, and poll anew.
#include <memory>
#include <optional>

#include "core/poll.h"

namespace kn {

class PollRunner {
 public:
  PollRunner(AppState& app, PollHost& host) : app_(app), host_(host) {}

  // Polls now, or once right after the running poll. A show-all request (the
  // double-click) wins over a timed one waiting beside it.
  void request(bool show_all = false);
  // Drops the running poll and anything waiting, then polls the current list now.
  void restart();
  // Drops the running poll and anything waiting: the program ends, or the station
  // list is about to be rebuilt.
  void abandon();
  // An answer came or a limit may have passed: applies what is ready; a poll that
  // ends lets the waiting one start.
  void advance();

  bool running() const { return poll_ != nullptr; }

 private:
  void start(bool show_all);

  AppState& app_;
  PollHost& host_;
  std::unique_ptr<Poll> poll_;
  std::optional<bool> waiting_;  // show_all of the poll due after the running one
};

}  // namespace kn
