#include <windows.h>

#include "app/frm_main.h"
#include "app/instance_guard_win.h"
#include "win/files_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const kn::InstanceGuard guard(kn::program_folder());
  if (guard.another_runs()) {
    guard.tell_running_copy();
    return 0;
  }
  kn::FrmMain frm_main;
  if (!frm_main.startup(instance)) return 1;
  return frm_main.message_loop();
}
