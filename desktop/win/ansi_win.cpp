#include "win/ansi_win.h"

#include <windows.h>

#include <vector>

#include "win/win_handle.h"

namespace kn {

namespace {
std::wstring to_wide(std::string_view s, UINT cp) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}
std::string from_wide(std::wstring_view w, UINT cp) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}
}  // namespace

std::string utf8_to_ansi(std::string_view utf8) { return from_wide(to_wide(utf8, CP_UTF8), CP_ACP); }
std::string ansi_to_utf8(std::string_view ansi) { return from_wide(to_wide(ansi, CP_ACP), CP_UTF8); }
std::wstring utf8_to_wide(std::string_view utf8) { return to_wide(utf8, CP_UTF8); }
std::string wide_to_utf8(std::wstring_view wide) { return from_wide(wide, CP_UTF8); }

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

std::string current_date_text() {
  wchar_t buf[128] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128);
  return wide_to_utf8(buf);
}

std::string current_time_text() {
  wchar_t buf[128] = {};
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buf, 128);
  return wide_to_utf8(buf);
}

}  // namespace kn
