#include "core/tray_presence.h"

namespace kn {

bool TrayPresence::ensure() {
  present_ = shell_.add() || shell_.modify();
  seconds_missing_ = 0;
  return present_;
}

void TrayPresence::shell_restarted() {
  present_ = false;
  ensure();
}

void TrayPresence::changed() {
  if (present_ && !shell_.modify()) {
    present_ = false;
    seconds_missing_ = 0;
  }
}

bool TrayPresence::balloon(const std::string& text) {
  if (!present_) return false;
  if (shell_.balloon(text)) return true;
  present_ = false;
  seconds_missing_ = 0;
  return false;
}

void TrayPresence::tick() {
  if (present_) return;
  if (++seconds_missing_ >= kRetrySeconds) ensure();
}

}  // namespace kn
