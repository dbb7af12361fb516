#include "platform/settings_store_win.h"

#include <windows.h>

#include <vector>

#include "filesafe/filesafe.h"
#include "win/ansi_win.h"

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

Settings read_settings_file(const std::string& file) {
  return read_settings([&](const std::string& key, const std::string& def) {
    return read_ini_value(kSettingsSection, key, def, file);
  });
}

bool write_ini_keys_whole(const std::vector<std::pair<std::string, std::string>>& keys,
                          const std::string& file, const IniKeyWriter& write) {
  return filesafe::edit_file_whole(utf8_to_wide(file), [&](const std::wstring& copy) {
    const std::string copy_utf8 = wide_to_utf8(copy);
    bool written = true;
    for (const auto& [key, value] : keys) {
      if (!write(key, value, copy_utf8)) {
        written = false;
        break;
      }
    }
    // Profile writes may be cached: this one flushes the copy's.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, utf8_to_ansi(copy_utf8).c_str());
    return written;
  });
}

}  // namespace kn
