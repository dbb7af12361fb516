#include "win/tray_icon_win.h"

#include <algorithm>
#include <cstring>

#include "win/ansi_win.h"

namespace kn {

// The first version of the record: every shell takes it. Its size follows the pointers.
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88));

TrayIcon::TrayIcon(HWND window, UINT id, UINT callback_message) {
  record_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record_.hWnd = window;
  record_.uID = id;
  record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record_.uCallbackMessage = callback_message;
}

void TrayIcon::set_tip(const std::string& utf8) {
  const std::string ansi = utf8_to_ansi(utf8);
  std::memset(record_.szTip, 0, sizeof record_.szTip);
  std::memcpy(record_.szTip, ansi.data(), std::min<size_t>(ansi.size(), sizeof record_.szTip - 1));
}

bool TrayIcon::add() {
  const bool ok = Shell_NotifyIconA(NIM_ADD, &record_) != FALSE;
  shown_ = shown_ || ok;
  return ok;
}

bool TrayIcon::modify() {
  const bool ok = Shell_NotifyIconA(NIM_MODIFY, &record_) != FALSE;
  shown_ = shown_ || ok;
  return ok;
}

void TrayIcon::remove() {
  if (shown_) Shell_NotifyIconA(NIM_DELETE, &record_);
  shown_ = false;
}

}  // namespace kn
