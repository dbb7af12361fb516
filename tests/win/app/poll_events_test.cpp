// A poll while the program goes on: the main window in this process, its answers
// coming in on this thread's message loop from the simulator.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/program.h"
#include "common/poll_wait.h"
#include "common/win_test_util.h"
#include "core/text_util.h"
#include "win/ansi_win.h"

namespace kn {
namespace {


class PollEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(test::sim_base_url().empty()) << "simulator not running";
    ASSERT_TRUE(frm_.startup(GetModuleHandleA(nullptr)));
    ASSERT_TRUE(test::run_poll_to_end(frm_));  // the start's poll, of no stations
    AppState& app = frm_.app();
    app.program_folder = test::make_temp_folder("pollevents");
    app.settings.api_base_url = test::sim_base_url();
    app.settings.update_interval = 3;
  }
  void stations(const std::string& list) {
    frm_.app().settings.stations = list;
    build_station_list(list, frm_.app().station_list);
  }
  // The listener requests the simulator has logged for each station so far.
  static std::vector<int> requests_of(const std::vector<std::string>& names) {
    std::vector<int> n;
    for (const auto& name : names) n.push_back(test::requests_for(name));
    return n;
  }
  // Hands out messages until the simulator has seen one more listener request for each
  // station than `before`; false when the poll ended first.
  bool wait_for_requests(const std::vector<std::string>& names, const std::vector<int>& before) {
    for (;;) {
      bool all = true;
      for (size_t i = 0; i < names.size(); ++i) all = all && test::requests_for(names[i]) > before[i];
      if (all) return true;
      if (!frm_.poll_running()) return false;
      if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      }
    }
  }
  // Hands out messages until the one-second timer has ticked; the tooltip then.
  std::string next_tick_tip() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      const bool tick = msg.message == WM_TIMER && msg.hwnd == frm_.main_window() && msg.wParam == kCountdownTimer;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (tick) return frm_.tray_tip();
    }
    return {};
  }

  Program frm_;
};

const std::string kBusy = utf8_to_ansi(kBusyTip);

std::string countdown(int seconds) { return utf8_to_ansi(countdown_tooltip(seconds)); }

// The seconds a countdown tooltip names; -1 for another tooltip.
int seconds_of(const std::string& tip) {
  for (int s = 0; s <= 3 * 60; ++s) {
    if (tip == countdown(s)) return s;
  }
  return -1;
}

TEST_F(PollEvents, TheTooltipStaysBusyForTheWholePollAndTheCountdownWaitsForIt) {
  stations("slow-3-61;fixed-62");
  const std::string before = next_tick_tip();
  const int remaining = seconds_of(before);
  ASSERT_GT(remaining, 0) << before;
  frm_.check_stations();
  int ticks = 0;
  std::string off_tip;
  ASSERT_TRUE(test::run_poll_to_end(frm_, [&](const MSG& msg) {
    if (msg.message == WM_TIMER && msg.hwnd == frm_.main_window() && msg.wParam == kCountdownTimer) ++ticks;
    if (frm_.poll_running() && frm_.tray_tip() != kBusy) off_tip = frm_.tray_tip();
  }));
  EXPECT_GE(ticks, 2) << "the slow answer came before two ticks";
  EXPECT_EQ(off_tip, "");
  EXPECT_EQ(frm_.frmText().get_text(), "SLOW-3-61 : 0061\r\nFIXED-62: 0062");
  // The ticks during the poll counted nothing.
  EXPECT_EQ(next_tick_tip(), countdown(remaining - 1));
}

// A preview (the side-by-side box) while the poll's answers take six seconds: the
// preview's own poll asks anew and shows every count.
TEST_F(PollEvents, APreviewDuringAPollShowsEveryCountWhenItsOwnPollEnds) {
  stations("slow-6-71;slow-6-72");
  const std::vector<std::string> names{"slow-6-71", "slow-6-72"};
  const std::vector<int> before = requests_of(names);
  frm_.check_stations();
  ASSERT_TRUE(wait_for_requests(names, before));
  frm_.app().settings.horizontal = 1;
  frm_.restart_poll();
  ASSERT_TRUE(test::run_poll_to_end(frm_));
  EXPECT_EQ(frm_.frmText().get_text(), "SLOW-6-71 : 0071 -- SLOW-6-72: 0072");
  EXPECT_EQ(frm_.tray_tip(), utf8_to_ansi(kIdleTip));
}

// "&Speichern" while the poll of the saved settings waits: the new poll counts every
// station, and each song goes into its title file once, also after the next poll.
TEST_F(PollEvents, ASaveDuringAPollCountsEveryStationAndWritesEachSongOnce) {
  AppState& app = frm_.app();
  app.settings_file = app.program_folder + "\\Klangnetz_DesktopTool.ini";
  {
    std::ofstream ini(app.settings_file, std::ios::binary);
    ini << "[Konfig]\r\nstations=slow-6-73;slow-6-74\r\nwrite_title2file=1\r\napi_base_url="
        << test::sim_base_url() << "\r\n";
  }
  const std::vector<std::string> names{"slow-6-73", "slow-6-74"};
  const std::vector<int> before = requests_of(names);
  frm_.Load_Konfig();
  ASSERT_TRUE(wait_for_requests(names, before));
  frm_.Load_Konfig();
  ASSERT_TRUE(test::run_poll_to_end(frm_));
  EXPECT_EQ(frm_.frmText().get_text(), "SLOW-6-73 : 0073\r\nSLOW-6-74: 0074");
  const auto lines = [&](const char* station) {
    return test::count_of(test::read_file(app.program_folder + "\\titel_" + station + ".txt"), "\n");
  };
  EXPECT_EQ(lines("slow-6-73"), 1);
  EXPECT_EQ(lines("slow-6-74"), 1);
  frm_.check_stations();  // the same songs still play
  ASSERT_TRUE(test::run_poll_to_end(frm_));
  EXPECT_EQ(lines("slow-6-73"), 1);
  EXPECT_EQ(lines("slow-6-74"), 1);
}

// A server over its rate limit answers every second request with 429 and
// "Retry-After: 1": the request waits and asks again, and every count is shown.
TEST_F(PollEvents, AServerThatAsksToSlowDownStillGivesEveryCount) {
  stations("busy-81;busy-82;busy-83");
  const int before = test::requests_for("busy-82");
  for (int poll = 1; poll <= 2; ++poll) {
    frm_.check_stations();
    ASSERT_TRUE(test::run_poll_to_end(frm_));
    EXPECT_EQ(frm_.frmText().get_text(), "BUSY-81 : 0081\r\nBUSY-82: 0082\r\nBUSY-83: 0083")
        << "poll " << poll;
  }
  EXPECT_EQ(test::requests_for("busy-82"), before + 3);  // the second poll asked twice
}

struct MenuProbe {
  Program* frm = nullptr;
  bool seen = false, running = false;
  std::string tip;
  size_t samples = 0;
};
MenuProbe g_probe;

void CALLBACK look_at_menu(HWND, UINT, UINT_PTR id, DWORD) {
  HWND menu = FindWindowA("#32768", nullptr);
  if (!menu || !IsWindowVisible(menu)) return;
  KillTimer(nullptr, id);
  g_probe.seen = true;
  g_probe.running = g_probe.frm->poll_running();
  g_probe.tip = g_probe.frm->tray_tip();
  g_probe.samples = g_probe.frm->app().history.sample_count();
  EndMenu();
}

TEST_F(PollEvents, TheMenuOpensWhileAnAnswerIsStillOutstanding) {
  stations("fixed-63;slow-12-64");
  const size_t samples = frm_.app().history.sample_count();
  const int asked = test::requests_for("slow-12-64");
  frm_.check_stations();
  // Once the slow request is out, the right button on the tray icon.
  MSG msg;
  while (test::requests_for("slow-12-64") == asked && frm_.poll_running()) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  }
  ASSERT_TRUE(frm_.poll_running()) << "the slow answer came before the menu was asked for";
  SetCursorPos(1200, 780);
  g_probe = MenuProbe{};
  g_probe.frm = &frm_;
  const UINT_PTR probe = SetTimer(nullptr, 0, 50, look_at_menu);
  PostMessageW(frm_.tray_window(), kTrayCallbackMessage, 0, WM_RBUTTONUP);
  ASSERT_TRUE(test::run_poll_to_end(frm_));
  KillTimer(nullptr, probe);
  ASSERT_TRUE(g_probe.seen) << "no menu during the poll";
  EXPECT_TRUE(g_probe.running);
  EXPECT_EQ(g_probe.tip, kBusy);
  EXPECT_EQ(g_probe.samples, samples + 1) << "only the first station was applied behind the menu";
  EXPECT_EQ(frm_.app().history.sample_count(), samples + 2);
}

}  // namespace
}  // namespace kn
