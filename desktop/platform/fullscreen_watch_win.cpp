#include "platform/fullscreen_watch_win.h"

#include <windows.h>

#include <string>
#include <utility>

namespace kn {

namespace {

// A WinEvent hook carries no context of its own: the one watch's callback.
const std::function<void()>* g_on_change = nullptr;

void CALLBACK foreground_changed(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
  if (g_on_change && *g_on_change) (*g_on_change)();
}

std::wstring class_of(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

}  // namespace

ForegroundWindow foreground_window() {
  ForegroundWindow fw;
  HWND fg = GetForegroundWindow();
  if (!fg) return fw;
  RECT r{};
  fw.exists = GetWindowRect(fg, &r) != FALSE;
  fw.rect = PxRect{r.left, r.top, r.right, r.bottom};
  const std::wstring cls = class_of(fg);
  fw.desktop_or_taskbar = fg == GetDesktopWindow() || fg == GetShellWindow() || cls == L"Progman" ||
                          cls == L"WorkerW" || cls == L"Shell_TrayWnd";
  fw.has_caption = (GetWindowLongW(fg, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
  return fw;
}

UserState user_state() {
  // Vista and later; a stub under Wine.
  using QueryFn = HRESULT(WINAPI*)(int*);
  static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHQueryUserNotificationState")));
  int state = 0;
  if (!query || query(&state) != S_OK) return UserState::kOther;
  if (state == 3) return UserState::kFullScreenDirect3D;  // QUNS_RUNNING_D3D_FULL_SCREEN
  if (state == 4) return UserState::kPresentation;        // QUNS_PRESENTATION_MODE
  return UserState::kOther;
}

ForegroundWatch::ForegroundWatch(std::function<void()> on_change) : on_change_(std::move(on_change)) {
  g_on_change = &on_change_;
  hook_.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, foreground_changed,
                              0, 0, WINEVENT_OUTOFCONTEXT));
}

ForegroundWatch::~ForegroundWatch() {
  hook_.reset();
  if (g_on_change == &on_change_) g_on_change = nullptr;
}

}  // namespace kn
