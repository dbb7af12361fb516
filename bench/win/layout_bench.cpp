// One full layout of the overlay (measure, glyph paths, render, push to the layered
// window) with ten stations, as each poll does it. Prints milliseconds per layout.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/program.h"
#include "now_ms.h"

namespace {

std::string ten_stations(int round) {
  static const char* names[] = {"NACHTRADIO",  "SCHOENE LIEDER",   "ROCKWELLE",     "FRUEHSCHICHT",
                                "JAZZKELLER",  "KLASSIK AM ABEND", "HOERSPIELZEIT", "SCHLAGERECKE",
                                "TECHNO TAGE", "ORGELKLANG"};
  std::string text;
  for (int i = 0; i < 10; ++i) {
    text += i == 0 ? "" : "\r\n";
    text += names[i];
    text += i == 0 ? " : " : ": ";
    text += std::to_string(1000 + (round * 7 + i * 13) % 9000);
  }
  return text;
}

}  // namespace

int main() {
  kn::Program frm;
  if (!frm.startup(GetModuleHandleA(nullptr))) {
    std::fprintf(stderr, "layout_bench: startup failed\n");
    return 1;
  }
  std::string text;
  for (int i = 0; i < 20; ++i) {
    text = ten_stations(i);
    frm.set_Print_Text(text);
  }
  constexpr int kRounds = 500;
  std::vector<double> times;
  times.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    text = ten_stations(i);
    const double start = now_ms();
    frm.set_Print_Text(text);
    times.push_back(now_ms() - start);
  }
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double t : times) sum += t;
  std::printf("LAYOUT stations=10 layouts=%d mean_ms=%.2f median_ms=%.2f p90_ms=%.2f\n", kRounds,
              sum / kRounds, times[kRounds / 2], times[kRounds * 9 / 10]);
  return 0;
}
