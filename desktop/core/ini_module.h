#pragma once
// The settings file through the private-profile functions (ANSI file, UTF-8 here).
#include <string>

namespace kn {

std::string read_ini_value(const std::string& section, const std::string& key, const std::string& def,
                           const std::string& file);
bool write_ini_value(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file);

}  // namespace kn
