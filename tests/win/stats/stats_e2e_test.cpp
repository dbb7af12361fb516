#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

// The rows of a history file (the lines after its header).
std::vector<std::string> history_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

// Moves every row's time back, as if the program had been off for a while since.
void shift_rows_back(const std::string& path, int minutes) {
  std::string out = "Zeit;UTC-Versatz;Station;H\xF6rer;K\xFCnstler;Titel\r\n";
  for (const std::string& line : history_lines(path)) {
    SYSTEMTIME t{};
    std::sscanf(line.c_str(), "%hu-%hu-%hu %hu:%hu:%hu", &t.wYear, &t.wMonth, &t.wDay, &t.wHour, &t.wMinute,
                &t.wSecond);
    FILETIME ft{};
    SystemTimeToFileTime(&t, &ft);
    ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
    u.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000;
    ft = {u.LowPart, u.HighPart};
    FileTimeToSystemTime(&ft, &t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    out += stamp + line.substr(19) + "\r\n";
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << out;
}

// Runs of neighbouring pixel columns of the window, as the screen shows it, that hold
// the graph's green line: one run per stretch of line.
std::vector<std::pair<int, int>> green_runs(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<std::pair<int, int>> runs;
  const auto* pixels = static_cast<const uint32_t*>(bits);
  for (int x = 0; x < w; ++x) {
    bool green = false;
    for (int y = 0; y < h && !green; ++y) green = (pixels[y * w + x] & 0xFFFFFF) == 0x00FF00;
    if (!green) continue;
    if (!runs.empty() && runs.back().second == x - 1) {
      runs.back().second = x;
    } else {
      runs.push_back({x, x});
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return runs;
}

bool send_command(HWND window, HWND control, WORD code) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                             reinterpret_cast<LPARAM>(control), SMTO_NORMAL, 60000, &result) != 0;
}

TEST(StatisticsFromTheTray, ShowsAFilledGraphAndTheAboutDialogShowsTheVersion) {
  // Counts 37, 81, 52, 64, then 64 on every further poll.
  const std::string station = "seq-37-81-52-64";
  Program p("stats", "stations=" + station + ";fixed-73\r\n");
  RequestWatch polls("fixed-73");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  for (int poll = 2; poll <= 41; ++poll) {
    p.post_tray(WM_LBUTTONDBLCLK);
    // The last station's request: the one before it is in the history.
    ASSERT_TRUE(polls.wait_for(poll, 30000)) << "program running: " << p.running();
  }
  EXPECT_EQ(requests_for(station), 41);

  // The menu opens after the last poll is done.
  HWND graph = p.open_from_menu(1, "Klangnetz_frmGraph");  // "Statistik"
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(window_text(graph), L"Statistik");
  HWND combo = FindWindowExA(graph, nullptr, "ComboBox", nullptr);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  std::vector<HWND> controls = children(graph);
  ASSERT_GE(controls.size(), 5u);
  EXPECT_EQ(window_text(controls[1]), L"H\u00F6rerzahl Minimum:");
  EXPECT_EQ(window_text(controls[3]), L"H\u00F6rerzahl Maximum:");
  // Before a station is chosen the labels show nothing of it.
  EXPECT_EQ(window_text(controls[2]), L"0");
  EXPECT_EQ(window_text(controls[4]), L"0");

  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  // Sent, so it returns when the window has handled the choice and set the labels;
  // the fill goes on in the window's own time.
  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutA(graph, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                                  reinterpret_cast<LPARAM>(combo), SMTO_NORMAL, 60000, &result))
      << "the window did not answer";
  EXPECT_EQ(window_text(controls[2]), L"37");
  EXPECT_EQ(window_text(controls[4]), L"81");

  PostMessageA(graph, WM_CLOSE, 0, 0);
  EXPECT_TRUE(wait_until([&] { return p.window("Klangnetz_frmGraph") == nullptr; }, 10000));

  HWND about = p.open_from_menu(2, "Klangnetz_frmAbout");  // "Über"
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(window_text(about), L"Info zu Klangnetz DesktopTool");
  bool version_shown = false;
  for (HWND c : children(about)) version_shown = version_shown || window_text(c) == L"Version 1.0.29";
  EXPECT_TRUE(version_shown);
  HWND ok = FindWindowExA(about, nullptr, "Button", "OK");
  ASSERT_NE(ok, nullptr);
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  EXPECT_TRUE(wait_until([&] { return p.window("Klangnetz_frmAbout") == nullptr; }, 10000));
  EXPECT_TRUE(p.running());
}

TEST(StatisticsFromTheTray, TheHistoryOutlastsARestartAndItsLastHourExports) {
  const std::string station = "seq-12-34-56-78-90";
  Program p("history", "stations=" + station + "\r\nkeep_history=1\r\n");
  const std::string file = history_file(p.folder, station);
  RequestWatch polls(station);
  ASSERT_TRUE(p.start());
  for (int poll = 1; poll <= 3; ++poll) {
    if (poll > 1) p.post_tray(WM_LBUTTONDBLCLK);
    ASSERT_TRUE(polls.wait_for(poll, 30000));
    // The poll's rows are on the disk before the next poll.
    ASSERT_TRUE(wait_until([&] { return history_lines(file).size() == static_cast<size_t>(poll); }, 30000));
  }
  ASSERT_TRUE(p.choose_menu_entry(3));  // "Beenden"
  DWORD code = 1;
  ASSERT_TRUE(p.ended_within(30000, &code));
  // As if the first run had ended half an hour ago.
  shift_rows_back(file, 30);

  Program again("history", "stations=" + station + "\r\nkeep_history=1\r\n", sim_base_url(), p.folder);
  ASSERT_TRUE(again.start());
  ASSERT_TRUE(polls.wait_for(4, 30000));
  ASSERT_TRUE(wait_until([&] { return history_lines(file).size() == 4; }, 30000));
  again.post_tray(WM_LBUTTONDBLCLK);
  ASSERT_TRUE(polls.wait_for(5, 30000));
  ASSERT_TRUE(wait_until([&] { return history_lines(file).size() == 5; }, 30000));
  const std::vector<std::string> rows = history_lines(file);
  EXPECT_NE(rows[0].find(";" + station + ";12"), std::string::npos) << rows[0];
  EXPECT_NE(rows[4].find(";" + station + ";90"), std::string::npos) << rows[4];

  HWND graph = again.open_from_menu(1, "Klangnetz_frmGraph");
  ASSERT_NE(graph, nullptr);
  HWND station_combo = FindWindowExA(graph, nullptr, "ComboBox", nullptr);
  HWND range_combo = FindWindowExA(graph, station_combo, "ComboBox", nullptr);
  ASSERT_NE(range_combo, nullptr);
  SendMessageA(station_combo, CB_SETCURSEL, 1, 0);
  ASSERT_TRUE(send_command(graph, station_combo, CBN_SELCHANGE));
  SendMessageA(range_combo, CB_SETCURSEL, 1, 0);  // "letzte Stunde"
  ASSERT_TRUE(send_command(graph, range_combo, CBN_SELCHANGE));
  std::vector<HWND> controls = children(graph);
  std::vector<std::wstring> texts;
  for (HWND c : controls) texts.push_back(window_text(c));
  const auto value_after = [&](const std::wstring& caption) {
    for (size_t i = 0; i + 1 < texts.size(); ++i)
      if (texts[i] == caption) return texts[i + 1];
    return std::wstring(L"<none>");
  };
  // Both runs: the lowest count came in the first, the highest in the second.
  EXPECT_EQ(value_after(L"H\u00F6rerzahl Minimum:"), L"12");
  EXPECT_EQ(value_after(L"H\u00F6rerzahl Maximum:"), L"90");
  EXPECT_EQ(value_after(L"H\u00F6rerzahl Durchschnitt:"), L"54,0");
  // Each run a short stretch of line, half an hour apart, and nothing drawn between.
  HWND graph_picture = FindWindowExA(graph, nullptr, "Klangnetz_PIC1", nullptr);
  ASSERT_NE(graph_picture, nullptr);
  SetForegroundWindow(graph);
  std::vector<std::pair<int, int>> runs;
  ASSERT_TRUE(wait_until([&] { return (runs = green_runs(graph_picture)).size() == 2; }, 10000))
      << runs.size() << " stretches of line";
  EXPECT_GT(runs[1].first - runs[0].second, 100);

  // The export through the system's save dialog.
  HWND export_button = FindWindowExW(graph, nullptr, L"Button", L"Exportieren \u2026");
  ASSERT_NE(export_button, nullptr);
  PostMessageA(graph, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(export_button), BN_CLICKED),
               reinterpret_cast<LPARAM>(export_button));
  HWND dialog = nullptr;
  ASSERT_TRUE(wait_until([&] { return (dialog = FindWindowA("#32770", "Exportieren")) != nullptr; }, 30000));
  HWND name = nullptr;
  ASSERT_TRUE(wait_until(
      [&] {
        for (HWND c : children(dialog))
          if (class_name(c) == L"Edit" && window_text(c).rfind(L"hoerer_", 0) == 0) name = c;
        return name != nullptr;
      },
      30000));
  const std::wstring suggested = window_text(name);
  EXPECT_EQ(suggested.rfind(L"hoerer_" + std::wstring(station.begin(), station.end()) + L"_", 0), 0u);
  EXPECT_EQ(suggested.substr(suggested.size() - 4), L".csv");
  const std::string target = p.folder + "\\export.csv";
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(wait_until([&] { return history_lines(target).size() == 5; }, 30000));
  EXPECT_EQ(read_file(target).rfind("Zeit;UTC-Versatz;Station;H\xF6rer;K\xFCnstler;Titel\r\n", 0), 0u);
  EXPECT_EQ(history_lines(target), rows);
}

TEST(StatisticsFromTheTray, AnEarlierVersionsSingleFileIsCarriedOverWhole) {
  Program p("carry", "stations=fixed-42\r\nkeep_history=1\r\n");
  const std::string earlier = p.folder + "\\hoerer_verlauf.csv";
  std::ofstream(earlier, std::ios::binary) << "Zeit;UTC-Versatz;Station;H\xF6rer\r\n"
                                              "2026-11-30 23:59:00;+01:00;fixed-42;7\r\n"
                                              "2026-12-01 00:00:00;+01:00;fixed-42;8\r\n"
                                              "2026-12-01 00:00:00;+01:00;andere;\r\n";
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(wait_until([&] { return !exists(earlier); }, 30000));
  const std::string months = p.folder + "\\hoerer_verlauf\\";
  EXPECT_EQ(history_lines(months + "fixed-42_2026-11.csv"),
            std::vector<std::string>{"2026-11-30 23:59:00;+01:00;fixed-42;7;;"});
  EXPECT_EQ(history_lines(months + "andere_2026-12.csv"),
            std::vector<std::string>{"2026-12-01 00:00:00;+01:00;andere;;;"});
  EXPECT_NE(read_file(months + "fixed-42_2026-12.csv").find("2026-12-01 00:00:00;+01:00;fixed-42;8;;\r\n"),
            std::string::npos);
}

TEST(StatisticsFromTheTray, WithoutTheChoiceNoHistoryFileAppears) {
  Program p("nohistory", "stations=fixed-41\r\n");
  RequestWatch polls("fixed-41");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  p.post_tray(WM_LBUTTONDBLCLK);
  // The first poll has ended once the second asks.
  ASSERT_TRUE(polls.wait_for(2, 30000));
  EXPECT_EQ(GetFileAttributesA((p.folder + "\\hoerer_verlauf").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((p.folder + "\\hoerer_verlauf.csv").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
