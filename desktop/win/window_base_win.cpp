#include "win/window_base_win.h"

namespace kn {

namespace {
// The object whose window is being created on this thread: some messages
// (WM_GETMINMAXINFO) arrive before WM_NCCREATE and its create parameters.
thread_local WindowBase* t_creating = nullptr;

void register_once(const WindowClass& cls, HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, cls.name, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = cls.cursor ? LoadCursorW(nullptr, cls.cursor) : nullptr;
  wc.hbrBackground = cls.background;
  wc.hIcon = cls.icon;
  wc.lpszClassName = cls.name;
  RegisterClassExW(&wc);
}
}  // namespace

WindowBase::~WindowBase() {
  // The derived part is gone: the last messages go to DefWindowProcW.
  if (hwnd_) {
    HWND w = hwnd_;
    unbind();
    DestroyWindow(w);
  }
}

void WindowBase::destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
}

HWND WindowBase::create_window(const WindowClass& cls, HINSTANCE instance, DWORD ex_style,
                               const wchar_t* title, DWORD style, int x, int y, int width, int height,
                               HWND parent, HMENU menu) {
  if (hwnd_) return hwnd_;
  register_once(cls, instance, proc);
  WindowBase* outer = t_creating;  // a window may create another while it is being made
  t_creating = this;
  HWND w =
      CreateWindowExW(ex_style, cls.name, title, style, x, y, width, height, parent, menu, instance, this);
  t_creating = outer;
  return w;
}

LRESULT WindowBase::handle(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd_, msg, wp, lp); }

void WindowBase::unbind() {
  if (hwnd_) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

LRESULT CALLBACK WindowBase::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self && t_creating && !t_creating->hwnd_) {
    self = t_creating;
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
  const LRESULT result = self->handle(msg, wp, lp);
  if (msg == WM_NCDESTROY) self->unbind();
  return result;
}

}  // namespace kn
