// Opens a window of the running demo for scripts/screenshot.sh and prints where it is
// ("WxH+X+Y", as ImageMagick crops), or closes it again.
//   screenshot_driver statistics LAST_STATION
//                                  polls a while, then the statistics of the first
//                                  station; the polls are followed in the simulator's
//                                  log (KN_SIM_DIR) by the requests for LAST_STATION
//   screenshot_driver history      the statistics of the first station over the
//                                  last 7 days of the listener history
//   screenshot_driver plays        the same, and the list of its plays ("Titel …")
//   screenshot_driver settings     the settings dialog
//   screenshot_driver close        closes whichever of the two is open
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

constexpr int kPolls = 30;

int fail(const std::string& why) {
  std::fprintf(stderr, "screenshot_driver: %s\n", why.c_str());
  return 1;
}

int print_place(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
  return 0;
}

int statistics(const ProgramWindows& p, const std::string& last_station) {
  RequestWatch polls(last_station);
  for (int poll = 1; poll <= kPolls; ++poll) {
    p.post_tray(WM_LBUTTONDBLCLK);
    if (auto done = polls.wait_for(poll, 30000); !done) return fail(done.message());
  }
  HWND graph = p.open_from_menu(1, "Klangnetz_frmGraph");
  if (!graph) return fail("the statistics window did not open");
  HWND combo = FindWindowExA(graph, nullptr, "ComboBox", nullptr);
  if (!combo) return fail("no station list");
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  DWORD_PTR result = 0;
  // Returns when the graph is filled.
  if (!SendMessageTimeoutA(graph, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(combo), SMTO_NORMAL, 60000, &result)) {
    return fail("the graph was not filled");
  }
  return print_place(graph);
}

// The statistics window over the last 7 days, or nullptr (said why).
HWND last_7_days(const ProgramWindows& p) {
  HWND graph = p.open_from_menu(1, "Klangnetz_frmGraph");
  if (!graph) return fail("the statistics window did not open"), nullptr;
  HWND stations = FindWindowExA(graph, nullptr, "ComboBox", nullptr);
  HWND ranges = stations ? FindWindowExA(graph, stations, "ComboBox", nullptr) : nullptr;
  if (!ranges) return fail("no \"Zeitraum\" list: is keep_history on?"), nullptr;
  DWORD_PTR result = 0;
  for (auto [combo, index] : {std::pair{stations, 1}, std::pair{ranges, 3}}) {  // "letzte 7 Tage"
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (!SendMessageTimeoutA(graph, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(combo), SMTO_NORMAL, 60000, &result)) {
      return fail("the range was not drawn"), nullptr;
    }
  }
  return graph;
}

int history(const ProgramWindows& p) {
  HWND graph = last_7_days(p);
  return graph ? print_place(graph) : 1;
}

int plays(const ProgramWindows& p) {
  HWND graph = last_7_days(p);
  if (!graph) return 1;
  HWND button = FindWindowExW(graph, nullptr, L"Button", L"Titel \u2026");
  if (!button) return fail("no \"Titel …\" button");
  PostMessageW(graph, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
  HWND list = nullptr;
  if (!wait_until([&] { return (list = p.window("Klangnetz_frmPlays")) != nullptr && IsWindowVisible(list); },
                  30000))
    return fail("the list of plays did not open");
  return print_place(list);
}

int close(const ProgramWindows& p) {
  for (const char* cls : {"Klangnetz_frmGraph", "Klangnetz_frmKonfig"}) {
    HWND w = p.window(cls);
    if (!w) continue;
    PostMessageA(w, WM_CLOSE, 0, 0);
    if (!wait_until([&] { return !IsWindow(w) || !IsWindowVisible(w); }, 10000))
      return fail("window stays open");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const ProgramWindows p = ProgramWindows::already_running();
  if (!p.pid()) return fail("the program is not running");
  if (command == "statistics" && argc > 2) return statistics(p, argv[2]);
  if (command == "history") return history(p);
  if (command == "plays") return plays(p);
  if (command == "settings") {
    HWND dialog = p.open_from_menu(0, "Klangnetz_frmKonfig");
    return dialog ? print_place(dialog) : fail("the settings dialog did not open");
  }
  if (command == "close") return close(p);
  return fail("usage: screenshot_driver statistics LAST_STATION | history | plays | settings | close");
}
