#include "units/twips.h"

#include <cmath>

#include "units/rounding.h"

namespace kn {

double twips_per_px(int dpi) { return dpi > 0 ? 1440.0 / dpi : 15.0; }

int32_t twips_to_px(double twips, double twips_per_px) {
  if (!(twips_per_px > 0)) return 0;
  return round_clamp_int32(twips / twips_per_px);
}

int32_t design_twips_to_px(double twips, double twips_per_px) {
  if (!(twips_per_px > 0)) return 0;
  const double px = twips / twips_per_px;
  // A hair over the quotient of exact ratios (1440 / 7.5) is still that quotient.
  return round_clamp_int32(std::trunc(px + (px < 0 ? -1e-9 : 1e-9)));
}

int32_t px_to_twips(double px, double twips_per_px) {
  if (!(twips_per_px > 0)) return 0;
  return round_clamp_int32(px * twips_per_px);
}

}  // namespace kn
