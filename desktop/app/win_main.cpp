#include <windows.h>

#include "app/frm_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  kn::FrmMain frm_main;
  if (!frm_main.startup(instance)) return 1;
  return frm_main.message_loop();
}
