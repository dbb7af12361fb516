#include "win/screen_twips_win.h"

#include <windows.h>

#include "units/twips.h"
#include "win/win_handle.h"

namespace kn {

namespace {
double screen_twips_per_px(int index) {
  window_dc screen(nullptr);
  return twips_per_px(screen.get() ? GetDeviceCaps(screen.get(), index) : 0);
}
}  // namespace

double twips_per_px_x() { return screen_twips_per_px(LOGPIXELSX); }
double twips_per_px_y() { return screen_twips_per_px(LOGPIXELSY); }
int px_x(double twips) { return design_twips_to_px(twips, twips_per_px_x()); }
int px_y(double twips) { return design_twips_to_px(twips, twips_per_px_y()); }

}  // namespace kn
