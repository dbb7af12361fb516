#include <windows.h>

#include <vector>

#include "core/ini_module.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

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

bool write_ini_keys_whole(const std::vector<std::pair<std::string, std::string>>& keys,
                          const std::string& file, const IniKeyWriter& write) {
  const std::wstring target = utf8_to_wide(file);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists) {
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    // Held open without sharing by another program: it could not be replaced either.
    unique_file probe(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) return false;
  }
  const std::string copy = file + ".neu";
  const std::wstring copy_w = utf8_to_wide(copy);
  DeleteFileW(copy_w.c_str());
  if (exists && !CopyFileW(target.c_str(), copy_w.c_str(), FALSE)) return false;
  bool ok = true;
  for (const auto& [key, value] : keys) {
    if (!write(key, value, copy)) {
      ok = false;
      break;
    }
  }
  // Profile writes may be cached: this one flushes the copy's.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, utf8_to_ansi(copy).c_str());
  ok = ok && MoveFileExW(copy_w.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(copy_w.c_str());
  return ok;
}

}  // namespace kn
