#pragma once
// The settings store: the settings file through the private-profile functions (an
// ANSI file, UTF-8 here).
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/settings.h"

namespace kn {

std::string read_ini_value(const std::string& section, const std::string& key, const std::string& def,
                           const std::string& file);
bool write_ini_value(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file);

// Every setting as the file gives it, each missing key at its default.
Settings read_settings_file(const std::string& file);

// Writes one key into the named file.
using IniKeyWriter =
    std::function<bool(const std::string& key, const std::string& value, const std::string& file)>;

// Writes the keys so that the file changes whole or not at all. A file that cannot be
// written (read-only, not the caller's to write, or held open by another program) is
// refused before anything happens; otherwise the keys go into a copy of its own beside
// it, which keeps every key not written here and the file's owner, access list and
// attributes, and the copy, on the disk, then replaces the file in one move. Through a
// link, the file the link names is replaced and the link stays. Where a move would lose
// something (other names of the file, an owner or access list the copy cannot be
// given), the finished copy's text is written over the file instead. Tests make its
// steps fail through the file-safety library's fault hook.
bool write_ini_keys_whole(const std::vector<std::pair<std::string, std::string>>& keys,
                          const std::string& file, const IniKeyWriter& write);

}  // namespace kn
