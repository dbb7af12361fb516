// Stands in for the external updater: notes each start in its working folder.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HANDLE f = CreateFileA("autoupdate.log", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    DWORD n = 0;
    WriteFile(f, "started\r\n", 9, &n, nullptr);
    CloseHandle(f);
  }
  return 0;
}
