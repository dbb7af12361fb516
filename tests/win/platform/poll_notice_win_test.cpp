// A station that stops answering and comes back, as the user is told: the poll, its
// requests over WinINet to the simulator, and the notices into a tray that records.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/tray_presence.h"
#include "common/win_test_util.h"
#include "core/answer_watch.h"
#include "core/poll_runner.h"
#include "platform/poll_io_win.h"

namespace kn {
namespace {

constexpr UINT kAnswerReady = WM_APP + 1;

struct RecordingTray : TrayShell {
  std::vector<std::string> balloons;
  bool add() override { return true; }
  bool modify() override { return true; }
  bool balloon(const std::string& text) override {
    balloons.push_back(text);
    return true;
  }
};

// The poll's view, without a window; its I/O is the program's own.
class View : public PollView {
 public:
  void set_tray_busy(bool) override {}
  void set_Print_Text(std::string& text) override { shown.push_back(text); }
  void start_change_display() override {}
  void poll_limit_timer(bool) override {}
  std::vector<std::string> shown;
};

TEST(PollNotices, AStationThatFailsTwiceIsReportedOnceAndAgainWhenItAnswers) {
  ASSERT_FALSE(test::sim_base_url().empty()) << "simulator not running";
  AppState app;
  app.program_folder = test::make_temp_folder("notices");
  app.settings.api_base_url = test::sim_base_url();
  app.settings.notify_no_answer = true;
  app.settings.stations = "seq-71-status500-status503-72";
  build_station_list(app.settings.stations, app.station_list);

  RecordingTray shell;
  TrayPresence tray(shell);
  ASSERT_TRUE(tray.ensure());
  AnswerNotifier notifier(app.settings, [&](const std::string& text) { tray.balloon(text); });
  SystemPollIo io(app);
  View view;
  int poll = 0;
  const DWORD thread = GetCurrentThreadId();
  PollRunner runner(app, io, view,
                    {.answer_ready = [thread] { PostThreadMessageW(thread, kAnswerReady, 0, 0); },
                     .ended = [&](const std::vector<StationResult>& results,
                                  const std::string& began) { notifier.poll_ended(results, began); },
                     .now_text =
                         [&] {
                           std::string time(1, 'T');
                           return time += std::to_string(poll);
                         }});
  notifier.list_rebuilt();

  for (poll = 1; poll <= 5; ++poll) {
    runner.request();
    MSG msg;
    while (runner.running() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == kAnswerReady) runner.advance();
    }
  }
  EXPECT_EQ(view.shown, (std::vector<std::string>{
                            "SEQ-71-STATUS500-STATUS503-72 : 0071", "SEQ-71-STATUS500-STATUS503-72 : ",
                            "SEQ-71-STATUS500-STATUS503-72 : ", "SEQ-71-STATUS500-STATUS503-72 : 0072",
                            "SEQ-71-STATUS500-STATUS503-72 : 0072"}));
  EXPECT_EQ(shell.balloons,
            (std::vector<std::string>{"Keine Antwort von SEQ-71-STATUS500-STATUS503-72 seit T2.",
                                      "SEQ-71-STATUS500-STATUS503-72 antwortet wieder: 72 H\xC3\xB6rer."}));
}

}  // namespace
}  // namespace kn
