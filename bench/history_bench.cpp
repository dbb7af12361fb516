// The listener history file at a year's size: six stations polled every minute, made
// once into a file on disk (KN_BENCH_DIR, else the temporary folder). Appending one
// poll, reading a station's range through pread, pruning the file. Nothing to
// compare with: plain times, and the peak memory a year's read adds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/history_file.h"
#include "core/history_range.h"
#include "filesafe/filesafe.h"
#include "stats/history_plot.h"
#include "generator.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kStations = {"Radio Eins", "Sender \xC3\x84rger", "Klassik Radio",
                                            "Nachtwelle", "Jazz am Abend",       "Rock 24"};
const std::string kAsked = kStations[1];

struct YearFile {
  fs::path dir;
  std::string path;
  uint64_t size = 0;
  int64_t end_utc = 0;  // the last poll
  kn::histgen::Totals totals;

  YearFile() {
    const char* base = std::getenv("KN_BENCH_DIR");
    dir = fs::path(base && *base ? base : fs::temp_directory_path().string()) /
          ("kn_history_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    path = (dir / kn::kHistoryFileName).string();
    kn::histgen::Options o;
    o.stations = kStations;
    o.days = 365;
    o.interval_minutes = 1;
    o.end_local = kn::civil_seconds(2026, 12, 9, 12, 0, 0);
    o.offset_minutes = 60;
    o.summer_time = true;
    end_utc = o.end_local - 3600;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string buffer;
    totals = kn::histgen::generate(o, [&](std::string_view bytes) {
      buffer += bytes;
      if (buffer.size() >= (1 << 20)) {
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        buffer.clear();
      }
    });
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.close();
    size = fs::file_size(path);
  }
  ~YearFile() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

const YearFile& year() {
  static const YearFile file;
  return file;
}

std::string read_at(int fd, uint64_t at, size_t n) {
  std::string bytes(n, '\0');
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, bytes.data() + got, n - got, static_cast<off_t>(at + got));
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  bytes.resize(got);
  return bytes;
}

// The peak resident size from now on, in KiB: Linux resets the high-water mark on
// request, so a second run does not hide behind the first one's peak.
bool reset_peak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return static_cast<bool>(clear);
}
long peak_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::vector<kn::HistorySample> read_range(int64_t days) {
  const YearFile& y = year();
  const int fd = open(y.path.c_str(), O_RDONLY);
  struct stat st {};
  fstat(fd, &st);
  const int64_t to = y.end_utc + 60;
  auto samples = kn::read_station_range(
      static_cast<uint64_t>(st.st_size), [fd](uint64_t at, size_t n) { return read_at(fd, at, n); }, kAsked,
      to - days * 86400, to);
  close(fd);
  return samples;
}

void history_read(benchmark::State& state, int64_t days) {
  size_t samples = 0;
  for (auto _ : state) {
    const auto got = read_range(days);
    benchmark::DoNotOptimize(got.data());
    samples = got.size();
  }
  state.counters["samples"] = static_cast<double>(samples);
  // Once more outside the timing: what the read adds to the peak, the result included.
  const bool reset = reset_peak();
  const long before = peak_kib();
  samples = read_range(days).size();
  state.counters["peak_growth_MiB"] = static_cast<double>(peak_kib() - before) / 1024.0;
  if (!reset) state.counters["peak_not_reset"] = 1;
}

// The statistics window's surface at its design size, drawing nothing: what is
// timed is the reading, thinning and the plot's own work.
class NullSurface : public kn::DrawSurface {
 public:
  int32_t inner_width() const override { return 600; }
  int32_t inner_height() const override { return 110; }
  int border_style() const override { return 1; }
  uint32_t background() const override { return 0; }
  void set_background(uint32_t) override {}
  void clear() override {}
  void line(float, float, float, float, uint32_t) override { ++calls; }
  void rectangle(float, float, float, float, uint32_t) override { ++calls; }
  size_t calls = 0;
};

// A range as the window shows it: read, thinned to the columns, drawn.
void history_show(benchmark::State& state, int64_t days) {
  NullSurface surface;
  const int64_t to = year().end_utc + 60;
  for (auto _ : state) {
    kn::HistoryPlot plot;
    plot.set_data(read_range(days), to - days * 86400, to, kn::gap_seconds(1), 60);
    plot.draw(surface);
    benchmark::DoNotOptimize(plot.columns().data());
  }
  state.counters["draw_calls"] = static_cast<double>(surface.calls) / static_cast<double>(state.iterations());
}

// One poll's rows as the program appends them: open, look at the end, write, flush
// to the disk, close.
void history_append_poll(benchmark::State& state, bool sync) {
  const std::string path = (year().dir / "append.csv").string();
  fs::remove(path);
  std::vector<kn::HistoryRow> rows(kStations.size());
  int64_t local = kn::civil_seconds(2026, 12, 9, 12, 0, 0);
  for (auto _ : state) {
    local += 60;
    for (size_t i = 0; i < rows.size(); ++i) {
      rows[i].local = local;
      rows[i].offset_minutes = 60;
      rows[i].station = kStations[i];
      rows[i].count = static_cast<int32_t>(100 + i);
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND, 0644);
    struct stat st {};
    fstat(fd, &st);
    char last = '\0';
    if (st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) != 1) state.SkipWithError("pread");
    const std::string text = kn::history_append(rows, static_cast<uint64_t>(st.st_size), last);
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      state.SkipWithError("write");
    if (sync) fsync(fd);
    close(fd);
  }
}

// The daily pruning of a year's file down to 364 days: read it whole, prune in its
// buffer, replace it.
void history_prune(benchmark::State& state) {
  const YearFile& y = year();
  const std::string path = (y.dir / "prune.csv").string();
  const int64_t keep_from = y.end_utc + 60 - 364 * 86400;
  size_t after = 0;
  double growth = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(y.path, path, fs::copy_options::overwrite_existing);
    reset_peak();
    const long before = peak_kib();
    state.ResumeTiming();
    auto bytes = filesafe::read_whole_file(path);
    if (!bytes) {
      state.SkipWithError("read");
      break;
    }
    kn::prune_history_in_place(*bytes, keep_from);
    if (!filesafe::replace_file(path, *bytes)) state.SkipWithError("replace");
    after = bytes->size();
    state.PauseTiming();
    growth = static_cast<double>(peak_kib() - before) / 1024.0;
    state.ResumeTiming();
  }
  state.counters["file_MiB"] = static_cast<double>(y.size) / (1 << 20);
  state.counters["pruned_MiB"] = static_cast<double>(after) / (1 << 20);
  state.counters["peak_growth_MiB"] = growth;
}

}  // namespace

int main(int argc, char** argv) {
  // Blocks from 4 MiB up come from the system and go back when freed, so what a run
  // adds to the peak is its own and not a reuse of what an earlier run left.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The range read must see every poll of the year, or the times mean nothing.
  const YearFile& y = year();
  const size_t got = read_range(365).size();
  std::fprintf(stderr, "history file: %.1f MiB, %llu rows, %llu polls\n",
               static_cast<double>(y.size) / (1 << 20), static_cast<unsigned long long>(y.totals.rows),
               static_cast<unsigned long long>(y.totals.polls));
  if (got != y.totals.polls) {
    std::fprintf(stderr, "history file: read %zu samples of %s, expected %llu\n", got, kAsked.c_str(),
                 static_cast<unsigned long long>(y.totals.polls));
    return 1;
  }
  benchmark::RegisterBenchmark("history_append_poll/fsync", history_append_poll, true)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("history_append_poll/no fsync", history_append_poll, false)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("history_read/24 hours", history_read, 1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_read/30 days", history_read, 30)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_read/365 days", history_read, 365)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_show/24 hours", history_show, 1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_show/365 days", history_show, 365)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_prune/364 of 365 days", history_prune)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
