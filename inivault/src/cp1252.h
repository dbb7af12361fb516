#pragma once

#include <string>
#include <string_view>

namespace inivault {

// Windows-1252 to UTF-16, mapping the five unassigned bytes to the C1 controls of
// the same value, as Windows does.
std::u16string cp1252_to_utf16(std::string_view bytes);

}  // namespace inivault
