#pragma once
// Pieces shared by the dialogs: the modal message loop, the screen's twips, and the
// placement and look of the controls.
#include <windows.h>

#include <cstdint>
#include <string>

namespace kn {

// Dispatches the thread's messages until `done` is true or the window is gone.
// Escape pressed anywhere in the window is sent to the window itself as WM_KEYDOWN;
// Tab moves between its controls. A WM_QUIT is put back for the outer loop.
void run_modal(HWND window, const bool& done);

// The screen's twips per pixel (15 at 96 dots per inch).
double twips_per_px_x();
double twips_per_px_y();

// A window's design twips to screen pixels.
int px_x(double twips);
int px_y(double twips);

// The outer rectangle of a window whose client area is this many design twips,
// centred on the primary screen.
RECT centred_window_rect(double inner_width, double inner_height, DWORD style, DWORD ex_style);

// Moves a window that no monitor shows onto the work area of the nearest one, whole
// where it fits; one that any monitor shows part of stays where it is.
void keep_on_a_monitor(HWND window);

// A child control placed in twips; the text is UTF-8.
HWND create_control(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, int id,
                    int32_t left, int32_t top, int32_t width, int32_t height, DWORD ex_style = 0);

// Lets WM_CTLCOLORSTATIC colour a check box's text even with visual styles on.
void use_classic_look(HWND control);

}  // namespace kn
