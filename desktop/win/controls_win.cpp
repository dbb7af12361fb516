#include "win/controls_win.h"

#include <commctrl.h>

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

namespace {
TOOLINFOW tool_info(HWND owner, HWND tool, const std::wstring& text) {
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  return info;
}
}  // namespace

bool Tooltip::create(HWND owner, DWORD style) {
  reset();
  owner_ = owner;
  window_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | style,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                                nullptr));
  return static_cast<bool>(window_);
}

void Tooltip::reset() {
  // Gone already when its owner went first.
  if (window_ && !IsWindow(window_.get())) window_.release();
  window_.reset();
}

void Tooltip::add_tool(HWND tool, const std::wstring& text) {
  if (!window_) return;
  TOOLINFOW info = tool_info(owner_, tool, text);
  SendMessageW(window_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void Tooltip::set_text(HWND tool, const std::wstring& text) {
  if (!window_) return;
  TOOLINFOW info = tool_info(owner_, tool, text);
  SendMessageW(window_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void Tooltip::set_max_width(int px) {
  if (window_) SendMessageW(window_.get(), TTM_SETMAXTIPWIDTH, 0, px);
}

void Tooltip::activate(bool on) {
  if (window_) SendMessageW(window_.get(), TTM_ACTIVATE, on ? TRUE : FALSE, 0);
}

}  // namespace kn
