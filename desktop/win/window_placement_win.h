#pragma once
// Where a top-level window stands on the screen.
#include <windows.h>

namespace kn {

// The outer size in pixels of a window whose client area is this many design twips.
SIZE window_size_for_client(double inner_width, double inner_height, DWORD style, DWORD ex_style);

// The rectangle of a window of this outer size, centred on the primary screen.
RECT centred_on_screen(SIZE outer);

// Moves a window that no monitor shows onto the work area of the nearest one, whole
// where it fits; one that any monitor shows part of stays where it is.
void keep_on_a_monitor(HWND window);

}  // namespace kn
