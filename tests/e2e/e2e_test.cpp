#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "program.h"

namespace {

using namespace e2e;
using kn::test::exists;

TEST(Program, StartsPollsAndShowsTheOverlayWithoutAMainWindow) {
  Program p("start", "stations=fixed-11;fixed-12\r\n");
  int before = requests_for("fixed-12");
  p.start();
  EXPECT_TRUE(wait_until([&] { return requests_for("fixed-12") > before; }, 30000));
  HWND main = p.window("Klangnetz_frmMain");
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  HWND overlay = nullptr;
  ASSERT_TRUE(wait_until([&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr; }, 5000));
  // Shown once startup has finished, just after the first poll.
  EXPECT_TRUE(wait_until([&] { return IsWindowVisible(overlay) != FALSE; }, 5000));
  LONG ex = GetWindowLongA(overlay, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindow(overlay, GW_OWNER), main);
  RECT r{};
  GetWindowRect(overlay, &r);
  EXPECT_GT(r.bottom - r.top, 0);  // two lines of text
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
}

TEST(Program, TrayDoubleClickPollsAtOnceAndOtherEventsDoNothing) {
  Program p("tray", "stations=fixed-21\r\n");
  p.start();
  ASSERT_TRUE(wait_until([&] { return requests_for("fixed-21") >= 1; }, 30000));
  int before = requests_for("fixed-21");
  HWND tray = p.window("Klangnetz_Picture1");
  PostMessageA(tray, 512, 0, WM_LBUTTONUP);
  PostMessageA(tray, 512, 0, WM_MOUSEMOVE);
  Sleep(1500);
  EXPECT_EQ(requests_for("fixed-21"), before);
  PostMessageA(tray, 512, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(wait_until([&] { return requests_for("fixed-21") == before + 1; }, 30000));
  EXPECT_TRUE(p.running());
}

TEST(Program, NoSettingsFileStillStartsAndPollsNothing) {
  Program p("nofile", "");
  DeleteFileA((p.folder + "\\Klangnetz_DesktopTool.ini").c_str());
  p.start();
  HWND overlay = nullptr;
  ASSERT_TRUE(wait_until([&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr; }, 5000));
  EXPECT_TRUE(wait_until([&] { return overlay_text(overlay) == L"keine Stationen hinterlegt."; }, 5000))
      << "overlay shows: " << overlay_text(overlay).size() << " characters";
  EXPECT_GT(height_of(overlay), 0);
  Sleep(1500);
  EXPECT_TRUE(p.running());
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
  EXPECT_FALSE(exists(p.folder + "\\Klangnetz_DesktopTool.ini"));  // never written by startup
}

TEST(Program, IntervalZeroPollsOnEveryTick) {
  Program p("tick", "stations=fixed-41\r\nUpdateInterval=0\r\n");
  p.start();
  ASSERT_TRUE(wait_until([&] { return requests_for("fixed-41") >= 1; }, 30000));
  const int before = requests_for("fixed-41");
  Sleep(4500);
  const int polls = requests_for("fixed-41") - before;
  EXPECT_GE(polls, 3);
  EXPECT_LE(polls, 6);
}

TEST(Program, ChangeOnlyModeShowsAChangeForTheConfiguredSecondsThenNothing) {
  Program p("changes", "stations=seq-120-120-135;fixed-42\r\nonly_changes=1\r\nchanges_visible_in_seconds=2\r\n");
  p.start();
  HWND overlay = nullptr;
  ASSERT_TRUE(wait_until([&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr; }, 5000));
  // The first poll changes both counts from 0: both shown, with their marks.
  ASSERT_TRUE(wait_until([&] { return overlay_text(overlay) == L"SEQ-120-120-135 : 0120 +0120\r\nFIXED-42: 0042 +0042"; },
                         5000));
  EXPECT_GT(height_of(overlay), 0);
  const DWORD shown_at = GetTickCount();
  ASSERT_TRUE(wait_until([&] { return overlay_text(overlay).empty(); }, 6000));
  EXPECT_GE(GetTickCount() - shown_at, 1000u);
  EXPECT_EQ(height_of(overlay), 0);

  // A double-click shows every station (no change in them now), then blanks again.
  HWND tray = p.window("Klangnetz_Picture1");
  PostMessageA(tray, 512, 0, WM_LBUTTONDBLCLK);
  ASSERT_TRUE(wait_until([&] { return overlay_text(overlay) == L"SEQ-120-120-135 : 0120\r\nFIXED-42: 0042"; }, 5000));
  ASSERT_TRUE(wait_until([&] { return overlay_text(overlay).empty(); }, 6000));

  EXPECT_TRUE(p.running());
}

TEST(Program, ChangeOnlyModeShowsOnlyTheStationThatChanged) {
  Program p("changed", "stations=seq-150-150-150-150-165;fixed-44\r\nonly_changes=1\r\n"
                       "changes_visible_in_seconds=2\r\nUpdateInterval=0\r\n");
  p.start();
  HWND overlay = nullptr;
  ASSERT_TRUE(wait_until([&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr; }, 5000));
  EXPECT_TRUE(wait_until([&] { return overlay_text(overlay) == L"SEQ-150-150-150-150-165 : 0165 +0015"; }, 30000));
}

TEST(Program, BeendenFromTheTrayMenuEndsTheProgramAndLeavesNoDownloadBehind) {
  Program p("exit", "stations=fixed-43\r\n");
  p.start();
  ASSERT_TRUE(wait_until([&] { return requests_for("fixed-43") >= 1; }, 30000));
  SetCursorPos(1200, 780);
  ASSERT_TRUE(p.choose_menu_entry(3));  // "Beenden"
  DWORD code = 99;
  ASSERT_TRUE(p.ended_within(10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
  EXPECT_TRUE(exists(p.folder + "\\Klangnetz_DesktopTool.ini"));
}

TEST(Program, UpdaterBesideTheProgramStartsOncePerStart) {
  Program p("upd", "stations=fixed-31\r\n", true);
  p.start();
  EXPECT_TRUE(wait_until([&] { return count_of(read_file(p.folder + "\\autoupdate.log"), "started") == 1; }, 30000));
  p.stop();
  p.start();
  EXPECT_TRUE(wait_until([&] { return count_of(read_file(p.folder + "\\autoupdate.log"), "started") == 2; }, 30000));
  Sleep(500);
  EXPECT_EQ(count_of(read_file(p.folder + "\\autoupdate.log"), "started"), 2);

  Program q("noupd", "stations=fixed-32\r\n");
  q.start();
  Sleep(1000);
  EXPECT_FALSE(exists(q.folder + "\\autoupdate.log"));
}

TEST(Program, TitleFilesGetEachNewSongOnce) {
  Program p("titles", "stations=songs-5-5-5-6;badjson;zwei worte\r\nwrite_title2file=1\r\n");
  p.start();
  HWND tray = p.window("Klangnetz_Picture1");
  auto lines = [&](const std::string& station) {
    return count_of(read_file(p.folder + "\\titel_" + station + ".txt"), "\r\n");
  };
  ASSERT_TRUE(wait_until([&] { return lines("songs-5-5-5-6") == 1; }, 30000));
  for (int poll = 2; poll <= 4; ++poll) {
    int before = requests_for("badjson");
    PostMessageA(tray, 512, 0, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(wait_until([&] { return requests_for("badjson") > before; }, 30000));
    Sleep(300);
  }
  std::string text = read_file(p.folder + "\\titel_songs-5-5-5-6.txt");
  EXPECT_EQ(count_of(text, "\r\n"), 2) << text;
  EXPECT_NE(text.find(",5,\"Titel 5\",\"Band 5\",\"Album 5\",10\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(",6,\"Titel 6\",\"Band 6\",\"Album 6\",10\r\n"), std::string::npos) << text;
  EXPECT_FALSE(exists(p.folder + "\\titel_badjson.txt"));
  EXPECT_TRUE(exists(p.folder + "\\titel_zwei worte.txt"));
  EXPECT_FALSE(exists(p.folder + "\\title_from_web.txt"));
  EXPECT_TRUE(p.running());
}

}  // namespace
