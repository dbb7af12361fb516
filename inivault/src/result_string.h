#pragma once

#include <string_view>

#include "inivault.h"

namespace inivault {

// A newly allocated caller-owned string from ANSI bytes; null if it cannot be had.
inivault_string make_result_string(std::string_view bytes);

}  // namespace inivault
