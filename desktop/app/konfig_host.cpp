#include "app/konfig_host.h"

#include "platform/autostart_win.h"
#include "win/ansi_win.h"

namespace kn {

void MainKonfigHost::set_autostart(bool on) { set_own_autostart(on); }

void MainKonfigHost::show_message(HWND owner, const std::string& message) {
  MessageBoxW(owner, utf8_to_wide(message).c_str(), utf8_to_wide(kProgramTitle).c_str(), MB_OK);
}

}  // namespace kn
