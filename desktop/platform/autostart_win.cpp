#include "platform/autostart_win.h"

#include <windows.h>

#include <vector>

#include "core/autostart.h"
#include "win/ansi_win.h"
#include "win/files_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {
constexpr REGSAM kRunKeyAccess = 63;

unique_hkey open_run_key() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, kRunKeyAccess, &key) != ERROR_SUCCESS) return {};
  return unique_hkey(key);
}

std::string running_exe_path() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return wide_to_utf8(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}
}  // namespace

bool add_autostart(const std::string& value_name, const std::string& command) {
  unique_hkey key = open_run_key();
  if (!key) return false;
  const std::string data = utf8_to_ansi(command);
  return RegSetValueExA(key.get(), utf8_to_ansi(value_name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool remove_autostart(const std::string& value_name) {
  unique_hkey key = open_run_key();
  if (!key) return false;
  return RegDeleteValueA(key.get(), utf8_to_ansi(value_name).c_str()) == ERROR_SUCCESS;
}

void set_own_autostart(bool on) {
  const std::string name = autostart_value_name(running_exe_path());
  if (on) {
    add_autostart(name, autostart_command(program_folder()));
  } else {
    remove_autostart(name);
  }
}

}  // namespace kn
