#include "win/modal_window_win.h"

#include <algorithm>

#include "base/twips.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {
double screen_twips_per_px(int index) {
  window_dc screen(nullptr);
  return twips_per_px(screen.get() ? GetDeviceCaps(screen.get(), index) : 0);
}
}  // namespace

void run_modal(HWND window, const bool& done) {
  MSG msg;
  while (!done && IsWindow(window)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (got < 0) return;
    const bool ours = msg.hwnd == window || IsChild(window, msg.hwnd);
    if (ours && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      SendMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
      continue;
    }
    if (ours && IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

double twips_per_px_x() { return screen_twips_per_px(LOGPIXELSX); }
double twips_per_px_y() { return screen_twips_per_px(LOGPIXELSY); }
int px_x(double twips) { return design_twips_to_px(twips, twips_per_px_x()); }
int px_y(double twips) { return design_twips_to_px(twips, twips_per_px_y()); }

RECT centred_window_rect(double inner_width, double inner_height, DWORD style, DWORD ex_style) {
  RECT r{0, 0, px_x(inner_width), px_y(inner_height)};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  const LONG w = r.right - r.left, h = r.bottom - r.top;
  const LONG x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  return RECT{x, y, x + w, y + h};
}

void keep_on_a_monitor(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r) || MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) return;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info)) return;
  const RECT& area = info.rcWork;
  // The far edge first, then the near one, so a window too large keeps its start visible.
  const LONG left = std::max(area.left, std::min(r.left, area.right - (r.right - r.left)));
  const LONG top = std::max(area.top, std::min(r.top, area.bottom - (r.bottom - r.top)));
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND create_control(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id,
                    int32_t left, int32_t top, int32_t width, int32_t height, DWORD ex_style) {
  HWND h =
      CreateWindowExW(ex_style, cls, utf8_to_wide(text).c_str(), WS_CHILD | style, px_x(left), px_y(top),
                      px_x(width), px_y(height), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return h;
}

void use_classic_look(HWND control) {
  // uxtheme is already loaded wherever visual styles are in use; elsewhere there
  // is nothing to switch off.
  HMODULE uxtheme = GetModuleHandleW(L"uxtheme.dll");
  if (!uxtheme) return;
  using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  auto set_theme =
      reinterpret_cast<SetWindowThemeFn>(reinterpret_cast<void*>(GetProcAddress(uxtheme, "SetWindowTheme")));
  if (set_theme) set_theme(control, L"", L"");
}

}  // namespace kn
