// The desktop program's portable per-poll work: a poll over 20 stations with a
// host that answers at once (no downloads, no window), and the overlay's preparation
// of the text the poll hands over, as frmText does before it draws.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/poll.h"
#include "core/settings.h"
#include "core/text_util.h"
#include "core/title_files.h"
#include "inputs.h"
#include "overlay/layout.h"

namespace {

const char* const kStations =
    "nachtradio;schoene lieder;koelner hits;muenchen live;jazz am abend;rock 24;blues haus;"
    "sommer mix;oldies;chor und orgel;ueberall pop;aerger radio;morgenmusik;club nacht;"
    "schlager;klassik;country;metal;indie;hoerspiel";

// Every answer there at once.
struct AtOnce : kn::PollRequests {
  std::vector<kn::Answer> answers;
  std::optional<kn::Answer> outcome(std::size_t i) override { return answers[i]; }
};

struct Host : kn::PollIo, kn::PollView {
  kn::AppState& app;
  std::vector<std::string> answers;
  std::string song;
  std::size_t next = 0;
  std::size_t lines_written = 0;
  int64_t sink = 0;

  explicit Host(kn::AppState& a) : app(a), song(kn::bench::song_json()) {
    kn::bench::Rng rng;
    for (int i = 0; i < 20; ++i) answers.push_back(std::to_string(rng.below(5000)) + "\r\n");
  }

  void set_tray_busy(bool) override {}
  void delete_listener_file() override {}
  std::unique_ptr<kn::PollRequests> start_requests(const std::vector<kn::BatchRequest>& requests,
                                                   std::function<void()>) override {
    auto made = std::make_unique<AtOnce>();
    for (const auto& r : requests) {
      sink += static_cast<int64_t>(r.url.size());
      made->answers.push_back(r.max_bytes == kn::kSongAnswerLimit ? song : answers[next++ % answers.size()]);
    }
    return made;
  }
  std::string listener_text(const kn::Answer& answer) override { return answer.value_or(std::string()); }
  // What frmText does with a new text before the renderer measures and draws it.
  void set_Print_Text(std::string& text) override {
    text = kn::umlauts_from_pairs(text);
    const kn::OverlayStyle style = kn::style_from_settings(app.settings);
    const int32_t lines = kn::count_lines(text, true);
    const int32_t height = kn::draw_height_px(lines, style.text_size, 15.0);
    // The measured width comes from GDI+; a fixed one stands in for it.
    const int32_t width = kn::new_text_draw_width(420, style.text_size);
    kn::PlacementInput in;
    in.window_width_twips = width * 15.0;
    in.window_height_twips = kn::height_twips(lines, style.text_size);
    in.screen_width_px = 1920;
    in.screen_height_px = 1080;
    in.taskbar_height_px = 40;
    const kn::PlacementTwips at = kn::place_overlay(in);
    sink += height + static_cast<int64_t>(at.left + at.top) + kn::to_argb(style.fill_colour, style.opacity);
    sink += static_cast<int64_t>(kn::split_lines(text).size());
  }
  void start_change_display() override {}
  void poll_limit_timer(bool) override {}
  int32_t current_song(const std::string&, const kn::Answer& answer, int32_t last_id,
                       const std::string& count_text) override {
    return kn::handle_current_song(
        answer.value_or(std::string()), last_id, count_text,
        [this](const std::string& line) {
          lines_written += line.size();
          return true;
        },
        [] { return std::pair<std::string, std::string>("21.06.2024", "20:15:03"); });
  }
};

kn::History fixed_clock_history() {
  return kn::History([] { return std::pair<std::string, std::string>("21.06.2024", "20:15:03"); });
}

void configure(kn::AppState& app, bool title_files) {
  app.settings.stations = kStations;
  app.settings.api_base_url = "http://api.klangnetz.de";
  app.settings.write_title2file = title_files;
  kn::build_station_list(app.settings.stations, app.station_list);
  app.history = fixed_clock_history();
}

// The history starts empty every poll, so only the poll's own work is measured.
void poll(benchmark::State& state, bool title_files) {
  kn::AppState app;
  configure(app, title_files);
  Host host(app);
  for (auto _ : state) {
    app.history.init_history();
    kn::Poll(app, host, host, {}).advance();
  }
  benchmark::DoNotOptimize(host.sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// A program that has run for days: every station's history is at its limit, so each
// sample also drops the station's oldest one.
void poll_full_history(benchmark::State& state) {
  kn::AppState app;
  configure(app, false);
  Host host(app);
  for (std::size_t i = 0; i < kn::kMaxSamplesPerStation; ++i) kn::Poll(app, host, host, {}).advance();
  for (auto _ : state) kn::Poll(app, host, host, {}).advance();
  benchmark::DoNotOptimize(host.sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK_CAPTURE(poll, plain, false)->Name("pipeline_poll/20 stations")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(poll, titles, true)
    ->Name("pipeline_poll/20 stations, title files")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(poll_full_history)->Name("pipeline_poll/20 stations, full history")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
