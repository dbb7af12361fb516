#include "platform/download_workers_win.h"

#include <process.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "core/workers.h"
#include "platform/http_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {

// The runtime's detached std::thread now and then never runs its work (measured under
// Wine: 3 of 80,000; the system's own threads: none), so a poll would wait for a
// request nobody asks. The system's threads, then.
unsigned __stdcall run_worker(void* arg) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(arg));
  try {
    (*work)();
  } catch (...) {
  }
  return 0;
}

bool start_worker_thread(std::function<void()> work) {
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const unique_kernel_handle thread(
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run_worker, owned.get(), 0, nullptr)));
  if (!thread) return false;
  owned.release();  // the thread owns it now
  return true;
}

// The worker threads of every poll of the program's life.
std::shared_ptr<Workers> workers() {
  static const auto the = std::make_shared<Workers>(kMaxLiveWorkers, start_worker_thread);
  return the;
}

}  // namespace

std::unique_ptr<RequestBatch> start_requests(const std::vector<BatchRequest>& requests, unsigned parallel,
                                             std::function<void()> notify, unsigned timeout_ms) {
  std::vector<BatchRequest> wire;
  wire.reserve(requests.size());
  for (const auto& r : requests) wire.push_back({fresh_request_url(r.url), r.max_bytes});
  return std::make_unique<RequestBatch>(std::move(wire), parallel, std::chrono::milliseconds(timeout_ms),
                                        internet_get, workers(), std::move(notify), Clock::now);
}

}  // namespace kn
