#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace inivault {

enum class Direction { kScramble, kUnscramble };

// Rewrites the file scrambled or unscrambled with the key, replacing it only once
// every byte is written. False for an empty key, an unreadable file or a failed write;
// `why` then tells which (unset for an empty key).
bool transform_file(const std::string& path, std::string_view key, Direction direction,
                    std::error_code* why = nullptr);

}  // namespace inivault
