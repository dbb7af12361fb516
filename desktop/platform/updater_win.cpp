#include "platform/updater_win.h"

#include <windows.h>

#include "win/ansi_win.h"
#include "win/files_win.h"
#include "win/win_handle.h"

namespace kn {

void start_updater(const std::string& program_folder) {
  const std::string updater = program_folder + "\\AutoUpdate.exe";
  if (!file_exists(updater)) return;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + utf8_to_wide(updater) + L"\"";
  if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     utf8_to_wide(program_folder).c_str(), &si, &pi)) {
    // Not waited for; its outcome is not ours.
    unique_kernel_handle thread(pi.hThread);
    unique_kernel_handle process(pi.hProcess);
  }
}

}  // namespace kn
