// A station that stops answering and comes back, as the user is told: the poll, its
// requests over WinINet to the simulator, and the notices into a tray that records.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/tray_presence.h"
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

// The poll's host as the program has it, without a window: its I/O half is the
// program's own, and each answer is a message on this thread's queue.
class Host : public PollHost {
 public:
  explicit Host(AppState& app) : io_(app), thread_(GetCurrentThreadId()) {}
  void set_tray_busy(bool) override {}
  void delete_listener_file() override { io_.delete_listener_file(); }
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& requests) override {
    const DWORD thread = thread_;
    return io_.start_requests(requests, [thread] { PostThreadMessageW(thread, kAnswerReady, 0, 0); });
  }
  std::string listener_text(const Answer& answer) override { return io_.listener_text(answer); }
  void set_Print_Text(std::string& text) override { shown.push_back(text); }
  void start_change_display() override {}
  int32_t current_song(const std::string& name, const Answer& answer, int32_t last_id,
                       const std::string& count_text) override {
    return io_.current_song(name, answer, last_id, count_text);
  }
  std::vector<std::string> shown;

 private:
  PollIo io_;
  DWORD thread_;
};

TEST(PollNotices, AStationThatFailsTwiceIsReportedOnceAndAgainWhenItAnswers) {
  ASSERT_FALSE(test::sim_base_url().empty()) << "simulator not running";
  AppState app;
  app.program_folder = test::make_temp_folder("notices");
  app.api_base_url = test::sim_base_url();
  app.notify_no_answer = true;
  app.stations = "seq-71-status500-status503-72";
  build_station_list(app.stations, app.station_list);

  RecordingTray shell;
  TrayPresence tray(shell);
  ASSERT_TRUE(tray.ensure());
  AnswerNotifier notifier(app, [&](const std::string& text) { tray.balloon(text); });
  Host host(app);
  int poll = 0;
  PollRunner runner(
      app, host,
      [&](const std::vector<StationResult>& results, const std::string& began) {
        notifier.poll_ended(results, began);
      },
      [&] {
        std::string time(1, 'T');
        return time += std::to_string(poll);
      });
  notifier.list_rebuilt();

  for (poll = 1; poll <= 5; ++poll) {
    runner.request();
    MSG msg;
    while (runner.running() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == kAnswerReady) runner.advance();
    }
  }
  EXPECT_EQ(host.shown, (std::vector<std::string>{
                            "SEQ-71-STATUS500-STATUS503-72 : 0071", "SEQ-71-STATUS500-STATUS503-72 : ",
                            "SEQ-71-STATUS500-STATUS503-72 : ", "SEQ-71-STATUS500-STATUS503-72 : 0072",
                            "SEQ-71-STATUS500-STATUS503-72 : 0072"}));
  EXPECT_EQ(shell.balloons,
            (std::vector<std::string>{"Keine Antwort von SEQ-71-STATUS500-STATUS503-72 seit T2.",
                                      "SEQ-71-STATUS500-STATUS503-72 antwortet wieder: 72 H\xC3\xB6rer."}));
}

}  // namespace
}  // namespace kn
