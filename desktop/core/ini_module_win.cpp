#include <windows.h>

#include <vector>

#include "win/ansi_win.h"
#include "core/ini_module.h"

namespace kn {

std::string read_ini_value(const std::string& section, const std::string& key, const std::string& def,
                           const std::string& file) {
  // A value that fills the buffer may have been cut: grow and read again, so a long
  // station list comes back whole (a cut one would be written back cut on saving).
  const std::string a_section = utf8_to_ansi(section), a_key = utf8_to_ansi(key), a_def = utf8_to_ansi(def),
                    a_file = utf8_to_ansi(file);
  constexpr DWORD kLimit = 16 * 1024 * 1024;
  for (DWORD size = 1024;; size *= 4) {
    std::vector<char> buffer(size, '\0');
    DWORD n = GetPrivateProfileStringA(a_section.c_str(), a_key.c_str(), a_def.c_str(), buffer.data(), size,
                                       a_file.c_str());
    if (n + 1 < size || size >= kLimit) return ansi_to_utf8(std::string(buffer.data(), n));
  }
}

bool write_ini_value(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) {
  return WritePrivateProfileStringA(utf8_to_ansi(section).c_str(), utf8_to_ansi(key).c_str(),
                                    utf8_to_ansi(value).c_str(), utf8_to_ansi(file).c_str()) != FALSE;
}

}  // namespace kn
