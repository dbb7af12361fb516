// One poll as the program makes it (requests, the answer files, counts, history,
// title lines), timed from its start to its last applied answer, against the simulator.
// Usage: poll_bench BASE_URL SIM_LOG PARALLEL TITLES POLLS [STATIONS]
// Prints one POLL line per poll: milliseconds and new connections the simulator saw.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/poll.h"
#include "now_ms.h"
#include "platform/poll_io_win.h"

namespace {

int connections(const std::string& log) {
  std::ifstream in(log);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.rfind("CONNECTION ", 0) == 0;
  return n;
}

// The program's own I/O; only the view and the wake-up differ.
class BenchHost : public kn::PollView {
 public:
  explicit BenchHost(kn::AppState& app)
      : app_(app), io_(app), answer_ready_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~BenchHost() override { CloseHandle(answer_ready_); }
  void set_tray_busy(bool) override {}
  void set_Print_Text(std::string& text) override { shown = text; }
  void start_change_display() override {}
  void poll_limit_timer(bool) override {}
  // One poll to its end, as the program's message loop runs it.
  void poll() {
    HANDLE ready = answer_ready_;
    kn::Poll poll(app_, io_, *this, [ready] { SetEvent(ready); });
    while (!poll.advance()) WaitForSingleObject(answer_ready_, 250);
  }
  std::string shown;

 private:
  kn::AppState& app_;
  kn::SystemPollIo io_;
  HANDLE answer_ready_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: poll_bench BASE_URL SIM_LOG PARALLEL TITLES POLLS [STATIONS]\n");
    return 2;
  }
  kn::AppState app;
  app.settings.api_base_url = argv[1];
  const std::string log = argv[2];
  app.settings.parallel_requests = static_cast<int16_t>(std::atoi(argv[3]));
  app.settings.write_title2file = std::atoi(argv[4]) != 0;
  const int polls = std::atoi(argv[5]);
  std::string stations;
  const int count = argc == 7 ? std::atoi(argv[6]) : 20;
  for (int i = 1; i <= count; ++i) {
    if (i > 1) stations += ';';
    stations += "sender-";
    stations += std::to_string(i);
  }
  app.settings.stations = stations;
  kn::build_station_list(app.settings.stations, app.station_list);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = temp;
  folder += "kn-poll-bench-";
  folder += std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  app.program_folder = folder;
  BenchHost host(app);
  for (int poll = 1; poll <= polls; ++poll) {
    const int before = connections(log);
    const double start = now_ms();
    host.poll();
    const double ms = now_ms() - start;
    const std::string& t = host.shown;
    const int answered = static_cast<int>(t.find(": \r\n") == std::string::npos &&
                                          (t.size() < 2 || t.compare(t.size() - 2, 2, ": ") != 0));
    std::printf("POLL parallel=%d titles=%d poll=%d ms=%.0f new_connections=%d all_answered=%d stations=%d\n",
                app.settings.parallel_requests, app.settings.write_title2file ? 1 : 0, poll, ms, connections(log) - before,
                answered, count);
    std::fflush(stdout);
  }
  return 0;
}
