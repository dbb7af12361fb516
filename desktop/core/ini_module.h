#pragma once
// The settings file through the private-profile functions (ANSI file, UTF-8 here).
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kn {

std::string read_ini_value(const std::string& section, const std::string& key, const std::string& def,
                           const std::string& file);
bool write_ini_value(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file);

// Writes one key into the named file.
using IniKeyWriter =
    std::function<bool(const std::string& key, const std::string& value, const std::string& file)>;

// Writes the keys so that the file changes whole or not at all. A file that cannot be
// written (read-only, or held open by another program) is refused before anything
// happens; otherwise the keys go into a copy beside it, which keeps every key not
// written here, and the copy then replaces the file in one move.
bool write_ini_keys_whole(const std::vector<std::pair<std::string, std::string>>& keys,
                          const std::string& file, const IniKeyWriter& write);

}  // namespace kn
