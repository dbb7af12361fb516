#include "settings_dialog/modal_window.h"

#include "core/ansi_win.h"

namespace kn {

namespace {
int32_t twips_per_px(int index) {
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, index) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return 1440 / (dpi > 0 ? dpi : 96);
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

int32_t twips_per_px_x() { return twips_per_px(LOGPIXELSX); }
int32_t twips_per_px_y() { return twips_per_px(LOGPIXELSY); }

HWND create_control(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id,
                    int32_t left, int32_t top, int32_t width, int32_t height, DWORD ex_style) {
  const int32_t tx = twips_per_px_x();
  const int32_t ty = twips_per_px_y();
  HWND h = CreateWindowExW(ex_style, cls, utf8_to_wide(text).c_str(), WS_CHILD | style, left / tx, top / ty,
                           width / tx, height / ty, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
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

void register_class_once(const wchar_t* name, WNDPROC proc, HINSTANCE instance, HBRUSH background) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

}  // namespace kn
