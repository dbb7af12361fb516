#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace inivault {

// Reads an existing file whole; nothing when it cannot be opened or read completely.
std::optional<std::string> read_whole_file(const std::string& path);

// Creates or replaces the file with exactly `data`. The bytes go to a temporary
// file beside the target first, which then replaces it, so a failed write leaves
// the old file as it was. Only where no temporary file can be made there (a
// read-only folder) is the target written in place. True when every byte arrived.
bool replace_file(const std::string& path, std::string_view data);

}  // namespace inivault
