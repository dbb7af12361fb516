#pragma once
// The one owner of a poll's life: the running poll, the poll waiting after it and the
// poll-limit timer. Everything that touches a poll comes through here: timer ticks,
// double-clicks, answers, limits, previews, saves and the program's end. Each of these
// is one step, and a call that arrives while a step runs (a message handled inside
// the shell's tray call, a menu or a message box opened there) waits until that step
// has returned: steps never run inside each other, and nothing asked is lost.
#include <cstdint>
#include <deque>
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

// What the runner tells its owner, each optional.
struct PollRunnerHooks {
  std::function<void()> answer_ready = {};     // on a worker, after each answer: call advance()
  PollEnded ended = {};                        // a poll that ran to its end
  std::function<std::string()> now_text = {};  // the time of day as the user reads it
  std::function<void()> end_program = {};      // once, outside every step, after close()
};

class PollRunner {
 public:
  PollRunner(AppState& app, PollIo& io, PollView& view, PollRunnerHooks hooks = {})
      : app_(app), io_(io), view_(view), hooks_(std::move(hooks)) {}
  PollRunner(const PollRunner&) = delete;
  PollRunner& operator=(const PollRunner&) = delete;

  // Polls now, or once right after the running poll. A show-all request (the
  // double-click) wins over a timed one waiting beside it.
  void request(bool show_all = false);
  // Drops the running poll, then polls the current list now: a preview of changed
  // settings, which no one hears of. A poll waiting after it still runs after.
  void restart();
  // Drops the running poll, lets `rebuild` read new settings and build the station
  // list, then polls it; a poll waiting after it still runs after, with them.
  void reload(std::function<void()> rebuild);
  // An answer came or a limit may have passed: applies what is ready; a poll that
  // ends lets the waiting one start.
  void advance();
  // Drops the running poll and ends the program; after it, nothing runs any more.
  void close();
  // Runs `action` outside every step: at once, or right after the running step (the
  // tray menu and the windows it opens, which run a message loop of their own).
  void outside_step(std::function<void()> action);

  // A poll runs (or is being set up or taken down by a step).
  bool running() const { return poll_ != nullptr || in_step_; }
  bool in_step() const { return in_step_; }
  bool closed() const { return closed_; }
  // The running poll; nothing while none runs or while one is being dropped.
  const Poll* poll() const { return poll_.get(); }
  // A double-click's poll is due after the running one.
  bool show_all_waiting() const { return waiting_.value_or(false); }

 private:
  enum class Kind { Request, Restart, Reload, Advance, Close, Outside };
  struct Call {
    Kind kind;
    bool show_all = false;
    std::function<void()> action;  // Reload's rebuild, or the outside action
  };

  // The one door: a call during a step waits in line; otherwise it runs, and so does
  // everything that waited, in the order it came.
  void enter(Call call);
  void run(Call& call);
  void step(Call& call);
  void start(bool show_all, bool heard);
  // The running poll ends, however it ends: idle icon, no poll-limit timer.
  void drop_running();

  AppState& app_;
  PollIo& io_;
  PollView& view_;
  PollRunnerHooks hooks_;
  std::unique_ptr<Poll> poll_;
  bool heard_ = false;  // the running poll's end is told
  std::string began_;
  std::optional<bool> waiting_;  // show_all of the poll due after the running one
  bool in_step_ = false;
  bool closed_ = false;
  std::deque<Call> deferred_;
};

}  // namespace kn
