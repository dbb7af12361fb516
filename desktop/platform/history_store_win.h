#pragma once
// The history on disk: one file per station and month in the folder "hoerer_verlauf"
// beside the program, appended to after each heard poll and read for the statistics
// window's ranges. On a worker of its own it carries an earlier version's single
// file "hoerer_verlauf.csv" over and deletes the months that ended long ago.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/history_log.h"
#include "core/history_range.h"
#include "core/local_moment.h"

namespace kn {

// This moment as the file's rows carry it.
LocalMoment local_moment_now();

// A file of the history's form with just these rows (an export), written whole or not at all.
bool write_history_copy(const std::string& path_utf8, const std::vector<HistoryRow>& rows);

class HistoryStore : public HistorySink {
 public:
  HistoryStore() = default;
  ~HistoryStore() override;
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // The folder the history lives in, and its earlier single file, are the program folder's.
  void set_program_folder(std::string folder_utf8) { program_folder_ = std::move(folder_utf8); }
  std::string folder() const;

  // Every file the rows go to is opened first, so a poll's rows are all written or
  // none: a file another program holds without sharing makes this kBusy.
  AppendResult append(const std::vector<HistoryRow>& rows) override;

  // The station's samples with from <= utc < to, in time order, and their songs;
  // nothing without files. Its unreadable count includes the lines the carry-over
  // could not read.
  StationRange read_range(const std::string& station, int64_t from_utc, int64_t to_utc) const;

  // On a worker: carries the earlier single file over when it is there, then deletes
  // the month files that ended more than history_days before now_local. `done` runs
  // on the worker when it is over; no append may run until then.
  void maintain(int64_t now_local, int history_days, std::function<void()> done);
  bool busy() const { return busy_; }
  // Waits for the worker (after its `done`).
  void join();

 private:
  std::string program_folder_;
  std::thread worker_;
  std::atomic<bool> busy_{false};
  std::atomic<size_t> carried_unreadable_{0};
};

}  // namespace kn
