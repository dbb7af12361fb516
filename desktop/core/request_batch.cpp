#include "core/request_batch.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace kn {

std::chrono::milliseconds RequestControl::time_left() const {
  if (cancelled()) return std::chrono::milliseconds(0);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now_());
  return std::max(left, std::chrono::milliseconds(0));
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
  std::optional<Answer> result;  // set once decided
  bool given_up = false;
  std::atomic<bool> cancelled{false};
  Clock::time_point deadline;  // while running: its start plus the limit
  Clock::time_point latest;    // while queued: when the requests ahead must have let it run
};

}  // namespace

struct RequestBatch::State {
  mutable std::mutex mutex;
  std::vector<std::unique_ptr<Job>> jobs;
  size_t next = 0;
  std::chrono::milliseconds limit{0};
  bool closed = false;
  FetchFn fetch;
  std::shared_ptr<StillRunning> still_running;
  std::function<void()> notify;
  ClockFn now;

  // Under the lock.
  void give_up(Job& job) {
    if (job.result) return;
    job.result = Answer{};
    if (job.status == Status::Queued) {
      job.status = Status::Done;
      return;
    }
    job.given_up = true;
    job.cancelled = true;
    still_running->add(job.request.url);
  }

  // Under the lock: the bound of each queued request when `threads` work the queue.
  void set_latest(size_t threads, Clock::time_point start) {
    size_t position = 0;
    for (auto& job : jobs) {
      if (job->status != Status::Queued) continue;
      job->latest = start + limit * static_cast<int>(position / threads + 1);
      ++position;
    }
  }

  static void work(const std::shared_ptr<State>& s) {
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
      while (s->next < s->jobs.size() && s->jobs[s->next]->status != Status::Queued) ++s->next;
      if (s->closed || s->next == s->jobs.size()) return;
      Job& job = *s->jobs[s->next++];
      job.status = Status::Running;
      job.deadline = s->now() + s->limit;
      const RequestControl control(job.deadline, job.cancelled, s->now);
      lock.unlock();
      Answer answer;
      try {
        answer = s->fetch(job.request, control);
      } catch (...) {
        answer.reset();  // a failed request is no answer, never the end of the program
      }
      lock.lock();
      // A given-up request's late answer is dropped; its address may be asked again.
      if (job.given_up) {
        s->still_running->remove(job.request.url);
      } else if (!job.result) {
        job.result = std::move(answer);
      }
      job.status = Status::Done;
      lock.unlock();
      s->notify();
      lock.lock();
    }
  }
};

bool start_detached_thread(std::function<void()> work) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

RequestBatch::RequestBatch(std::vector<BatchRequest> requests, unsigned parallel,
                           std::chrono::milliseconds limit, FetchFn fetch,
                           std::shared_ptr<StillRunning> still_running, std::function<void()> notify,
                           ClockFn now, StartWorker start_worker)
    : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.limit = limit;
  s.fetch = std::move(fetch);
  s.still_running = std::move(still_running);
  s.notify = notify ? std::move(notify) : [] {};
  s.now = std::move(now);
  size_t queued = 0;
  for (auto& r : requests) {
    auto job = std::make_unique<Job>();
    job->request = std::move(r);
    if (s.still_running->contains(job->request.url)) {
      job->status = Status::Done;
      job->result = Answer{};
    } else {
      ++queued;
    }
    s.jobs.push_back(std::move(job));
  }
  const size_t threads = std::min<size_t>({std::max(parallel, 1u), kMaxParallelRequests, queued});
  const Clock::time_point start = s.now();
  if (threads > 0) s.set_latest(threads, start);
  size_t started = 0;
  for (size_t i = 0; i < threads; ++i) {
    if (!start_worker([state = state_] { State::work(state); })) break;
    ++started;
  }
  if (started == threads) return;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (started == 0) {
    for (auto& job : s.jobs) s.give_up(*job);
  } else {
    s.set_latest(started, start);
  }
}

RequestBatch::~RequestBatch() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->closed = true;
  for (auto& job : state_->jobs) state_->give_up(*job);
}

size_t RequestBatch::size() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->jobs.size();
}

std::optional<Answer> RequestBatch::outcome(size_t i) {
  State& s = *state_;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (i >= s.jobs.size()) return Answer{};
  Job& job = *s.jobs[i];
  if (!job.result) {
    const Clock::time_point now = s.now();
    if ((job.status == Status::Running && now >= job.deadline) ||
        (job.status == Status::Queued && now >= job.latest)) {
      s.give_up(job);
    }
  }
  return job.result;
}

std::optional<Clock::time_point> RequestBatch::next_deadline() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::optional<Clock::time_point> next;
  for (const auto& job : state_->jobs) {
    if (job->result) continue;
    const Clock::time_point t = job->status == Status::Queued ? job->latest : job->deadline;
    if (!next || t < *next) next = t;
  }
  return next;
}

}  // namespace kn
