#pragma once
// The history file on disk, "hoerer_verlauf.csv" in the program folder: appended to
// after each heard poll, read for the statistics window's ranges, and pruned on a
// worker thread of its own.
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

  void set_path(std::string path_utf8) { path_ = std::move(path_utf8); }
  const std::string& path() const { return path_; }

  // Others may go on reading and writing the file while we append; a program that
  // holds it without sharing makes this kBusy.
  AppendResult append(const std::vector<HistoryRow>& rows) override;

  // The station's samples with from <= utc < to, in time order; none without a file.
  // `unreadable` counts the lines seen that are no row.
  std::vector<HistorySample> read_range(const std::string& station, int64_t from_utc, int64_t to_utc,
                                        size_t* unreadable = nullptr) const;

  // On a worker: when the file's first row is older than keep_from_utc, the kept rows
  // replace the file by the settings file's rules (a failure leaves it as it was).
  // `done` runs on the worker when it is over; no append may run until then.
  void prune(int64_t keep_from_utc, std::function<void()> done);
  bool pruning() const { return pruning_; }
  // Waits for the worker (after its `done`).
  void join();

 private:
  std::string path_;
  std::thread worker_;
  std::atomic<bool> pruning_{false};
};

}  // namespace kn
