#pragma once
// The two one-second timers as a state machine; the shell feeds it ticks.
#include <cstdint>
#include <string>

namespace kn {

class RefreshTimers {
 public:
  struct Tick {
    std::string tooltip;  // countdown text for the tray
    bool poll = false;    // run check_stations now
  };

  // The one-second countdown timer (Timer1): its tooltip text and whether the timed
  // poll is due.
  Tick countdown_tick(int16_t update_interval);

  // Timer_changes_only: true when the change display has to be blanked now (the
  // timer then turns itself off).
  bool changes_tick(int16_t changes_visible_in_seconds);

  // A change display began (or a double-click in change mode).
  void start_change_display();

  bool changes_timer_enabled() const { return changes_enabled_; }
  int32_t tick_count() const { return tick_count_; }
  int32_t change_seconds() const { return change_seconds_; }

 private:
  int32_t tick_count_ = 0;
  int32_t change_seconds_ = 0;
  bool changes_enabled_ = false;
};

std::string countdown_tooltip(int32_t remaining);

}  // namespace kn
