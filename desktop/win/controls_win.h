#pragma once
// The child controls of the dialogs: how they are made and how their captions are coloured.
#include <windows.h>

#include <cstdint>
#include <string>

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

}  // namespace kn
