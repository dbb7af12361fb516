#pragma once
// The small files in the program folder that each answer passes through.
#include <cstddef>
#include <string>

#include "core/poll_limits.h"
#include "core/request_batch.h"

namespace kn {

// Whole file as text (ANSI read, UTF-8 returned); empty when no file matches.
std::string read_downloaded_file(const std::string& path);

// An answer as the program reads it: written to file, read back, the file deleted;
// empty for no answer.
std::string through_file(const Answer& answer, const std::string& file);

// fetch_now through file.
std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms = kRequestTimeoutMs);

}  // namespace kn
