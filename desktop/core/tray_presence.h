#pragma once
// Keeps the tray icon there through a shell that does not exist yet (a logon start)
// or that restarts: the icon is added until the shell has it, and again whenever
// the shell has lost it.
#include <string>

namespace kn {

// The notification area as the program talks to it.
class TrayShell {
 public:
  virtual ~TrayShell() = default;
  virtual bool add() = 0;     // NIM_ADD
  virtual bool modify() = 0;  // NIM_MODIFY: the current icon and tip
  // A balloon from the icon, titled with the program's name; text in UTF-8.
  virtual bool balloon(const std::string& text) = 0;
};

class TrayPresence {
 public:
  static constexpr int kRetrySeconds = 5;

  explicit TrayPresence(TrayShell& shell) : shell_(shell) {}

  // Adds the icon now. A shell that still has it refuses a second add but takes a
  // modify: then it is there as well.
  bool ensure();
  // The shell (re)started and knows no icon of ours.
  void shell_restarted();
  // Icon or tip changed. A refused modify means the shell lost the icon.
  void changed();
  // Shows the text in a balloon from the icon; without an icon nothing is shown.
  bool balloon(const std::string& text);
  // The one-second tick: another try every few seconds while the icon is missing.
  void tick();

  bool present() const { return present_; }

 private:
  TrayShell& shell_;
  bool present_ = false;
  int seconds_missing_ = 0;
};

}  // namespace kn
