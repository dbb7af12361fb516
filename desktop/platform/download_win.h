#pragma once
// The WinINet transport of the poll's requests, and the small files in the program
// folder that each answer passes through.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/request_batch.h"

namespace kn {

// Whole file as text (ANSI read, UTF-8 returned); empty when no file matches.
std::string read_downloaded_file(const std::string& path);

// Starts the requests of one poll together, at most parallel at once, and returns at
// once; each request has the time limit from its own start. notify runs on a worker
// after each answer. Addresses in the UTF-8 form the poll builds.
std::unique_ptr<RequestBatch> start_requests(const std::vector<BatchRequest>& requests, unsigned parallel,
                                             std::function<void()> notify,
                                             unsigned timeout_ms = kRequestTimeoutMs);

// An answer as the program reads it: written to file, read back, the file deleted;
// empty for no answer.
std::string through_file(const Answer& answer, const std::string& file);

// One request on the calling thread, within the time limit: the body of a 2xx answer
// of at most max_bytes, nothing otherwise.
Answer fetch_now(const std::string& url, size_t max_bytes, unsigned timeout_ms = kRequestTimeoutMs);

// fetch_now through file.
std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms = kRequestTimeoutMs);

// The address as it is sent: in the ANSI code page, then made fit for a request line.
std::string request_url(const std::string& url_utf8);

}  // namespace kn
