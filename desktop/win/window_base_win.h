#pragma once
// The one way a window of this program is tied to its object: the class is
// registered once, the object is bound from the window's first message to
// WM_NCDESTROY, and every message in between goes to its handle().
#include <windows.h>

namespace kn {

struct WindowClass {
  const wchar_t* name;
  HBRUSH background = nullptr;
  LPCWSTR cursor = MAKEINTRESOURCEW(32512);  // IDC_ARROW
  HICON icon = nullptr;
};

class WindowBase {
 public:
  WindowBase() = default;
  virtual ~WindowBase();
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  HWND hwnd() const { return hwnd_; }
  bool is_open() const { return hwnd_ != nullptr; }
  // The one way a window goes: WM_DESTROY and WM_NCDESTROY reach handle() as usual.
  void destroy();

 protected:
  // Creates the window bound to this object; nullptr on failure.
  HWND create_window(const WindowClass& cls, HINSTANCE instance, DWORD ex_style, const wchar_t* title,
                     DWORD style, int x, int y, int width, int height, HWND parent, HMENU menu = nullptr);
  // Everything not handled goes to DefWindowProcW.
  virtual LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
  void unbind();

  HWND hwnd_ = nullptr;
};

}  // namespace kn
