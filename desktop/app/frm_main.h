#pragma once
// The main window, never shown: it receives the timers, the answers' messages, the
// session's end and the shell's restart, and hands each to the program.
#include <windows.h>

#include "win/window_base_win.h"

namespace kn {

class Program;

class FrmMain : public WindowBase {
 public:
  explicit FrmMain(Program& program);
  ~FrmMain() override { destroy(); }

  bool create(HINSTANCE instance, HICON icon);

 private:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

  Program& program_;
  const UINT taskbar_created_;
  const UINT already_running_query_;
};

}  // namespace kn
