#include "win/files_win.h"

#include <windows.h>

#include <vector>

#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

std::string program_folder() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      std::wstring path(buf.data(), n);
      size_t slash = path.find_last_of(L"\\/");
      return wide_to_utf8(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
    }
    buf.resize(buf.size() * 2);
  }
}

bool file_exists(const std::string& path_utf8) {
  WIN32_FIND_DATAA data;
  unique_find find(FindFirstFileA(utf8_to_ansi(path_utf8).c_str(), &data));
  return static_cast<bool>(find);
}

void delete_file_quietly(const std::string& path_utf8) { DeleteFileW(utf8_to_wide(path_utf8).c_str()); }

}  // namespace kn
