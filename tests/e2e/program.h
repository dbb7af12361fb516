#pragma once
// The real program, started under Wine from a program folder of its own, and what a
// test can see of it from outside: its windows, its files, the simulator's log.
#include <windows.h>

#include <fstream>
#include <functional>
#include <string>

#include "common/win_test_util.h"

namespace e2e {



inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

inline bool wait_until(const std::function<bool()>& done, DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

struct FindWindow {
  DWORD pid;
  const char* cls;
  HWND found;
};

inline bool has_class(HWND h, const char* cls) {
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  return std::string(name) == cls;
}

inline BOOL CALLBACK find_child(HWND h, LPARAM lp) {
  auto* f = reinterpret_cast<FindWindow*>(lp);
  if (!has_class(h, f->cls)) return TRUE;
  f->found = h;
  return FALSE;
}

inline BOOL CALLBACK find_top(HWND h, LPARAM lp) {
  auto* f = reinterpret_cast<FindWindow*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != f->pid || !has_class(h, f->cls)) return TRUE;
  f->found = h;
  return FALSE;
}

inline BOOL CALLBACK find_in_children(HWND top, LPARAM lp) {
  auto* f = reinterpret_cast<FindWindow*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(top, &pid);
  if (pid == f->pid) EnumChildWindows(top, find_child, lp);
  return f->found ? FALSE : TRUE;
}

// One running copy of the program in a program folder of its own.
class Program {
 public:
  Program(const std::string& tag, const std::string& ini, bool with_updater = false,
          const std::string& base_url = kn::test::sim_base_url()) {
    folder = kn::test::make_temp_folder(tag);
    CopyFileA(kn::test::wine_path(KN_PROGRAM_EXE).c_str(), (folder + "\\Klangnetz_DesktopTool.exe").c_str(), FALSE);
    if (with_updater) {
      CopyFileA(kn::test::wine_path(KN_UPDATER_STUB).c_str(), (folder + "\\AutoUpdate.exe").c_str(), FALSE);
    }
    std::ofstream(folder + "\\Klangnetz_DesktopTool.ini", std::ios::binary)
        << "[Konfig]\r\napi_base_url=" << base_url << "\r\n" << ini;
  }
  ~Program() { stop(); }

  void start() {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + folder + "\\Klangnetz_DesktopTool.exe\"";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                               &pi_));
    ASSERT_TRUE(wait_until([&] { return window("Klangnetz_Picture1") != nullptr; }, 20000))
        << "tray window did not appear";
  }
  void stop() {
    if (pi_.hProcess) {
      TerminateProcess(pi_.hProcess, 0);
      WaitForSingleObject(pi_.hProcess, 5000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
      pi_ = {};
    }
  }
  bool running() const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
  bool ended_within(DWORD ms, DWORD* exit_code) const {
    if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(pi_.hProcess, exit_code) != FALSE;
  }

  // Right-click on the tray icon, then the menu entry at this position (0 = first).
  bool choose_menu_entry(int position) {
    PostMessageA(window("Klangnetz_Picture1"), 512, 0, WM_RBUTTONUP);
    HWND menu = nullptr;
    auto shown = [&] {
      menu = window("#32768");
      return menu != nullptr && IsWindowVisible(menu);
    };
    if (!wait_until(shown, 5000)) return false;
    for (int i = 0; i <= position; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    return true;
  }

  // A window of this process by class, top-level or child.
  HWND window(const char* cls) const {
    FindWindow f{pi_.dwProcessId, cls, nullptr};
    EnumWindows(find_top, reinterpret_cast<LPARAM>(&f));
    if (!f.found) EnumWindows(find_in_children, reinterpret_cast<LPARAM>(&f));
    return f.found;
  }

  std::string folder;

 private:
  PROCESS_INFORMATION pi_{};
};

// The overlay mirrors what it draws in its window text.
inline std::wstring overlay_text(HWND overlay) {
  const LRESULT length = SendMessageW(overlay, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(overlay, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

inline int height_of(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r.bottom - r.top;
}

inline int requests_for(const std::string& station) {
  return count_of(kn::test::sim_request_log(), "GET /station/" + station + "/listeners\n");
}

// Asks the simulator's control port, e.g. "/_sim/outage/start".
inline bool sim_control(const std::string& path) { return !kn::test::sim_get(path).empty(); }

}  // namespace e2e
