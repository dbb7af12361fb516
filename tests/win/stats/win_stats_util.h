#pragma once
// Live GDI objects of this process (GetGuiResources is a stub under Wine).
#include <windows.h>

namespace kn::test {

inline bool under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

inline int gdi_objects() {
  if (!under_wine()) return static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  int n = 0;
  for (UINT_PTR i = 1; i <= 0xFFFF; ++i) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0) ++n;
  }
  return n;
}

inline void pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace kn::test
