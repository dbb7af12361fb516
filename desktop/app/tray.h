#pragma once
// The tray icon and its menu: the small window the icon reports to, the idle and
// busy looks, the countdown tooltip, balloons, and the menu's commands.
#include <windows.h>

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/tray_presence.h"
#include "win/tray_icon_win.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

inline constexpr const char* kIdleTip = "Klangnetz H\xC3\xB6reranzeige";
inline constexpr const char* kBusyTip = "Daten werden geladen";

class Tray {
 public:
  // on_event: the icon's mouse events (WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...).
  explicit Tray(std::function<void(UINT event)> on_event);
  ~Tray();
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;

  // The callback window, a child of the main window, and the two icons.
  bool create(HWND main, HINSTANCE instance, HICON program_icon, HICON busy_icon);
  // Puts the icon into the notification area, busy or idle.
  void add(bool busy);
  void set_busy(bool busy);
  // The countdown between polls.
  void show_tip(const std::string& tip);
  // Each second: the icon is added again while the shell lacks it.
  void tick();
  void shell_restarted();
  void balloon(const std::string& text);
  // The icon leaves the notification area.
  void remove();

  // Shows a menu of these entries (UTF-8) at the pointer and returns the place of the
  // one chosen; nothing when none was, or while a menu is already open.
  std::optional<size_t> show_menu(HWND owner, std::span<const char* const> entries);

  // The tooltip as the shell has it (ANSI); empty without an icon.
  std::string tip() const { return icon_ ? icon_->tip() : std::string(); }
  HWND window() const { return window_.hwnd(); }

 private:
  class CallbackWindow : public WindowBase {
   public:
    explicit CallbackWindow(Tray& tray) : tray_(tray) {}
    ~CallbackWindow() override { destroy(); }
    bool create(HWND parent, HINSTANCE instance);

   private:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
    Tray& tray_;
  };

  // The icon as the presence rule sees the shell.
  class Shell : public TrayShell {
   public:
    explicit Shell(TrayIcon& icon) : icon_(icon) {}
    bool add() override { return icon_.add(); }
    bool modify() override { return icon_.modify(); }
    bool balloon(const std::string& text) override { return icon_.balloon(text); }

   private:
    TrayIcon& icon_;
  };

  std::function<void(UINT)> on_event_;
  CallbackWindow window_{*this};
  HICON program_icon_ = nullptr;
  HICON busy_icon_ = nullptr;
  std::optional<TrayIcon> icon_;
  std::optional<Shell> shell_;
  std::optional<TrayPresence> presence_;
  bool menu_open_ = false;
};

}  // namespace kn
