#pragma once
// An address as it goes into a request line.
#include <string>
#include <string_view>

namespace kn {

// Percent-encodes what cannot stand in a request line (blanks, controls, quotes,
// angle brackets, bytes above 0x7F); everything else, the path's own escapes
// included, is passed as it is. Takes the address in the bytes it is sent in.
std::string request_line_url(std::string_view url_bytes);

}  // namespace kn

#include <chrono>
#include <cstdint>
#include <optional>

namespace kn {

// How long a "Retry-After" value asks to wait: delay-seconds, or an HTTP date (the
// preferred form and the two obsolete ones) counted from now_unix (seconds since
// 1970, UTC); a date gone by is no wait at all. Nothing for a value that is neither.
std::optional<std::chrono::seconds> retry_after(std::string_view value, int64_t now_unix);

}  // namespace kn
