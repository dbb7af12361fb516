#pragma once
// Pieces shared by the two dialogs of this folder: the modal message loop, screen
// twips, and the look of the controls.
#include <windows.h>

#include <cstdint>
#include <string>

namespace kn {

// Dispatches the thread's messages until `done` is true or the window is gone.
// Escape pressed anywhere in the window is sent to the window itself as WM_KEYDOWN;
// Tab moves between its controls. A WM_QUIT is put back for the outer loop.
void run_modal(HWND window, const bool& done);

// The screen's twips per pixel (15 at 96 dots per inch).
int32_t twips_per_px_x();
int32_t twips_per_px_y();

// A child control placed in twips; the text is UTF-8.
HWND create_control(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id,
                    int32_t left, int32_t top, int32_t width, int32_t height, DWORD ex_style = 0);

// Lets WM_CTLCOLORSTATIC colour a check box's text even with visual styles on.
void use_classic_look(HWND control);

// Owns a window class registration for the life of the process.
void register_class_once(const wchar_t* name, WNDPROC proc, HINSTANCE instance, HBRUSH background);

}  // namespace kn
