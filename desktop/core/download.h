#pragma once
// Downloads through a small file in the program folder, as the poll and the
// current-song fetch do.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/request_batch.h"

namespace kn {

inline constexpr unsigned kDownloadTimeoutMs = 15000;
inline constexpr size_t kListenerAnswerLimit = 1024;
inline constexpr size_t kSongAnswerLimit = 64 * 1024;

// Whole file as text (ANSI read, UTF-8 returned); empty when no file matches.
std::string read_downloaded_file(const std::string& path);

// Starts the requests of one poll together, at most parallel at once; each has the
// time limit counted from now. Addresses in the UTF-8 form the poll builds.
std::unique_ptr<RequestBatch> start_requests(const std::vector<BatchRequest>& requests, unsigned parallel,
                                             unsigned timeout_ms = kDownloadTimeoutMs);

// url's answer from the batch, or from a request of its own when the batch holds
// none: written to file, read back, the file deleted. Empty when no 2xx answer of at
// most max_bytes arrived within the time limit, or when stop ended the wait.
std::string fetch_to_file(RequestBatch* batch, const std::string& url, const std::string& file,
                          size_t max_bytes, const std::function<bool()>& stop = {});

// One request of its own.
std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms = kDownloadTimeoutMs);

// Percent-encodes what cannot stand in a request line (blanks, controls, bytes
// above 0x7F of the ANSI form); everything else is passed as it is.
std::string request_url(const std::string& url_utf8);

}  // namespace kn
