#include "win/ansi_win.h"

#include <windows.h>

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

}  // namespace kn
