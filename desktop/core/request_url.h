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
