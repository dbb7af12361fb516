#pragma once
// Owners for Win32 handles: every handle the program makes is released on every path.
#include <windows.h>

#include <utility>

namespace kn {

// Traits give the invalid value and the release call of one handle kind.
template <class T, class Traits>
class unique_handle {
 public:
  unique_handle() = default;
  explicit unique_handle(T h) : h_(h) {}
  ~unique_handle() { reset(); }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  unique_handle(unique_handle&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
  unique_handle& operator=(unique_handle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Traits::invalid()));
    return *this;
  }
  void reset(T h = Traits::invalid()) {
    if (h_ != Traits::invalid()) Traits::close(h_);
    h_ = h;
  }
  T get() const { return h_; }
  T release() { return std::exchange(h_, Traits::invalid()); }
  explicit operator bool() const { return h_ != Traits::invalid(); }

 private:
  T h_ = Traits::invalid();
};

template <class T, auto Close>
struct NullTraits {
  static T invalid() { return nullptr; }
  static void close(T h) { Close(h); }
};
struct FileTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { FindClose(h); }
};

inline void delete_gdi(HGDIOBJ h) { DeleteObject(h); }
inline void close_key(HKEY h) { RegCloseKey(h); }
inline void free_module(HMODULE h) { FreeLibrary(h); }

using unique_hwnd = unique_handle<HWND, NullTraits<HWND, DestroyWindow>>;
using unique_hbitmap = unique_handle<HBITMAP, NullTraits<HBITMAP, delete_gdi>>;
using unique_hbrush = unique_handle<HBRUSH, NullTraits<HBRUSH, delete_gdi>>;
using unique_hfont = unique_handle<HFONT, NullTraits<HFONT, delete_gdi>>;
using unique_hdc = unique_handle<HDC, NullTraits<HDC, DeleteDC>>;
using unique_hicon = unique_handle<HICON, NullTraits<HICON, DestroyIcon>>;
using unique_hmenu = unique_handle<HMENU, NullTraits<HMENU, DestroyMenu>>;
using unique_hkey = unique_handle<HKEY, NullTraits<HKEY, close_key>>;
using unique_hmodule = unique_handle<HMODULE, NullTraits<HMODULE, free_module>>;
using unique_kernel_handle = unique_handle<HANDLE, NullTraits<HANDLE, CloseHandle>>;
inline void unhook_win_event(HWINEVENTHOOK h) { UnhookWinEvent(h); }
using unique_win_event_hook = unique_handle<HWINEVENTHOOK, NullTraits<HWINEVENTHOOK, unhook_win_event>>;
using unique_file = unique_handle<HANDLE, FileTraits>;
using unique_find = unique_handle<HANDLE, FindTraits>;

// A window DC released with ReleaseDC.
class window_dc {
 public:
  explicit window_dc(HWND w) : w_(w), dc_(GetDC(w)) {}
  ~window_dc() {
    if (dc_) ReleaseDC(w_, dc_);
  }
  window_dc(const window_dc&) = delete;
  window_dc& operator=(const window_dc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND w_;
  HDC dc_;
};

// Selects an object into a DC for one scope.
class select_guard {
 public:
  select_guard(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~select_guard() {
    if (old_) SelectObject(dc_, old_);
  }
  select_guard(const select_guard&) = delete;
  select_guard& operator=(const select_guard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A bitmap selected into a memory DC for as long as the owner lives. The DC's
// previous object goes back before the bitmap is deleted: a selected bitmap cannot
// be. The DC must outlive the owner.
class selected_bitmap {
 public:
  selected_bitmap() = default;
  selected_bitmap(HDC dc, HBITMAP bitmap) : dc_(dc), bitmap_(bitmap) {
    if (dc_ && bitmap_) old_ = SelectObject(dc_, bitmap_.get());
  }
  ~selected_bitmap() { reset(); }
  selected_bitmap(selected_bitmap&& o) noexcept
      : dc_(std::exchange(o.dc_, nullptr)),
        bitmap_(std::move(o.bitmap_)),
        old_(std::exchange(o.old_, nullptr)) {}
  selected_bitmap& operator=(selected_bitmap&& o) noexcept {
    if (this != &o) {
      reset();
      dc_ = std::exchange(o.dc_, nullptr);
      bitmap_ = std::move(o.bitmap_);
      old_ = std::exchange(o.old_, nullptr);
    }
    return *this;
  }
  void reset() {
    if (dc_ && old_) SelectObject(dc_, old_);
    old_ = nullptr;
    bitmap_.reset();
    dc_ = nullptr;
  }
  HBITMAP get() const { return bitmap_.get(); }
  explicit operator bool() const { return static_cast<bool>(bitmap_); }

 private:
  HDC dc_ = nullptr;
  unique_hbitmap bitmap_;
  HGDIOBJ old_ = nullptr;
};

// BeginPaint and EndPaint around one WM_PAINT.
class paint_scope {
 public:
  explicit paint_scope(HWND w) : w_(w), dc_(BeginPaint(w, &ps_)) {}
  ~paint_scope() { EndPaint(w_, &ps_); }
  paint_scope(const paint_scope&) = delete;
  paint_scope& operator=(const paint_scope&) = delete;
  HDC dc() const { return dc_; }
  const RECT& dirty() const { return ps_.rcPaint; }

 private:
  HWND w_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

}  // namespace kn
