#include "core/timers.h"

namespace kn {

std::string countdown_tooltip(int32_t remaining) {
  return "n\xC3\xA4" "chste Aktualisierung in " + std::to_string(remaining) + " Sekunden";
}

RefreshTimers::Tick RefreshTimers::countdown_tick(int16_t update_interval) {
  ++tick_count_;
  // The period is a 16-bit product; the settings cap the interval so it fits.
  const int32_t period = static_cast<int16_t>(update_interval * 60);
  Tick t;
  t.tooltip = countdown_tooltip(period - tick_count_);
  if (tick_count_ >= period) {
    tick_count_ = 0;
    t.poll = true;
  }
  return t;
}

bool RefreshTimers::changes_tick(int16_t changes_visible_in_seconds) {
  if (!changes_enabled_) return false;
  ++change_seconds_;
  if (change_seconds_ >= changes_visible_in_seconds) {
    changes_enabled_ = false;
    return true;
  }
  return false;
}

void RefreshTimers::start_change_display() {
  change_seconds_ = 0;
  changes_enabled_ = true;
}

}  // namespace kn
