#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

// The overlay window, once the program has made it.
HWND overlay_of(const Program& p) {
  HWND overlay = nullptr;
  EXPECT_TRUE(wait_until([&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr; }, 30000))
      << "(the overlay window)";
  return overlay;
}

Describe text_of(const HWND& overlay) {
  return [&overlay] { return "overlay " + shown(window_text(overlay)); };
}

TEST(Program, StartsPollsAndShowsTheOverlayWithoutAMainWindow) {
  Program p("start", "stations=fixed-11;fixed-12\r\n");
  RequestWatch polls("fixed-12");
  ASSERT_TRUE(p.start());
  EXPECT_TRUE(polls.wait_for(1, 30000));
  HWND main = p.window("Klangnetz_frmMain");
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  // Shown once startup has finished, just after the first poll.
  EXPECT_TRUE(wait_until([&] { return IsWindowVisible(overlay) != FALSE; }, 30000));
  LONG ex = GetWindowLongA(overlay, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindow(overlay, GW_OWNER), main);
  EXPECT_TRUE(wait_until([&] { return window_text(overlay) == L"FIXED-11 : 0011\r\nFIXED-12: 0012"; }, 30000,
                         text_of(overlay)));
  EXPECT_EQ(line_count(window_text(overlay)), 2);
  EXPECT_GT(height_of(overlay), 0);
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
}

TEST(Program, TrayDoubleClickPollsAtOnceAndOtherEventsDoNothing) {
  Program p("tray", "stations=fixed-21\r\n");
  RequestWatch polls("fixed-21");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  const int before = requests_for("fixed-21");
  p.post_tray(WM_LBUTTONUP);
  p.post_tray(WM_MOUSEMOVE);
  p.post_tray(WM_LBUTTONDBLCLK);
  ASSERT_TRUE(polls.wait_for(2, 30000));
  // Had one of the others polled, its request would come right along with this one.
  EXPECT_TRUE(stays_true([&] { return requests_for("fixed-21") == before + 1; }, 1500,
                         [&] { return std::to_string(requests_for("fixed-21") - before) + " polls"; }));
  EXPECT_TRUE(p.running());
}

TEST(Program, NoSettingsFileStillStartsAndPollsNothing) {
  Program p("nofile", "");
  DeleteFileA((p.folder + "\\Klangnetz_DesktopTool.ini").c_str());
  ASSERT_TRUE(p.start());
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(wait_until([&] { return window_text(overlay) == L"keine Stationen hinterlegt."; }, 30000,
                         text_of(overlay)));
  EXPECT_GT(height_of(overlay), 0);
  // A few ticks with nothing to poll.
  EXPECT_TRUE(stays_true([&] { return p.running() && !exists(p.folder + "\\file_from_web.txt"); }, 1500));
  EXPECT_FALSE(exists(p.folder + "\\Klangnetz_DesktopTool.ini"));  // never written by startup
}

TEST(Program, IntervalZeroPollsOnEveryTick) {
  Program p("tick", "stations=fixed-41\r\nUpdateInterval=0\r\n");
  RequestWatch polls("fixed-41");
  ASSERT_TRUE(p.start());
  constexpr int kPolls = 7;
  ASSERT_TRUE(polls.wait_for(kPolls, 60000));
  // Seven polls within the minute were on every tick (the interval would otherwise be a
  // minute); never more often than the ticks come. The bound is taken between polls 2
  // and kPolls (the first comes from startup), from the side of the arrivals' brackets
  // that a late look cannot push over it.
  const DWORD longest = polls.arrival(kPolls).at - polls.arrival(2).before;
  EXPECT_GE(longest, 700u * (kPolls - 2)) << "polls more often than once a second";
}

TEST(Program, ChangeOnlyModeShowsAChangeForTheConfiguredSecondsThenNothing) {
  Program p("changes",
            "stations=seq-120-120-135;fixed-42\r\nonly_changes=1\r\nchanges_visible_in_seconds=2\r\n");
  ASSERT_TRUE(p.start());
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  // The first poll changes both counts from 0: both shown, with their marks.
  ASSERT_TRUE(wait_until(
      [&] { return window_text(overlay) == L"SEQ-120-120-135 : 0120 +0120\r\nFIXED-42: 0042 +0042"; }, 30000,
      text_of(overlay)));
  EXPECT_GT(height_of(overlay), 0);
  ASSERT_TRUE(wait_until([&] { return window_text(overlay).empty(); }, 15000, text_of(overlay)));
  EXPECT_EQ(height_of(overlay), 0);

  // A double-click shows every station (no change in them now), then blanks again
  // after the configured two ticks.
  const DWORD clicked = GetTickCount();
  p.post_tray(WM_LBUTTONDBLCLK);
  Seen all, blank;
  ASSERT_TRUE(wait_until([&] { return window_text(overlay) == L"SEQ-120-120-135 : 0120\r\nFIXED-42: 0042"; },
                         30000, text_of(overlay), 2, &all));
  ASSERT_TRUE(wait_until([&] { return window_text(overlay).empty(); }, 15000, text_of(overlay), 2, &blank));
  // Not before a tick has passed (from the side of the bracket that a late look
  // cannot push over the bound); the wait above is the generous ceiling.
  EXPECT_GE(blank.at - clicked, 1000u);

  EXPECT_TRUE(p.running());
}

TEST(Program, ChangeOnlyModeShowsOnlyTheStationThatChanged) {
  Program p("changed",
            "stations=seq-150-150-150-150-165;fixed-44\r\nonly_changes=1\r\n"
            "changes_visible_in_seconds=2\r\nUpdateInterval=0\r\n");
  ASSERT_TRUE(p.start());
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(wait_until([&] { return window_text(overlay) == L"SEQ-150-150-150-150-165 : 0165 +0015"; },
                         30000, text_of(overlay)));
}

TEST(Program, BeendenFromTheTrayMenuEndsTheProgramAndLeavesNoDownloadBehind) {
  Program p("exit", "stations=fixed-43\r\n");
  RequestWatch polls("fixed-43");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  ASSERT_TRUE(p.choose_menu_entry(3));  // "Beenden"
  DWORD code = 99;
  ASSERT_TRUE(p.ended_within(10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
  EXPECT_TRUE(exists(p.folder + "\\Klangnetz_DesktopTool.ini"));
}

TEST(Program, UpdaterBesideTheProgramStartsOncePerStart) {
  Program p("upd", "stations=fixed-31\r\n");
  ASSERT_TRUE(p.install(KN_UPDATER_STUB, "AutoUpdate.exe"));
  auto starts = [&] { return count_of(read_file(p.folder + "\\autoupdate.log"), "started"); };
  auto describe = [&] { return std::to_string(starts()) + " updater starts"; };
  ASSERT_TRUE(p.start());
  EXPECT_TRUE(wait_until([&] { return starts() == 1; }, 30000, describe));
  p.stop();
  ASSERT_TRUE(p.start());
  EXPECT_TRUE(wait_until([&] { return starts() == 2; }, 30000, describe));
  EXPECT_TRUE(stays_true([&] { return starts() == 2; }, 1000, describe));

  Program q("noupd", "stations=fixed-32\r\n");
  RequestWatch polls("fixed-32");
  ASSERT_TRUE(q.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));  // startup, updater step included, is over
  EXPECT_TRUE(stays_true([&] { return !exists(q.folder + "\\autoupdate.log"); }, 1000));
}

TEST(Program, TitleFilesGetEachNewSongOnce) {
  Program p("titles", "stations=songs-5-5-5-6;badjson;zwei worte\r\nwrite_title2file=1\r\n");
  RequestWatch last_station("zwei worte");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(last_station.wait_for(1, 30000));
  const int before = requests_for("badjson");
  for (int poll = 2; poll <= 4; ++poll) {
    p.post_tray(WM_LBUTTONDBLCLK);
    // A double-click during a poll becomes one poll after it: each waits for its own.
    ASSERT_TRUE(last_station.wait_for(poll, 30000));
  }
  // A poll's requests run together and its answers are applied after they came: what
  // the fourth poll leaves behind is waited for.
  EXPECT_TRUE(wait_until([&] { return requests_for("badjson") == before + 3; }, 30000));
  const std::string songs = p.folder + "\\titel_songs-5-5-5-6.txt";
  EXPECT_TRUE(wait_until([&] { return read_file(songs).find("\"Titel 6\"") != std::string::npos; }, 30000));
  EXPECT_TRUE(wait_until([&] { return !exists(p.folder + "\\title_from_web.txt"); }, 30000));
  std::string text = read_file(songs);
  EXPECT_EQ(count_of(text, "\r\n"), 2) << text;
  EXPECT_NE(text.find(",5,\"Titel 5\",\"Band 5\",\"Album 5\",10\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(",6,\"Titel 6\",\"Band 6\",\"Album 6\",10\r\n"), std::string::npos) << text;
  EXPECT_FALSE(exists(p.folder + "\\titel_badjson.txt"));
  EXPECT_TRUE(exists(p.folder + "\\titel_zwei worte.txt"));
  EXPECT_TRUE(p.running());
}

// A title file's lines without their date and time, to compare two runs.
std::string titles_without_time(const std::string& path) {
  const std::string text = read_file(path);
  std::string out;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t date_end = line.find("\",");
    const size_t time_end = date_end == std::string::npos ? date_end : line.find("\",", date_end + 2);
    out += (time_end == std::string::npos ? line : line.substr(time_end + 2)) + "\n";
    start = end + 2;
  }
  return out;
}

TEST(Program, RequestsInFlightTogetherGiveWhatOneAfterTheOtherGives) {
  const std::vector<std::string> stations = {
      "fixed-11", "slow-3-12", "status-404~13", "text-kaputt", "drop~14",   "songs-1-2", "seq-5-6",
      "crlf-15",  "umlaut",    "big-10240~16",  "fixed-17",    "slow-3-18", "songs-3-4", "status-500",
      "fixed-19", "seq-20-21", "badjson",       "fixed-22",    "cut~23",    "fixed-24"};
  std::string list;
  for (const auto& s : stations) list += (list.empty() ? "" : ";") + s;
  struct Seen {
    std::wstring first, second;  // the overlay after two polls
    std::string titles;
  };
  auto run = [&](const char* tag, const char* parallel, bool together) {
    Seen seen;
    // Sequences and faults start again, so both runs get the same answers.
    EXPECT_TRUE(sim_control("/_sim/reset"));
    Program p(tag, "stations=" + list + "\r\nwrite_title2file=1\r\nparallel_requests=" + parallel + "\r\n");
    RequestWatch slow("slow-3-12"), last("fixed-24");
    const size_t log_before = sim_request_log().size();
    EXPECT_TRUE(p.start());
    if (together) {
      // The last station is asked while the slow one's answer is still out.
      EXPECT_TRUE(slow.wait_for(1, 30000));
      EXPECT_TRUE(last.wait_for(1, 30000));
      EXPECT_TRUE(logged_before("GET /station/fixed-24/listeners",
                                "ANSWER GET /station/slow-3-12/listeners 200", log_before));
    }
    HWND overlay = overlay_of(p);
    if (!overlay) return seen;
    EXPECT_TRUE(wait_until(
        [&] { return (seen.first = window_text(overlay)).find(L"FIXED-24: ") != std::wstring::npos; }, 60000,
        text_of(overlay)));
    p.post_tray(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(wait_until([&] { return (seen.second = window_text(overlay)) != seen.first; }, 60000,
                           text_of(overlay)));
    for (const auto& s : stations)
      seen.titles += s + ":\n" + titles_without_time(p.folder + "\\titel_" + s + ".txt");
    EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
    EXPECT_FALSE(exists(p.folder + "\\title_from_web.txt"));
    return seen;
  };
  const Seen one = run("oneatatime", "1", false);
  const Seen together = run("together", "8", true);
  EXPECT_EQ(shown(together.first), shown(one.first));
  EXPECT_EQ(shown(together.second), shown(one.second));
  EXPECT_EQ(together.titles, one.titles);
  // Not two runs that failed alike.
  EXPECT_NE(together.first.find(L"SLOW-3-12: 0012\r\n"), std::wstring::npos) << shown(together.first);
  EXPECT_NE(together.first.find(L"DROP~14: 0014\r\n"), std::wstring::npos) << shown(together.first);
  EXPECT_NE(together.second.find(L"SEQ-5-6: 0006\r\n"), std::wstring::npos) << shown(together.second);
  EXPECT_NE(together.titles.find("\n4,\"Titel 4\",\"Band 4\",\"Album 4\",10\n"), std::string::npos)
      << together.titles;
}

TEST(Program, EveryStationOfALongSlowListIsCountedInEveryPoll) {
  std::string list;
  std::wstring expected;
  for (int i = 201; i <= 248; ++i) {
    const std::string name = "slow-3-" + std::to_string(i);
    list += (list.empty() ? "" : ";") + name;
    const std::wstring upper = L"SLOW-3-" + std::to_wstring(i);
    expected += (expected.empty() ? upper + L" : 0" : L"\r\n" + upper + L": 0") + std::to_wstring(i);
  }
  Program p("slowlist", "stations=" + list + "\r\n");
  ASSERT_TRUE(p.start());
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  // 48 answers of 3 s each, eight at a time: about 18 s.
  EXPECT_TRUE(wait_until([&] { return window_text(overlay) == expected; }, 120000, text_of(overlay)));
  EXPECT_EQ(requests_for("slow-3-248"), 1);
}

// Life on a real desktop: the shell, the session and slow answers.

HWND main_of(const Program& p) { return p.window("Klangnetz_frmMain"); }

// Icons in Wine's notification area; zero where Wine docks them elsewhere.
int tray_icons() {
  HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
  int n = 0;
  for (HWND child : children(tray)) n += class_name(child) == L"__winex11_tray_icon";
  return tray ? n : 0;
}

// The listener requests of these stations in the order the simulator got them.
std::string request_order(const std::vector<std::string>& stations) {
  std::string order;
  const std::string log = sim_request_log();
  size_t line_start = 0;
  while (line_start < log.size()) {
    size_t end = log.find('\n', line_start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(line_start, end - line_start);
    for (size_t i = 0; i < stations.size(); ++i) {
      if (line == "GET /station/" + stations[i] + "/listeners") order += static_cast<char>('a' + i);
    }
    line_start = end + 1;
  }
  return order;
}

TEST(LifeCycle, ARestartedShellKeepsOneIconAndTheProgramWorking) {
  Program p("shell", "stations=fixed-54\r\n");
  RequestWatch polls("fixed-54");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  int before = -1;
  ASSERT_TRUE(wait_until([&] { return (before = tray_icons()) >= 0; }, 5000));
  // What a restarted shell broadcasts, to this program only.
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutA(main_of(p), RegisterWindowMessageA("TaskbarCreated"), 0, 0,
                                  SMTO_ABORTIFHUNG, 10000, &answer));
  p.post_tray(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(polls.wait_for(2, 30000));
  EXPECT_EQ(tray_icons(), before);
  EXPECT_TRUE(p.running());
}

// A balloon on screen that was not there before.
::testing::AssertionResult new_balloon_within(const std::set<HWND>& before, DWORD ms) {
  return wait_until(
      [&] {
        for (HWND w : visible_balloons()) {
          if (before.count(w) == 0) return true;
        }
        return false;
      },
      ms, [] { return std::to_string(visible_balloons().size()) + " balloons"; });
}

TEST(LifeCycle, ASecondStartFromTheSameFolderEndsAndTheFirstSaysItRuns) {
  Program first("once", "stations=fixed-93\r\nkeep_history=1\r\n");
  RequestWatch polls("fixed-93");
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  ASSERT_NE(overlay_of(first), nullptr);
  const std::set<HWND> balloons = visible_balloons();
  Program second("once", "stations=fixed-93\r\nkeep_history=1\r\n", sim_base_url(), first.folder);
  ASSERT_TRUE(second.launch());
  DWORD code = 99;
  ASSERT_TRUE(second.ended_within(30000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(new_balloon_within(balloons, 30000));  // "... läuft bereits."
  EXPECT_EQ(top_windows("Klangnetz_frmMain").size(), 1u);
  EXPECT_EQ(top_windows("Klangnetz_frmText").size(), 1u);
  first.post_tray(WM_LBUTTONDBLCLK);
  ASSERT_TRUE(polls.wait_for(2, 30000));
  EXPECT_EQ(polls.arrived(), 2);  // one copy asks

  // A copy in another folder, with its own settings, runs beside it.
  Program other("once_other", "stations=fixed-94\r\nkeep_history=1\r\n");
  RequestWatch other_polls("fixed-94");
  ASSERT_TRUE(other.start());
  EXPECT_TRUE(other_polls.wait_for(1, 30000));
  EXPECT_TRUE(first.running());
  EXPECT_EQ(top_windows("Klangnetz_frmMain").size(), 2u);
  // Each folder keeps a history of its own stations.
  EXPECT_TRUE(wait_until(
      [&] { return read_file(history_file(other.folder, "fixed-94")).find(";fixed-94;94;") != std::string::npos; },
      30000));
  EXPECT_NE(read_file(history_file(first.folder, "fixed-93")).find(";fixed-93;93;"), std::string::npos);
  EXPECT_FALSE(exists(history_file(first.folder, "fixed-94")));
  EXPECT_FALSE(exists(history_file(other.folder, "fixed-93")));
}

TEST(LifeCycle, ACloseEndsItLikeBeenden) {
  Program p("close", "stations=fixed-51\r\n");
  RequestWatch polls("fixed-51");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  PostMessageA(main_of(p), WM_CLOSE, 0, 0);  // taskkill without /F
  DWORD code = 99;
  ASSERT_TRUE(p.ended_within(10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
}

TEST(LifeCycle, OnlyTheEndOfTheSessionEndsIt) {
  Program p("logoff", "stations=fixed-52\r\n");
  RequestWatch polls("fixed-52");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(polls.wait_for(1, 30000));
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutA(main_of(p), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer));
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
  EXPECT_TRUE(stays_true([&] { return p.running(); }, 1500));  // another program may still cancel
  PostMessageA(main_of(p), WM_ENDSESSION, TRUE, 0);
  DWORD code = 99;
  ASSERT_TRUE(p.ended_within(10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
}

TEST(LifeCycle, ACloseDuringAPollEndsItWithoutWaitingForTheAnswer) {
  Program p("closepoll", "stations=slow-20-53;fixed-53\r\nwrite_title2file=1\r\n");
  RequestWatch slow("slow-20-53");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(slow.wait_for(1, 30000));
  PostMessageA(main_of(p), WM_CLOSE, 0, 0);
  DWORD code = 99;
  // Long before the slow answer or the time limit.
  ASSERT_TRUE(p.ended_within(8000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(exists(p.folder + "\\file_from_web.txt"));
  EXPECT_FALSE(exists(p.folder + "\\title_from_web.txt"));
  EXPECT_FALSE(exists(p.folder + "\\titel_fixed-53.txt"));  // the poll ended before it got there
}

// The menu opens during a poll now (it no longer waits for the poll's end); what
// matters here is that double-clicks during a poll never start one inside it.
TEST(LifeCycle, PollsNeverRunInsideEachOtherAndTheMenuOpensDuringAPoll) {
  // One request at a time, so the order at the server shows whether polls nest.
  Program p("nest", "stations=slow-1-56;slow-1-57\r\nUpdateInterval=0\r\nparallel_requests=1\r\n");
  RequestWatch second("slow-1-57");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(second.wait_for(1, 30000));
  SetCursorPos(1200, 780);
  for (int i = 0; i < 10; ++i) p.post_tray(WM_LBUTTONDBLCLK);
  p.post_tray(WM_RBUTTONUP);
  HWND menu = nullptr;
  ASSERT_TRUE(wait_until([&] { return (menu = p.window("#32768")) != nullptr && IsWindowVisible(menu); },
                         30000, {}, 1));
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(wait_until([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 10000));
  // Polls go on behind the menu and after it, each asking both stations in turn.
  ASSERT_TRUE(second.wait_for(5, 60000));
  const std::string order = request_order({"slow-1-56", "slow-1-57"});
  for (size_t i = 0; i + 1 < order.size(); ++i) {
    ASSERT_NE(order[i], order[i + 1]) << "a poll started inside another: " << order;
  }
  EXPECT_TRUE(p.running());
}

}  // namespace

namespace {

// A window of this test that covers the primary monitor and takes the foreground:
// borderless like a film player, or maximized with a caption like an editor.
HWND cover_primary_monitor(bool caption) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  const RECT& m = info.rcMonitor;
  const DWORD style = WS_VISIBLE | (caption ? WS_OVERLAPPEDWINDOW | WS_MAXIMIZE : WS_POPUP);
  HWND w = CreateWindowExW(0, L"STATIC", L"Vollbild", style, m.left, m.top, m.right - m.left,
                           m.bottom - m.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(w);
  return w;
}

// With the option off, four failed polls bring no balloon; with it on, the second
// failed poll does (Wine's tray shows it a moment later, from its own process).
TEST(Notices, AStationThatStopsAnsweringBringsABalloonOnlyWithTheOptionOn) {
  const std::set<HWND> before = visible_balloons();
  std::set<HWND> appeared;
  const auto look = [&] {
    for (HWND w : visible_balloons()) {
      if (before.count(w) == 0) appeared.insert(w);
    }
  };
  Program off("notice_off", "stations=status-502\r\nUpdateInterval=0\r\n");
  ASSERT_TRUE(off.start());
  ASSERT_TRUE(wait_until(
      [&] {
        look();
        return requests_for("status-502") >= 4;
      },
      60000));
  Program on("notice_on", "stations=status-504\r\nUpdateInterval=0\r\nnotify_no_answer=1\r\n");
  ASSERT_TRUE(on.start());
  int polls_then = 0;
  ASSERT_TRUE(wait_until(
      [&] {
        look();
        polls_then = requests_for("status-504");
        return !appeared.empty();
      },
      60000));
  EXPECT_GE(polls_then, 2);
  look();
  EXPECT_EQ(appeared.size(), 1u) << "a balloon from the program without the option";
}

TEST(Fullscreen, AFullScreenProgramHidesTheOverlayWhilePollsGoOn) {
  Program p("full", "stations=fixed-71\r\nhide_in_fullscreen=1\r\nUpdateInterval=0\r\n");
  RequestWatch polls("fixed-71");
  ASSERT_TRUE(p.start());
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  ASSERT_TRUE(wait_until([&] { return IsWindowVisible(overlay) != FALSE; }, 30000));
  HWND film = cover_primary_monitor(false);
  ASSERT_NE(film, nullptr);
  EXPECT_TRUE(wait_until([&] { return IsWindowVisible(overlay) == FALSE; }, 10000)) << "(hidden)";
  const int seen = polls.arrived();
  EXPECT_TRUE(polls.wait_for(seen + 2, 30000)) << "(polls while hidden)";
  DestroyWindow(film);
  EXPECT_TRUE(wait_until([&] { return IsWindowVisible(overlay) != FALSE; }, 10000)) << "(shown again)";
  EXPECT_EQ(window_text(overlay), L"FIXED-71 : 0071");
  EXPECT_GT(height_of(overlay), 0);
}

TEST(Fullscreen, AMaximizedWindowOrTheOptionOffHidesNothing) {
  Program p("maxi", "stations=fixed-72\r\nhide_in_fullscreen=1\r\n");
  ASSERT_TRUE(p.start());
  HWND overlay = overlay_of(p);
  ASSERT_NE(overlay, nullptr);
  ASSERT_TRUE(wait_until([&] { return IsWindowVisible(overlay) != FALSE; }, 30000));
  HWND editor = cover_primary_monitor(true);
  EXPECT_TRUE(stays_true([&] { return IsWindowVisible(overlay) != FALSE; }, 2500)) << "(maximized)";
  DestroyWindow(editor);

  Program q("fulloff", "stations=fixed-73\r\n");
  ASSERT_TRUE(q.start());
  HWND overlay_q = overlay_of(q);
  ASSERT_NE(overlay_q, nullptr);
  ASSERT_TRUE(wait_until([&] { return IsWindowVisible(overlay_q) != FALSE; }, 30000));
  HWND film = cover_primary_monitor(false);
  EXPECT_TRUE(stays_true([&] { return IsWindowVisible(overlay_q) != FALSE; }, 2500)) << "(option off)";
  DestroyWindow(film);
}

}  // namespace
