#include "core/request_batch.h"

#include <algorithm>
#include <condition_variable>
#include <system_error>
#include <thread>

namespace kn {

bool CancelSlot::enter(std::function<void()> cancel) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancelled_) return false;
  cancel_ = std::move(cancel);
  in_call_ = true;
  return true;
}

bool CancelSlot::leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  in_call_ = false;
  cancel_ = nullptr;
  return !cancelled_;
}

void CancelSlot::cancel() {
  // Under the lock, so a call that returns meanwhile learns of it only afterwards.
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancelled_) return;
  cancelled_ = true;
  if (in_call_ && cancel_) cancel_();
}

bool StillRunning::contains(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(urls_.begin(), urls_.end(), url) != urls_.end();
}

void StillRunning::add(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  urls_.push_back(url);
}

void StillRunning::remove(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(urls_.begin(), urls_.end(), url);
  if (it != urls_.end()) urls_.erase(it);
}

namespace {

enum class Status { Queued, Running, Done };

struct Job {
  BatchRequest request;
  Status status = Status::Queued;
  std::optional<std::string> answer;
  bool taken = false;
  bool given_up = false;
  CancelSlot slot;
};

}  // namespace

struct RequestBatch::State {
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::unique_ptr<Job>> jobs;
  size_t next = 0;
  Clock::time_point deadline;
  bool closed = false;
  FetchFn fetch;
  std::shared_ptr<StillRunning> still_running;

  // Under the lock; the returned slot is cancelled after it is released.
  CancelSlot* give_up(Job& job) {
    if (job.status == Status::Queued) job.status = Status::Done;
    if (job.status != Status::Running || job.given_up) return nullptr;
    job.given_up = true;
    still_running->add(job.request.url);
    return &job.slot;
  }

  static void work(const std::shared_ptr<State>& s) {
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
      while (s->next < s->jobs.size() && s->jobs[s->next]->status != Status::Queued) ++s->next;
      if (s->closed || s->next == s->jobs.size()) return;
      Job& job = *s->jobs[s->next++];
      if (Clock::now() >= s->deadline) {
        job.status = Status::Done;
        s->changed.notify_all();
        continue;
      }
      job.status = Status::Running;
      lock.unlock();
      std::optional<std::string> answer;
      try {
        answer = s->fetch(job.request, s->deadline, job.slot);
      } catch (...) {
        answer.reset();  // a failed request is no answer, never the end of the program
      }
      lock.lock();
      // A given-up request's late answer is dropped; its address may be asked again.
      if (job.given_up) {
        s->still_running->remove(job.request.url);
      } else {
        job.answer = std::move(answer);
      }
      job.status = Status::Done;
      s->changed.notify_all();
    }
  }
};

RequestBatch::RequestBatch(std::vector<BatchRequest> requests, unsigned parallel,
                           std::chrono::milliseconds limit, FetchFn fetch,
                           std::shared_ptr<StillRunning> still_running)
    : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.deadline = Clock::now() + limit;
  s.fetch = std::move(fetch);
  s.still_running = std::move(still_running);
  size_t queued = 0;
  for (auto& r : requests) {
    auto job = std::make_unique<Job>();
    job->request = std::move(r);
    if (s.still_running->contains(job->request.url)) {
      job->status = Status::Done;
    } else {
      ++queued;
    }
    s.jobs.push_back(std::move(job));
  }
  const size_t threads = std::min<size_t>({std::max(parallel, 1u), kMaxParallelRequests, queued});
  size_t started = 0;
  for (size_t i = 0; i < threads; ++i) {
    try {
      std::thread(State::work, state_).detach();
      ++started;
    } catch (const std::system_error&) {
      break;
    }
  }
  if (started == 0) {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto& job : s.jobs) job->status = Status::Done;
  }
}

RequestBatch::~RequestBatch() {
  std::vector<CancelSlot*> to_cancel;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->closed = true;
    for (auto& job : state_->jobs) {
      if (CancelSlot* slot = state_->give_up(*job)) to_cancel.push_back(slot);
    }
  }
  for (CancelSlot* slot : to_cancel) slot->cancel();
}

bool RequestBatch::holds(const std::string& url) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (const auto& job : state_->jobs) {
    if (!job->taken && job->request.url == url) return true;
  }
  return false;
}

std::optional<std::string> RequestBatch::take(const std::string& url, const std::function<bool()>& stop) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  Job* job = nullptr;
  for (auto& j : s.jobs) {
    if (!j->taken && j->request.url == url) {
      job = j.get();
      break;
    }
  }
  if (!job) return std::nullopt;
  job->taken = true;
  auto done = [&] { return job->status == Status::Done; };
  for (;;) {
    const auto until =
        stop ? std::min(s.deadline, Clock::now() + std::chrono::milliseconds(100)) : s.deadline;
    if (s.changed.wait_until(lock, until, done)) return std::move(job->answer);
    if (Clock::now() >= s.deadline) break;
    lock.unlock();
    const bool stopped = stop();
    lock.lock();
    if (stopped) return std::nullopt;  // given up with the batch
  }
  CancelSlot* slot = s.give_up(*job);
  lock.unlock();
  if (slot) slot->cancel();
  return std::nullopt;
}

}  // namespace kn
