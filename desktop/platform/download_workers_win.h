#pragma once
// The poll's requests on the program's worker threads, which the system starts.
#include <functional>
#include <memory>
#include <vector>

#include "core/poll_limits.h"
#include "core/request_batch.h"

namespace kn {

// Starts the requests of one poll together, at most parallel at once, and returns at
// once; each request has the time limit from its own start. notify runs on a worker
// after each answer. Addresses in the UTF-8 form the poll builds.
std::unique_ptr<RequestBatch> start_requests(const std::vector<BatchRequest>& requests, unsigned parallel,
                                             std::function<void()> notify,
                                             unsigned timeout_ms = kRequestTimeoutMs);

}  // namespace kn
