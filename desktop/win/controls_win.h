#pragma once
// The child controls of the dialogs: how they are made, how their captions are coloured,
// and their tooltips.
#include <windows.h>

#include <cstdint>
#include <string>

#include "win/win_handle.h"

namespace kn {

// A child control placed in design twips, in the default GUI font unless `font` is
// given; the text is UTF-8.
HWND create_control(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id,
                    int32_t left, int32_t top, int32_t width, int32_t height, HFONT font = nullptr);

// The answer to WM_CTLCOLORSTATIC (`dc` is its wParam) for a caption in `text` on a
// dialog painted with `brush` in `background`: black when no brush is given.
LRESULT caption_colour(WPARAM dc, COLORREF text, HBRUSH brush = nullptr, COLORREF background = RGB(0, 0, 0));

// Lets WM_CTLCOLORSTATIC colour a check box's text even with visual styles on.
void use_classic_look(HWND control);

// A tooltip over child windows of its owner, shown even while the owner is inactive.
// The owner destroys it along with itself; reset() destroys it before.
class Tooltip {
 public:
  Tooltip() = default;
  ~Tooltip() { reset(); }
  Tooltip(const Tooltip&) = delete;
  Tooltip& operator=(const Tooltip&) = delete;

  // `style` adds to TTS_ALWAYSTIP, for example TTS_NOPREFIX.
  bool create(HWND owner, DWORD style = 0);
  void reset();
  explicit operator bool() const { return static_cast<bool>(window_); }

  // The tooltip copies the texts.
  void add_tool(HWND tool, const std::wstring& text);
  void set_text(HWND tool, const std::wstring& text);
  void set_max_width(int px);
  // An inactive tooltip shows nothing.
  void activate(bool on);

 private:
  unique_hwnd window_;
  HWND owner_ = nullptr;
};

}  // namespace kn
