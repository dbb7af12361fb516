#include "core/poll_runner.h"

namespace kn {

void PollRunner::request(bool show_all) {
  if (poll_) {
    waiting_ = show_all || waiting_.value_or(false);
    return;
  }
  start(show_all);
}

void PollRunner::restart() {
  abandon();
  start(false, false);
}

void PollRunner::abandon() {
  waiting_.reset();
  poll_.reset();  // gives up its requests; answers still on their way are dropped
}

void PollRunner::advance() {
  if (!poll_ || !poll_->advance()) return;
  const std::unique_ptr<Poll> ended = std::move(poll_);
  if (heard_ && ended_) ended_(ended->results(), began_);
  if (waiting_) {
    const bool show_all = *waiting_;
    waiting_.reset();
    start(show_all);
  }
}

void PollRunner::start(bool show_all, bool heard) {
  heard_ = heard;
  began_ = heard && now_text_ ? now_text_() : std::string();
  poll_ = std::make_unique<Poll>(app_, host_, show_all);
  advance();
}

}  // namespace kn
