#pragma once
// The program's worker threads, shared by every batch of requests, and the addresses
// held back while a given-up call of theirs still runs.
#include <functional>
#include <memory>
#include <string>

#include "core/address_holds.h"
#include "core/poll_limits.h"

namespace kn {

// Runs `work` on a new thread that nobody waits for; false when no thread could be
// started. A platform whose runtime threads are unreliable brings its own.
using StartWorker = std::function<bool(std::function<void()> work)>;
bool start_detached_thread(std::function<void()> work);

// At most max_live threads live; work beyond that waits for the first thread that
// comes free.
class Workers {
 public:
  explicit Workers(unsigned max_live = kMaxLiveWorkers, StartWorker start = start_detached_thread);

  // Runs work on a worker, now or after the work queued before it. False only when no
  // thread could be started and none lives to take it over.
  bool run(std::function<void()> work);
  unsigned live() const;
  unsigned most_live() const;

  // Kept with the threads because a held call runs on one of them and every batch
  // must see it.
  AddressHolds& holds() { return holds_; }
  bool blocked(const std::string& url) const { return holds_.blocked(url); }

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;  // threads keep it alive beyond this object
  AddressHolds holds_;
};

}  // namespace kn
