#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

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

}  // namespace
