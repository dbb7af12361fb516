#include "common/program.h"

#include <fstream>

#include "common/screen.h"
#include "common/wait.h"

namespace kn::test {
namespace {

struct Search {
  DWORD pid;
  const char* cls;
  HWND found;
};

bool has_class(HWND h, const char* cls) {
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  return std::string(name) == cls;
}

bool of_process(HWND h, DWORD pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  return owner == pid;
}

BOOL CALLBACK find_top(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  if (!of_process(h, s->pid) || !has_class(h, s->cls)) return TRUE;
  s->found = h;
  return FALSE;
}

BOOL CALLBACK find_child(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  if (!has_class(h, s->cls)) return TRUE;
  s->found = h;
  return FALSE;
}

BOOL CALLBACK find_in_children(HWND top, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  if (of_process(top, s->pid)) EnumChildWindows(top, find_child, lp);
  return s->found ? FALSE : TRUE;
}

void press(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

}  // namespace

ProgramWindows ProgramWindows::already_running() {
  DWORD pid = 0;
  if (HWND main = FindWindowA("Klangnetz_frmMain", nullptr)) GetWindowThreadProcessId(main, &pid);
  return ProgramWindows(pid);
}

HWND ProgramWindows::window(const char* cls) const {
  Search s{pid_, cls, nullptr};
  EnumWindows(find_top, reinterpret_cast<LPARAM>(&s));
  if (!s.found) EnumWindows(find_in_children, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

::testing::AssertionResult ProgramWindows::open_menu(HWND& menu) const {
  SetCursorPos(1200, 780);  // no stray mouse messages over the menu
  post_tray(WM_RBUTTONUP);
  auto shown = [&] { return (menu = window("#32768")) != nullptr && IsWindowVisible(menu); };
  return wait_until(shown, 30000, {}, 1) << " (the tray menu)";
}

::testing::AssertionResult ProgramWindows::choose_menu_entry(int position) const {
  HWND menu = nullptr;
  if (auto shown = open_menu(menu); !shown) return shown;
  for (int i = 0; i <= position; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  // Posted keys can reach a menu before it tracks them; then the keyboard does it.
  if (!wait_until([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 3000)) {
    for (int i = 0; i <= position; ++i) press(VK_DOWN);
    press(VK_RETURN);
  }
  return wait_until([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 10000, {})
         << " (the menu closing)";
}

HWND ProgramWindows::open_from_menu(int position, const char* cls) const {
  if (auto chosen = choose_menu_entry(position); !chosen) {
    ADD_FAILURE() << chosen.message();
    return nullptr;
  }
  HWND found = nullptr;
  auto shown = [&] { return (found = window(cls)) != nullptr && IsWindowVisible(found); };
  if (auto opened = wait_until(shown, 30000, [&] { return found ? "hidden" : "no window"; }); !opened) {
    ADD_FAILURE() << cls << ": " << opened.message();
    return nullptr;
  }
  return found;
}

Program::Program(const std::string& tag, const std::string& ini, const std::string& base_url,
                 const std::string& installed_in)
    : folder(installed_in.empty() ? make_temp_folder(tag) : installed_in) {
  if (installed_in.empty()) {
    CopyFileA(wine_path(KN_PROGRAM_EXE).c_str(), (folder + "\\Klangnetz_DesktopTool.exe").c_str(), FALSE);
  }
  std::ofstream(folder + "\\Klangnetz_DesktopTool.ini", std::ios::binary)
      << "[Konfig]\r\napi_base_url=" << base_url << "\r\n"
      << ini;
}

Program::~Program() { stop(); }

bool Program::install(const std::string& unix_path, const std::string& name) const {
  return CopyFileA(wine_path(unix_path).c_str(), (folder + "\\" + name).c_str(), FALSE) != FALSE;
}

::testing::AssertionResult Program::launch() {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string cmd = "\"" + folder + "\\Klangnetz_DesktopTool.exe\"";
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi_)) {
    return ::testing::AssertionFailure() << "CreateProcess failed: " << GetLastError();
  }
  pid_ = pi_.dwProcessId;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Program::start() {
  if (auto launched = launch(); !launched) return launched;
  return wait_until([&] { return tray() != nullptr; }, 30000,
                    [&] { return running() ? "running, no tray window" : "ended"; })
         << " (the tray window)";
}

void Program::stop() {
  if (!pi_.hProcess) return;
  save_screen_if_failed();
  TerminateProcess(pi_.hProcess, 0);
  WaitForSingleObject(pi_.hProcess, 5000);
  CloseHandle(pi_.hProcess);
  CloseHandle(pi_.hThread);
  pi_ = {};
}

bool Program::running() const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

bool Program::ended_within(DWORD ms, DWORD* exit_code) const {
  if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(pi_.hProcess, exit_code) != FALSE;
}

}  // namespace kn::test
