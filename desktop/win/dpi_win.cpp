#include "win/dpi_win.h"

#include <string>

#include "win/win_handle.h"

namespace kn {

namespace {

// DPI_AWARENESS_CONTEXT values; the headers declare them only for Windows 10 targets.
HANDLE context(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
const HANDLE kSystemAware = context(-2);
const HANDLE kPerMonitor = context(-3);
const HANDLE kPerMonitorV2 = context(-4);

template <class Fn>
Fn function_of(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE);
using GetWindowContextFn = HANDLE(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

HMODULE user32() { return GetModuleHandleW(L"user32.dll"); }

SetThreadContextFn set_thread_context() {
  static const auto fn = function_of<SetThreadContextFn>(user32(), "SetThreadDpiAwarenessContext");
  return fn;
}

// shcore.dll is there from Windows 8.1 on; taken from the system folder only, so no
// file of that name beside the program is ever loaded in its place.
HMODULE shcore() {
  static const unique_hmodule module = [] {
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return unique_hmodule();
    return unique_hmodule(LoadLibraryW((std::wstring(dir, n) + L"\\shcore.dll").c_str()));
  }();
  return module.get();
}

}  // namespace

DpiScope DpiScope::system_aware() { return DpiScope(kSystemAware); }

DpiScope DpiScope::per_monitor() { return DpiScope(kPerMonitorV2, kPerMonitor); }

DpiScope DpiScope::of_window(HWND window) {
  static const auto window_context =
      function_of<GetWindowContextFn>(user32(), "GetWindowDpiAwarenessContext");
  return DpiScope(window_context && window ? window_context(window) : nullptr);
}

DpiScope::DpiScope(HANDLE context, HANDLE otherwise) {
  const SetThreadContextFn set = set_thread_context();
  if (!set) return;
  // Null when the system knows no such context; the thread then keeps its own.
  if (context) previous_ = set(context);
  if (!previous_ && otherwise) previous_ = set(otherwise);
}

DpiScope::~DpiScope() {
  if (previous_) set_thread_context()(previous_);
}

bool has_thread_dpi_awareness() { return set_thread_context() != nullptr; }

int32_t system_dpi() {
  static const auto for_system = function_of<GetDpiForSystemFn>(user32(), "GetDpiForSystem");
  if (for_system) return static_cast<int32_t>(for_system());
  window_dc screen(nullptr);
  const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : 96;
}

int32_t monitor_dpi(HMONITOR monitor, int32_t fallback) {
  static const auto for_monitor = function_of<GetDpiForMonitorFn>(shcore(), "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (!for_monitor || for_monitor(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y) != S_OK || x == 0)
    return fallback;
  return static_cast<int32_t>(x);
}

}  // namespace kn
