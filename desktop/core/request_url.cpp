#include "core/request_url.h"

#include "core/text_util.h"

namespace kn {

std::string request_line_url(std::string_view url_bytes) {
  // Only what a URL cannot carry; the path's own escapes are already there.
  return percent_escape(
      url_bytes, [](unsigned char c) { return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>'; });
}

}  // namespace kn
