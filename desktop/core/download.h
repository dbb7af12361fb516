#pragma once
// Downloads through a small file in the program folder, as the poll and the
// current-song fetch do.
#include <cstddef>
#include <string>

namespace kn {

inline constexpr unsigned kDownloadTimeoutMs = 15000;
inline constexpr size_t kListenerAnswerLimit = 1024;
inline constexpr size_t kSongAnswerLimit = 64 * 1024;

// Whole file as text (ANSI read, UTF-8 returned); empty when no file matches.
std::string read_downloaded_file(const std::string& path);

// Drops the cache entry, downloads url into file, reads it back and deletes the
// file. Empty when no 2xx answer of at most max_bytes arrived within the time limit.
std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms = kDownloadTimeoutMs);

// Percent-encodes what cannot stand in a request line (blanks, controls, bytes
// above 0x7F of the ANSI form); everything else is passed as it is.
std::string request_url(const std::string& url_utf8);

}  // namespace kn
