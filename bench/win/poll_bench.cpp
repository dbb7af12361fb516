// One poll as the program makes it (requests, the answer files, counts, history,
// title lines), timed from the outside of check_stations, against the simulator.
// Usage: poll_bench BASE_URL SIM_LOG PARALLEL TITLES POLLS
// Prints one POLL line per poll: milliseconds and new connections the simulator saw.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/download.h"
#include "core/poll.h"
#include "core/title_files.h"
#include "now_ms.h"
#include "win/ansi_win.h"

namespace {

int connections(const std::string& log) {
  std::ifstream in(log);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.rfind("CONNECTION ", 0) == 0;
  return n;
}

class BenchHost : public kn::PollHost {
 public:
  BenchHost(kn::AppState& app, std::string folder) : app_(app), folder_(std::move(folder)) {}
  void set_tray_busy(bool) override {}
  void delete_listener_file() override { kn::delete_file_quietly(folder_ + "\\" + kn::kListenerFile); }
  void begin_requests(const std::vector<std::string>& stations) override {
    std::vector<kn::BatchRequest> requests;
    for (const auto& name : stations) {
      requests.push_back({kn::listeners_url(app_.api_base_url, name), kn::kListenerAnswerLimit});
      if (app_.write_title2file)
        requests.push_back({kn::current_song_url(app_.api_base_url, name), kn::kSongAnswerLimit});
    }
    batch_ = kn::start_requests(requests, static_cast<unsigned>(app_.parallel_requests));
  }
  void end_requests() override { batch_.reset(); }
  std::string fetch_listeners(const std::string& url) override {
    return kn::fetch_to_file(batch_.get(), url, folder_ + "\\" + kn::kListenerFile, kn::kListenerAnswerLimit);
  }
  void set_Print_Text(std::string& text) override { shown = text; }
  void start_change_display() override {}
  int32_t fetch_current_song(const std::string& name, int32_t last_id,
                             const std::string& count_text) override {
    if (!app_.write_title2file) return 0;
    const std::string answer = kn::fetch_to_file(batch_.get(), kn::current_song_url(app_.api_base_url, name),
                                                 folder_ + "\\" + kn::kTitleFile, kn::kSongAnswerLimit);
    return kn::handle_current_song(
        answer, last_id, count_text,
        [&](const std::string& line) { return kn::append_title_line(folder_, name, line); },
        [] { return std::pair(kn::current_date_text(), kn::current_time_text()); });
  }
  std::string shown;

 private:
  kn::AppState& app_;
  std::string folder_;
  std::unique_ptr<kn::RequestBatch> batch_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: poll_bench BASE_URL SIM_LOG PARALLEL TITLES POLLS\n");
    return 2;
  }
  kn::AppState app;
  app.api_base_url = argv[1];
  const std::string log = argv[2];
  app.parallel_requests = static_cast<int16_t>(std::atoi(argv[3]));
  app.write_title2file = std::atoi(argv[4]) != 0;
  const int polls = std::atoi(argv[5]);
  std::string stations;
  for (int i = 1; i <= 20; ++i) {
    if (i > 1) stations += ';';
    stations += "sender-";
    stations += std::to_string(i);
  }
  app.stations = stations;
  kn::build_station_list(app.stations, app.station_list);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = temp;
  folder += "kn-poll-bench-";
  folder += std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  BenchHost host(app, folder);
  for (int poll = 1; poll <= polls; ++poll) {
    const int before = connections(log);
    const double start = now_ms();
    kn::check_stations(app, host);
    const double ms = now_ms() - start;
    const int answered = static_cast<int>(host.shown.find(": \r\n") == std::string::npos);
    std::printf("POLL parallel=%d titles=%d poll=%d ms=%.0f new_connections=%d all_answered=%d\n",
                app.parallel_requests, app.write_title2file ? 1 : 0, poll, ms, connections(log) - before,
                answered);
    std::fflush(stdout);
  }
  return 0;
}
