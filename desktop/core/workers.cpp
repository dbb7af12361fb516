#include "core/workers.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace kn {

bool start_detached_thread(std::function<void()> work) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

struct Workers::Shared {
  mutable std::mutex mutex;
  unsigned max_live = 1;
  StartWorker start;
  unsigned live = 0;
  unsigned most = 0;
  std::deque<std::function<void()>> queue;

  // A thread works until nothing waits for it.
  static void loop(const std::shared_ptr<Shared>& s, std::function<void()> work) {
    for (;;) {
      try {
        work();
      } catch (...) {
      }
      std::lock_guard<std::mutex> lock(s->mutex);
      if (s->queue.empty()) {
        --s->live;
        return;
      }
      work = std::move(s->queue.front());
      s->queue.pop_front();
    }
  }
};

Workers::Workers(unsigned max_live, StartWorker start) : shared_(std::make_shared<Shared>()) {
  shared_->max_live = std::max(max_live, 1u);
  shared_->start = std::move(start);
}

bool Workers::run(std::function<void()> work) {
  Shared& s = *shared_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.live >= s.max_live) {
    s.queue.push_back(std::move(work));
    return true;
  }
  ++s.live;  // counted before it starts, so no other run can pass the cap meanwhile
  lock.unlock();
  auto job = std::make_shared<std::function<void()>>(std::move(work));
  const bool started = s.start([shared = shared_, job] { Shared::loop(shared, std::move(*job)); });
  lock.lock();
  if (started) {
    s.most = std::max(s.most, s.live);
    return true;
  }
  --s.live;
  // A living thread looks at the queue under this lock before it ends.
  if (s.live == 0) return false;
  s.queue.push_back(std::move(*job));
  return true;
}

unsigned Workers::live() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->live;
}

unsigned Workers::most_live() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->most;
}

}  // namespace kn
