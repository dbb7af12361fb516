#include "core/poll_runner.h"

namespace kn {

void PollRunner::request(bool show_all) { enter({Kind::Request, show_all, {}}); }

void PollRunner::restart() { enter({Kind::Restart, false, {}}); }

void PollRunner::reload(std::function<void()> rebuild) { enter({Kind::Reload, false, std::move(rebuild)}); }

void PollRunner::advance() {
  // Answers and limit ticks that pile up during a long step need one advance.
  if (in_step_ && !deferred_.empty() && deferred_.back().kind == Kind::Advance) return;
  enter({Kind::Advance, false, {}});
}

void PollRunner::close() { enter({Kind::Close, false, {}}); }

void PollRunner::outside_step(std::function<void()> action) {
  enter({Kind::Outside, false, std::move(action)});
}

void PollRunner::enter(Call call) {
  if (closed_) return;
  if (in_step_) {
    deferred_.push_back(std::move(call));
    return;
  }
  run(call);
  // An outside action may itself have run steps and the calls waiting behind them.
  while (!in_step_ && !closed_ && !deferred_.empty()) {
    Call next = std::move(deferred_.front());
    deferred_.pop_front();
    run(next);
  }
}

void PollRunner::run(Call& call) {
  if (call.kind == Kind::Outside) {
    if (call.action) call.action();
    return;
  }
  struct StepScope {
    bool& flag;
    explicit StepScope(bool& f) : flag(f) { flag = true; }
    ~StepScope() { flag = false; }
  };
  {
    const StepScope scope(in_step_);
    step(call);
  }
  if (closed_) {
    deferred_.clear();
    if (hooks_.end_program) hooks_.end_program();
  }
}

void PollRunner::step(Call& call) {
  switch (call.kind) {
    case Kind::Request:
      if (poll_) {
        waiting_ = call.show_all || waiting_.value_or(false);
      } else {
        start(call.show_all, true);
      }
      break;
    case Kind::Restart:
      drop_running();
      start(false, false);
      break;
    case Kind::Reload:
      drop_running();
      if (call.action) call.action();
      start(false, true);
      break;
    case Kind::Advance:
      if (!poll_ || !poll_->advance()) break;
      {
        const std::unique_ptr<Poll> ended = std::move(poll_);
        view_.poll_limit_timer(false);
        if (heard_ && hooks_.ended) hooks_.ended(ended->results(), began_);
      }
      if (waiting_) {
        const bool show_all = *waiting_;
        waiting_.reset();
        start(show_all, true);
      }
      break;
    case Kind::Close:
      drop_running();
      waiting_.reset();
      closed_ = true;
      break;
    case Kind::Outside:
      break;
  }
}

void PollRunner::start(bool show_all, bool heard) {
  heard_ = heard;
  began_ = heard && hooks_.now_text ? hooks_.now_text() : std::string();
  view_.poll_limit_timer(true);
  poll_ = std::make_unique<Poll>(app_, io_, view_, hooks_.answer_ready ? hooks_.answer_ready : [] {}, show_all);
  // Whatever is ready already, the hint of an empty list included.
  Call advance{Kind::Advance, false, {}};
  step(advance);
}

void PollRunner::drop_running() {
  if (!poll_) return;
  const std::unique_ptr<Poll> dropped = std::move(poll_);
  // A double-click's poll cut short is owed still: it runs after, with what is new.
  if (dropped->show_all()) waiting_ = true;
  dropped->drop();
  view_.poll_limit_timer(false);
}

}  // namespace kn
