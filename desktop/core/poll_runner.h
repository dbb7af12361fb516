#pragma once
// At most one poll at a time, never one inside another. Timer ticks and double-clicks
// during a poll become one poll right after it; new settings drop the running poll,
// whose answers belong to the old station list, and poll anew.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/poll.h"

namespace kn {

// Hears of every poll that ran to its end, except the settings dialog's previews:
// the stations' results and the time the poll began.
using PollEnded = std::function<void(const std::vector<StationResult>& results, const std::string& began)>;

class PollRunner {
 public:
  // now_text: the time of day as the user reads it, taken when a poll begins.
  PollRunner(AppState& app, PollHost& host, PollEnded ended = {}, std::function<std::string()> now_text = {})
      : app_(app), host_(host), ended_(std::move(ended)), now_text_(std::move(now_text)) {}

  // Polls now, or once right after the running poll. A show-all request (the
  // double-click) wins over a timed one waiting beside it.
  void request(bool show_all = false);
  // Drops the running poll and anything waiting, then polls the current list now: a
  // preview of changed settings, which no one hears of.
  void restart();
  // Drops the running poll and anything waiting: the program ends, or the station
  // list is about to be rebuilt.
  void abandon();
  // An answer came or a limit may have passed: applies what is ready; a poll that
  // ends lets the waiting one start.
  void advance();

  bool running() const { return poll_ != nullptr; }

 private:
  void start(bool show_all, bool heard = true);

  AppState& app_;
  PollHost& host_;
  PollEnded ended_;
  std::function<std::string()> now_text_;
  std::unique_ptr<Poll> poll_;
  bool heard_ = false;  // the running poll's end is told
  std::string began_;
  std::optional<bool> waiting_;  // show_all of the poll due after the running one
};

}  // namespace kn
