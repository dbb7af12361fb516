#pragma once
// The screen in its own pixels, and what stands in front on it.
#include <cstdint>

namespace kn {

// Pixels in virtual-screen coordinates; right and bottom lie just outside.
struct PxRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool operator==(const PxRect&) const = default;
};

struct PxPoint {
  int32_t x = 0, y = 0;
  bool operator==(const PxPoint&) const = default;
};

struct ForegroundWindow {
  bool exists = false;
  PxRect rect;
  bool desktop_or_taskbar = false;  // the desktop and the shell's taskbar never count
  bool has_caption = false;
};

// What the shell says of the user's state (SHQueryUserNotificationState).
enum class UserState { kOther, kFullScreenDirect3D, kPresentation };

}  // namespace kn
