#include "win/controls_win.h"

#include "win/ansi_win.h"
#include "win/screen_twips_win.h"

namespace kn {

HWND create_control(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id,
                    int32_t left, int32_t top, int32_t width, int32_t height, HFONT font) {
  HWND h =
      CreateWindowExW(0, cls, utf8_to_wide(text).c_str(), WS_CHILD | style, px_x(left), px_y(top),
                      px_x(width), px_y(height), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return h;
}

LRESULT caption_colour(WPARAM dc, COLORREF text, HBRUSH brush, COLORREF background) {
  HDC hdc = reinterpret_cast<HDC>(dc);
  SetTextColor(hdc, text);
  SetBkColor(hdc, background);
  return reinterpret_cast<LRESULT>(brush ? brush : GetStockObject(BLACK_BRUSH));
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
