#pragma once
// One HTTP GET over WinINet within a request's limit: redirects by hand, one more try
// on a dropped connection, and the wait a server asks for when it fits the limit.
#include <cstddef>
#include <string>

#include "core/poll_limits.h"
#include "core/request_batch.h"

namespace kn {

// The address as it is sent: in the ANSI code page, then made fit for a request line.
std::string request_url(const std::string& url_utf8);

// request_url, with any answer the system cached for it dropped, so it is asked anew.
std::string fresh_request_url(const std::string& url_utf8);

// One request on the calling thread, within control's limit: the body of a 2xx answer
// of at most r.max_bytes, nothing otherwise. r.url as request_url gives it.
Answer internet_get(const BatchRequest& r, const RequestControl& control);

// One request on the calling thread, within the time limit: the body of a 2xx answer
// of at most max_bytes, nothing otherwise.
Answer fetch_now(const std::string& url, size_t max_bytes, unsigned timeout_ms = kRequestTimeoutMs);

}  // namespace kn
