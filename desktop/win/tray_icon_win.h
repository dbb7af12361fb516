#pragma once
// The notification-area icon: knows whether the shell has it and takes it away
// when it goes.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>


namespace kn {

class TrayIcon {
 public:
  // The icon `id` of `window`, whose callback arrives as `callback_message`;
  // its balloons carry the title.
  TrayIcon(HWND window, UINT id, UINT callback_message, const std::string& balloon_title);
  ~TrayIcon() { remove(); }
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  void set_icon(HICON icon) { record_.hIcon = icon; }
  // UTF-8; the shell shows at most 63 ANSI characters.
  void set_tip(const std::string& utf8);
  // ANSI, as the shell gets it.
  std::string tip() const { return record_.szTip; }

  bool add();
  // Shows the current icon and tip.
  bool modify();
  // NIM_MODIFY with a record of its own: the icon's record stays the first version.
  bool balloon(const std::string& text);
  // Takes the icon away if the shell ever took it.
  void remove();

 private:
  NOTIFYICONDATAA record_{};
  std::wstring balloon_title_;
  bool shown_ = false;
};

}  // namespace kn
