#pragma once
// The screen's twips: dialogs are designed in twips and laid out in the screen's pixels.
namespace kn {

// The screen's twips per pixel (15 at 96 dots per inch).
double twips_per_px_x();
double twips_per_px_y();

// A window's design twips to screen pixels.
int px_x(double twips);
int px_y(double twips);

}  // namespace kn
