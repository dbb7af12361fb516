#include "app/tray.h"

#include "app/messages.h"
#include "core/settings.h"
#include "win/ansi_win.h"

namespace kn {

namespace {
constexpr UINT kTrayIconId = 1;
constexpr UINT kFirstMenuId = 101;  // 0 is TrackPopupMenu's "nothing chosen"
}  // namespace

Tray::Tray(std::function<void(UINT event)> on_event) : on_event_(std::move(on_event)) {}

Tray::~Tray() { remove(); }

bool Tray::CallbackWindow::create(HWND parent, HINSTANCE instance) {
  const std::wstring cls = utf8_to_wide(kTrayWindowClass);
  return create_window(WindowClass{cls.c_str()}, instance, 0, L"", WS_CHILD, 0, 0, 16, 16, parent) != nullptr;
}

LRESULT Tray::CallbackWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kTrayCallbackMessage) {
    if (tray_.on_event_) tray_.on_event_(LOWORD(lp));
    return 0;
  }
  return WindowBase::handle(msg, wp, lp);
}

bool Tray::create(HWND main, HINSTANCE instance, HICON program_icon, HICON busy_icon) {
  program_icon_ = program_icon;
  busy_icon_ = busy_icon;
  return window_.create(main, instance);
}

void Tray::add(bool busy) {
  icon_.emplace(window_.hwnd(), kTrayIconId, kTrayCallbackMessage, kProgramTitle);
  icon_->set_icon(busy ? busy_icon_ : program_icon_);
  icon_->set_tip(busy ? kBusyTip : kIdleTip);
  shell_.emplace(*icon_);
  presence_.emplace(*shell_);
  // At logon the notification area may not be there yet: the tick tries again.
  presence_->ensure();
}

void Tray::set_busy(bool busy) {
  if (!icon_) return;
  icon_->set_icon(busy ? busy_icon_ : program_icon_);
  icon_->set_tip(busy ? kBusyTip : kIdleTip);
  presence_->changed();
}

void Tray::show_tip(const std::string& tip) {
  if (!icon_) return;
  icon_->set_tip(tip);
  presence_->changed();
}

void Tray::tick() {
  if (presence_) presence_->tick();
}

void Tray::shell_restarted() {
  if (presence_) presence_->shell_restarted();
}

void Tray::balloon(const std::string& text) {
  if (presence_) presence_->balloon(text);
}

void Tray::remove() {
  presence_.reset();
  shell_.reset();
  icon_.reset();
}

std::optional<size_t> Tray::show_menu(HWND owner, std::span<const char* const> entries) {
  if (menu_open_) return std::nullopt;
  SetForegroundWindow(owner);
  unique_hmenu menu(CreatePopupMenu());
  UINT id = kFirstMenuId;
  for (const char* text : entries) AppendMenuW(menu.get(), MF_STRING, id++, utf8_to_wide(text).c_str());
  POINT pt{};
  GetCursorPos(&pt);
  menu_open_ = true;
  const UINT choice = static_cast<UINT>(
      TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, pt.x, pt.y, 0, owner, nullptr));
  menu_open_ = false;
  PostMessageW(owner, WM_NULL, 0, 0);  // lets the menu close properly
  if (choice < kFirstMenuId || choice - kFirstMenuId >= entries.size()) return std::nullopt;
  return choice - kFirstMenuId;
}

}  // namespace kn
