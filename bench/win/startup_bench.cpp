// Time from process start to the first overlay shown, beside the same for a bare
// Win32 program that only shows a window, under the same system.
// Usage: startup_bench PROGRAM_EXE ROUNDS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "now_ms.h"

namespace {

constexpr char kBareClass[] = "KnStartupBenchBare";

int run_bare() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kBareClass;
  RegisterClassA(&wc);
  HWND w =
      CreateWindowExA(0, kBareClass, "bare", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(w, SW_SHOWNOACTIVATE);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

// Milliseconds until a visible window of this class belongs to the started process.
double start_and_wait(const std::string& command, const std::string& folder, const char* cls) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = command;
  const double start = now_ms();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return -1;
  double ms = -1;
  while (now_ms() - start < 60000) {
    HWND w = nullptr;
    bool found = false;
    while ((w = FindWindowExA(nullptr, w, cls, nullptr)) != nullptr) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == pi.dwProcessId && IsWindowVisible(w)) found = true;
    }
    if (found) {
      ms = now_ms() - start;
      break;
    }
    Sleep(1);
  }
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ms;
}

std::string quoted(const std::string& s, const char* rest = "") {
  std::string q(1, '"');
  q += s;
  q += '"';
  q += rest;
  return q;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--bare") return run_bare();
  if (argc != 3) {
    std::fprintf(stderr, "usage: startup_bench PROGRAM_EXE ROUNDS\n");
    return 2;
  }
  const std::string program = argv[1];
  const std::string folder = program.substr(0, program.find_last_of("\\/"));
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::vector<double> tool, bare;
  for (int i = 0; i < std::atoi(argv[2]); ++i) {
    tool.push_back(start_and_wait(quoted(program), folder, "Klangnetz_frmText"));
    bare.push_back(start_and_wait(quoted(self, " --bare"), {}, kBareClass));
  }
  const double t = median(tool), b = median(bare);
  std::printf("STARTUP rounds=%d overlay_ms=%.0f bare_window_ms=%.0f ratio=%.2f\n",
              static_cast<int>(tool.size()), t, b, b > 0 ? t / b : 0.0);
  return t > 0 && b > 0 ? 0 : 1;
}
