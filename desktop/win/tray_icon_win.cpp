#include "win/tray_icon_win.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "win/ansi_win.h"

namespace kn {

// The first version of the record: every shell takes it. Its size follows the pointers.
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88));

TrayIcon::TrayIcon(HWND window, UINT id, UINT callback_message, const std::string& balloon_title)
    : balloon_title_(utf8_to_wide(balloon_title)) {
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

// Balloons came with the second version of the record.
static_assert(NOTIFYICONDATAW_V2_SIZE == (sizeof(void*) == 8 ? 952 : 936));

bool TrayIcon::balloon(const std::string& text) {
  NOTIFYICONDATAW record{};
  record.cbSize = NOTIFYICONDATAW_V2_SIZE;
  record.hWnd = record_.hWnd;
  record.uID = record_.uID;
  record.uFlags = NIF_INFO;
  record.dwInfoFlags = NIIF_INFO;
  const std::wstring info = utf8_to_wide(text);
  std::wmemcpy(record.szInfoTitle, balloon_title_.data(),
               std::min<size_t>(balloon_title_.size(), std::size(record.szInfoTitle) - 1));
  std::wmemcpy(record.szInfo, info.data(), std::min<size_t>(info.size(), std::size(record.szInfo) - 1));
  return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

void TrayIcon::remove() {
  if (shown_) Shell_NotifyIconA(NIM_DELETE, &record_);
  shown_ = false;
}

}  // namespace kn
