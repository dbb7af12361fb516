#include "core/request_batch.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>

namespace kn {

std::chrono::milliseconds RequestControl::time_left() const {
  if (cancelled()) return std::chrono::milliseconds(0);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now_());
  return std::max(left, std::chrono::milliseconds(0));
}

bool RequestControl::pause(std::chrono::milliseconds wait) const {
  if (cancelled() || wait >= time_left()) return false;
  if (pause_) return pause_(wait);
  // Only a request of no batch gets here: nobody can give it up.
  std::this_thread::sleep_for(wait);
  return !cancelled();
}

namespace {

enum class Status { Queued, Running, Done };

struct Job {
  BatchRequest request;
  Status status = Status::Queued;
  std::optional<Answer> result;  // set once decided
  bool given_up = false;         // at its own limit, while its call runs
  std::atomic<bool> cancelled{false};
  Clock::time_point deadline;  // while running: its start plus the limit
  Clock::time_point latest;    // while queued: when the requests ahead must have let it finish
};

}  // namespace

struct RequestBatch::State {
  mutable std::mutex mutex;
  std::condition_variable wake;  // a pausing worker hears of a cancel at once
  std::vector<std::unique_ptr<Job>> jobs;
  size_t next = 0;
  std::chrono::milliseconds limit{0};
  bool closed = false;
  unsigned active = 0;  // workers in this batch's queue
  FetchFn fetch;
  std::shared_ptr<Workers> workers;
  std::function<void()> notify;
  ClockFn now;

  // Under the lock: the request reached its limit.
  void give_up(Job& job) {
    if (job.result) return;
    job.result = Answer{};
    if (job.status == Status::Queued) {
      job.status = Status::Done;
      return;
    }
    job.given_up = true;
    job.cancelled = true;
    workers->holds().block(job.request.url);
    wake.notify_all();
  }

  // Under the lock: the poll was dropped. Only a limit that has passed blocks.
  void cancel(Job& job, Clock::time_point t) {
    if (job.status == Status::Running && !job.result && t >= job.deadline) {
      give_up(job);
      return;
    }
    if (!job.result) job.result = Answer{};
    if (job.status == Status::Queued) job.status = Status::Done;
    job.cancelled = true;
    wake.notify_all();
  }

  // Under the lock, when a worker joins: when each queued request must have finished,
  // with every active worker busy until its running request's limit at the latest.
  // Counted from the workers there are and the requests they took, not from the
  // number of workers asked, which may not all start.
  void renumber(Clock::time_point t) {
    using Slot = Clock::time_point;
    std::priority_queue<Slot, std::vector<Slot>, std::greater<Slot>> free_at;
    unsigned busy = 0;
    for (const auto& job : jobs) {
      if (job->status == Status::Running && busy < active) {
        free_at.push(job->deadline);
        ++busy;
      }
    }
    for (unsigned i = busy; i < active; ++i) free_at.push(t);
    for (auto& job : jobs) {
      if (job->status != Status::Queued) continue;
      const Slot finish = free_at.top() + limit;
      free_at.pop();
      free_at.push(finish);
      job->latest = finish;
    }
  }

  bool pause(Job& job, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, wait, [&] { return job.cancelled.load(); });
  }

  static void work(const std::shared_ptr<State>& s) {
    std::unique_lock<std::mutex> lock(s->mutex);
    if (s->closed) return;
    ++s->active;
    s->renumber(s->now());
    for (;;) {
      while (s->next < s->jobs.size() && s->jobs[s->next]->status != Status::Queued) ++s->next;
      if (s->closed || s->next == s->jobs.size()) {
        --s->active;
        return;
      }
      Job& job = *s->jobs[s->next++];
      job.status = Status::Running;
      job.deadline = s->now() + s->limit;
      State* raw = s.get();
      const RequestControl control(
          job.deadline, job.cancelled, s->now,
          [raw, &job](std::chrono::milliseconds wait) { return raw->pause(job, wait); });
      lock.unlock();
      Answer answer;
      try {
        answer = s->fetch(job.request, control);
      } catch (...) {
        answer.reset();  // a failed request is no answer, never the end of the program
      }
      lock.lock();
      // A late answer of a request given up or cancelled is dropped.
      if (job.given_up) {
        s->workers->holds().unblock(job.request.url);
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

RequestBatch::RequestBatch(std::vector<BatchRequest> requests, unsigned parallel,
                           std::chrono::milliseconds limit, FetchFn fetch, std::shared_ptr<Workers> workers,
                           std::function<void()> notify, ClockFn now)
    : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.limit = limit;
  s.fetch = std::move(fetch);
  s.workers = std::move(workers);
  s.notify = notify ? std::move(notify) : [] {};
  s.now = std::move(now);
  size_t queued = 0;
  for (auto& r : requests) {
    auto job = std::make_unique<Job>();
    job->request = std::move(r);
    if (s.workers->holds().blocked(job->request.url)) {
      job->status = Status::Done;
      job->result = Answer{};
    } else {
      ++queued;
    }
    s.jobs.push_back(std::move(job));
  }
  const size_t threads = std::min<size_t>({std::max(parallel, 1u), kMaxParallelRequests, queued});
  if (threads == 0) return;
  // Until a worker joins, the program's other polls may hold every thread; each of
  // theirs ends within one limit of its cancel, so one limit more is allowed.
  const Clock::time_point start = s.now();
  size_t position = 0;
  for (auto& job : s.jobs) {
    if (job->status != Status::Queued) continue;
    job->latest = start + limit * static_cast<int>(position / threads + 2);
    ++position;
  }
  size_t asked = 0;
  for (size_t i = 0; i < threads; ++i) {
    if (!s.workers->run([state = state_] { State::work(state); })) break;
    ++asked;
  }
  if (asked > 0) return;
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto& job : s.jobs) s.give_up(*job);
}

RequestBatch::~RequestBatch() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->closed = true;
  const Clock::time_point t = state_->now();
  for (auto& job : state_->jobs) state_->cancel(*job, t);
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
    const Clock::time_point t = s.now();
    if ((job.status == Status::Running && t >= job.deadline) ||
        (job.status == Status::Queued && t >= job.latest)) {
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
