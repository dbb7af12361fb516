#include <windows.h>

#include "app/program.h"
#include "app/instance_guard_win.h"
#include "win/ansi_win.h"
#include "win/files_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const kn::InstanceGuard guard(kn::program_folder());
  if (guard.another_runs()) {
    // The first copy says so in a balloon; one that cannot be reached, this one says it.
    if (!guard.tell_running_copy()) {
      MessageBoxW(nullptr, kn::utf8_to_wide(kn::kAlreadyRunningText).c_str(),
                  kn::utf8_to_wide(kn::kProgramTitle).c_str(), MB_OK | MB_ICONINFORMATION);
    }
    return 0;
  }
  kn::Program program;
  if (!program.startup(instance)) return 1;
  return program.message_loop();
}
