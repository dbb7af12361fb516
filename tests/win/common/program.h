#pragma once
// The real program as a test sees it from outside: started from a program folder of
// its own, driven through its tray callback and menu, read through its windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/win_test_util.h"

namespace kn::test {

inline constexpr UINT kTrayCallback = 512;

// The windows of one running copy of the program, found by class.
class ProgramWindows {
 public:
  explicit ProgramWindows(DWORD pid = 0) : pid_(pid) {}

  // The copy whose main window exists on this desktop (for tools beside a demo).
  static ProgramWindows already_running();

  DWORD pid() const { return pid_; }
  // A window of this process by class, top-level or child; nullptr when none.
  HWND window(const char* cls) const;
  HWND tray() const { return window("Klangnetz_Picture1"); }

  // Posts a tray callback event (e.g. WM_LBUTTONDBLCLK), as the shell does. A poll
  // hands out the program's waiting messages while it runs, so that an event was
  // handled says nothing about an earlier poll having ended: the simulator's log does.
  void post_tray(UINT event) const { PostMessageA(tray(), kTrayCallback, 0, event); }

  // Right button on the tray icon, then the menu entry at this position (0 = first).
  ::testing::AssertionResult choose_menu_entry(int position) const;
  // The same for an entry that opens a window of class `cls`: that window, once shown.
  HWND open_from_menu(int position, const char* cls) const;

 protected:
  DWORD pid_;

 private:
  ::testing::AssertionResult open_menu(HWND& menu) const;
};

// One copy of the program in a fresh folder under the temp directory, with a
// settings file that points it at the simulator; or the copy already in
// `installed_in`, given such a settings file.
class Program : public ProgramWindows {
 public:
  Program(const std::string& tag, const std::string& ini, const std::string& base_url = sim_base_url(),
          const std::string& installed_in = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Copies a file from the Linux side into the program folder, e.g. an updater.
  bool install(const std::string& unix_path, const std::string& name) const;

  // Starts it and waits for its tray window.
  ::testing::AssertionResult start();
  // Starts it and waits for nothing.
  ::testing::AssertionResult launch();
  // Ends it; when the test has failed, the screen is saved first (see screen.h).
  void stop();
  bool running() const;
  bool ended_within(DWORD ms, DWORD* exit_code) const;

  std::string folder;

 private:
  PROCESS_INFORMATION pi_{};
};

}  // namespace kn::test
