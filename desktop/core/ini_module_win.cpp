#include <windows.h>

#include <vector>

#include "core/ansi_win.h"
#include "core/ini_module.h"

namespace kn {

std::string read_ini_value(const std::string& section, const std::string& key, const std::string& def,
                           const std::string& file) {
  std::vector<char> buffer(1024, '\0');
  DWORD n = GetPrivateProfileStringA(utf8_to_ansi(section).c_str(), utf8_to_ansi(key).c_str(),
                                     utf8_to_ansi(def).c_str(), buffer.data(), 1024,
                                     utf8_to_ansi(file).c_str());
  return ansi_to_utf8(std::string(buffer.data(), n));
}

bool write_ini_value(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) {
  WritePrivateProfileStringA(utf8_to_ansi(section).c_str(), utf8_to_ansi(key).c_str(),
                             utf8_to_ansi(value).c_str(), utf8_to_ansi(file).c_str());
  return true;
}

}  // namespace kn
