#pragma once
// Twips, the unit of every stored size and position: 1440 make an inch, so a pixel
// is 1440 / dpi twips. One conversion for every window keeps them in agreement.
#include <cstdint>

namespace kn {

// 15 at 96 dots per inch; 15 as well when the screen reports no resolution.
double twips_per_px(int dpi);

// Twips to whole pixels, halves to even; the same rounding for every size and
// position keeps the edges of all windows consistent.
int32_t twips_to_px(double twips, double twips_per_px);

// A window's design (control sizes and places) to whole pixels, cut like its
// layout always was: at 96 and 120 dpi the controls stand on the same pixels.
int32_t design_twips_to_px(double twips, double twips_per_px);

// Pixels to whole twips, rounded the same way as twips_to_px.
int32_t px_to_twips(double px, double twips_per_px);

}  // namespace kn
