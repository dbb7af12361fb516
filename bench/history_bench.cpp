// The listener history at the size the month files are made for: sixteen stations
// polled every minute for 400 days, with songs, written once as the program's month
// files into a folder on disk (KN_BENCH_DIR, else the temporary folder). Reading a
// station's range, the daily pruning's choice, and a live update of an open range.
// Nothing to compare with: plain times, page faults, and the peak memory a read adds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/history_carry.h"
#include "core/history_file.h"
#include "core/history_months.h"
#include "core/history_range.h"
#include "core/plays.h"
#include "filesafe/filesafe.h"
#include "stats/history_plot.h"
#include "generator.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> stations() {
  std::vector<std::string> names;
  for (int i = 1; i <= 16; ++i) names.push_back("Sender " + std::to_string(i));
  return names;
}
const std::string kAsked = "Sender 7";
constexpr int kDays = 400;

struct MonthFiles {
  fs::path dir;
  uint64_t bytes = 0;
  size_t files = 0;
  int64_t end_local = 0;
  int64_t end_utc = 0;  // the last poll
  kn::histgen::Totals totals;

  MonthFiles() {
    const char* base = std::getenv("KN_BENCH_DIR");
    dir = fs::path(base && *base ? base : fs::temp_directory_path().string()) /
          ("kn_history_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    kn::histgen::Options o;
    o.stations = stations();
    o.days = kDays;
    o.interval_minutes = 1;
    o.end_local = kn::civil_seconds(2026, 12, 9, 12, 0, 0);
    o.offset_minutes = 60;
    o.summer_time = true;
    o.songs = true;
    end_local = o.end_local;
    end_utc = o.end_local - 3600;
    std::map<std::string, std::pair<std::ofstream, uint64_t>> open;
    totals = kn::histgen::generate_rows(o, [&](const std::vector<kn::HistoryRow>& rows) {
      for (const kn::HistoryFileRows& f : kn::history_rows_by_file(rows)) {
        auto [it, fresh] = open.try_emplace(f.file_name);
        if (fresh) it->second.first.open(dir / f.file_name, std::ios::binary | std::ios::trunc);
        const std::string text = kn::history_append(f.rows, it->second.second, '\n');
        it->second.second += text.size();
        it->second.first.write(text.data(), static_cast<std::streamsize>(text.size()));
      }
    });
    for (auto& [name, file] : open) {
      file.first.close();
      bytes += file.second;
    }
    files = open.size();
  }
  ~MonthFiles() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

const MonthFiles& months() {
  static const MonthFiles files;
  return files;
}

// Into one buffer for the whole range, as the program reads.
std::string_view read_at(int fd, uint64_t at, size_t n, std::string& buffer) {
  if (buffer.size() < n) buffer.resize(n);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, buffer.data() + got, n - got, static_cast<off_t>(at + got));
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  return std::string_view(buffer.data(), got);
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

std::vector<std::string> listing() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(months().dir)) names.push_back(e.path().filename().string());
  return names;
}

// A station's range as the program reads it: a listing, the month files that can
// hold the range, each read through pread in pieces.
kn::StationRange read_range(int64_t days) {
  const MonthFiles& m = months();
  const int64_t to = m.end_utc + 60;
  std::vector<int> fds;
  std::vector<kn::HistorySource> sources;
  std::string buffer;
  for (const std::string& name : kn::history_files_for_range(listing(), kAsked, to - days * 86400, to)) {
    const int fd = open((m.dir / name).c_str(), O_RDONLY);
    struct stat st {};
    fstat(fd, &st);
    fds.push_back(fd);
    sources.push_back({static_cast<uint64_t>(st.st_size),
                       [fd, &buffer](uint64_t at, size_t n) { return read_at(fd, at, n, buffer); }});
  }
  kn::StationRange range = kn::read_station_months(sources, kAsked, to - days * 86400, to);
  for (int fd : fds) close(fd);
  return range;
}

long minor_faults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

void history_read(benchmark::State& state, int64_t days) {
  size_t samples = 0, songs = 0;
  const long faults_before = minor_faults();
  for (auto _ : state) {
    const kn::StationRange got = read_range(days);
    benchmark::DoNotOptimize(got.samples.data());
    samples = got.samples.size();
    songs = got.songs.size();
  }
  state.counters["page_faults"] =
      static_cast<double>(minor_faults() - faults_before) / static_cast<double>(state.iterations());
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["songs"] = static_cast<double>(songs);
  // Once more outside the timing: what the read adds to the peak, the result included.
  const bool reset = reset_peak();
  const long before = peak_kib();
  samples = read_range(days).samples.size();
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
  const int64_t to = months().end_utc + 60;
  for (auto _ : state) {
    kn::HistoryPlot plot;
    kn::StationRange range = read_range(days);
    plot.set_data(std::move(range.samples), to - days * 86400, to, kn::gap_seconds(1), 60, std::move(range.songs));
    plot.draw(surface);
    benchmark::DoNotOptimize(plot.columns().data());
  }
  state.counters["draw_calls"] = static_cast<double>(surface.calls) / static_cast<double>(state.iterations());
}

// The daily pruning's work on a standing folder: a listing and the choice of the
// months that ended too long ago (deleting a file is the system's).
void history_prune(benchmark::State& state) {
  size_t chosen = 0;
  for (auto _ : state) {
    const auto names = kn::history_files_to_delete(listing(), months().end_local, 365);
    chosen = names.size();
    benchmark::DoNotOptimize(names.data());
  }
  state.counters["files"] = static_cast<double>(months().files);
  state.counters["chosen"] = static_cast<double>(chosen);
}

// An open 24-hour range takes a poll's rows from memory: the samples move on, the
// plot is drawn again, and the list of plays follows.
void history_live(benchmark::State& state) {
  NullSurface surface;
  const kn::StationRange day = read_range(1);
  std::vector<kn::HistoryRow> poll(16);
  int64_t local = months().end_local;
  for (auto _ : state) {
    state.PauseTiming();
    kn::StationRange range = day;
    local += 60;
    for (size_t i = 0; i < poll.size(); ++i)
      poll[i] = {local, 60, "Sender " + std::to_string(i + 1), 42, "Interpret 1", "Lied Nr. 1"};
    state.ResumeTiming();
    const int64_t to = local - 3600 + 60;
    kn::add_rows(range, poll, kAsked, to - 86400, to);
    kn::HistoryPlot plot;
    plot.set_data(std::move(range.samples), to - 86400, to, kn::gap_seconds(1), 60, range.songs);
    plot.draw(surface);
    const auto plays = kn::plays_of(range);
    benchmark::DoNotOptimize(plays.data());
  }
}

// The program folder of an earlier version in a real folder: its single file read
// through pread, as the program reads it, the month files written through filesafe.
class FolderDisk : public kn::HistoryDisk {
 public:
  explicit FolderDisk(fs::path root) : root_(std::move(root)) {}
  std::optional<bool> exists(const std::string& path) override { return fs::exists(root_ / path); }
  bool make_folder(const std::string& f) override {
    std::error_code ec;
    return fs::create_directory(root_ / f, ec) || fs::is_directory(root_ / f);
  }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& e : fs::directory_iterator(root_ / folder, missing)) names.push_back(e.path().filename());
    return names;
  }
  bool read(const std::string& path, uint64_t offset, size_t n, std::string& bytes) override {
    const int fd = open((root_ / path).c_str(), O_RDONLY);
    if (fd < 0) return false;
    bytes.resize(read_at(fd, offset, n, bytes).size());
    close(fd);
    return true;
  }
  bool append(const std::string& path, std::string_view bytes) override {
    std::ofstream out(root_ / path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  }
  bool replace(const std::string& path, std::string_view bytes) override {
    return filesafe::replace_file((root_ / path).string(), bytes);
  }
  bool remove(const std::string& path) override {
    return ::remove((root_ / path).c_str()) == 0 || errno == ENOENT;
  }

 private:
  fs::path root_;
};

// An earlier version's single file of the same 400 days split into month files:
// the time, and what the carry-over adds to the peak (the file's size is not).
void history_carry(benchmark::State& state) {
  const fs::path root = months().dir.string() + "_carry";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(root);
    fs::create_directories(root);
    kn::histgen::Options o;
    o.stations = stations();
    o.days = kDays;
    o.end_local = months().end_local;
    o.offset_minutes = 60;
    o.summer_time = true;
    o.songs = true;
    std::ofstream old(root / kn::kHistoryFileName, std::ios::binary);
    kn::histgen::generate(o, [&](std::string_view bytes) {
      old.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
    old.close();
    state.counters["old_file_MiB"] =
        static_cast<double>(fs::file_size(root / kn::kHistoryFileName)) / (1 << 20);
    const bool reset = reset_peak();
    const long before = peak_kib();
    const long faults_before = minor_faults();
    FolderDisk disk(root);
    state.ResumeTiming();
    const kn::CarryResult result = kn::carry_over_history(disk);
    state.PauseTiming();
    state.counters["peak_growth_MiB"] = static_cast<double>(peak_kib() - before) / 1024.0;
    state.counters["page_faults"] = static_cast<double>(minor_faults() - faults_before);
    state.counters["files"] = static_cast<double>(result.files_written);
    if (!reset) state.counters["peak_not_reset"] = 1;
    if (!result.done || result.files_written != months().files) state.SkipWithError("carry-over failed");
    state.ResumeTiming();
  }
  fs::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
  // Blocks from 4 MiB up come from the system and go back when freed, so what a run
  // adds to the peak is its own and not a reuse of what an earlier run left.
  // KN_BENCH_KEEP leaves glibc's own choice, so that with its tunables set to keep
  // freed memory a run shows the time without the page faults.
  if (!std::getenv("KN_BENCH_KEEP")) mallopt(M_MMAP_THRESHOLD, 4 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The range read must see every poll of the year, or the times mean nothing.
  const MonthFiles& m = months();
  const size_t got = read_range(kDays).samples.size();
  std::fprintf(stderr, "history: %.1f MiB in %zu month files, %llu rows, %llu polls\n",
               static_cast<double>(m.bytes) / (1 << 20), m.files, static_cast<unsigned long long>(m.totals.rows),
               static_cast<unsigned long long>(m.totals.polls));
  if (got != m.totals.polls) {
    std::fprintf(stderr, "history: read %zu samples of %s, expected %llu\n", got, kAsked.c_str(),
                 static_cast<unsigned long long>(m.totals.polls));
    return 1;
  }
  benchmark::RegisterBenchmark("history_read/24 hours", history_read, 1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_read/30 days", history_read, 30)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_read/365 days", history_read, 365)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_show/365 days", history_show, 365)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_prune/a day's choice", history_prune)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_live/24 hours", history_live)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("history_carry/400 days", history_carry)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
