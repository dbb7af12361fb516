#pragma once
// Each heard poll's rows for the history file. Rows the file cannot take now (a
// spreadsheet holds it, the disk is full, the file is being pruned) wait, at most
// about a day of them, and go with the next write that works.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/answer_watch.h"
#include "core/history_file.h"

namespace kn {

enum class AppendResult {
  kWritten,
  kBusy,    // another program holds the file without letting us write: wait quietly
  kFailed,  // read-only folder, full disk and the like
};

class HistorySink {
 public:
  virtual ~HistorySink() = default;
  // Appends the rows in one write and flushes it, or writes nothing.
  virtual AppendResult append(const std::vector<HistoryRow>& rows) = 0;
};

// One row per station of the poll, in its order; no count where it gave no number.
std::vector<HistoryRow> history_rows(const std::vector<StationResult>& results, int64_t local,
                                     int32_t offset_minutes);

class HistoryLog {
 public:
  // A day at one poll a minute for sixteen stations.
  static constexpr size_t kMaxWaiting = 24 * 60 * 16;

  explicit HistoryLog(HistorySink& sink) : sink_(sink) {}

  // Writes the poll's rows after those that wait. True only for the first failure
  // after a write that worked (or the first write): the user hears of it once.
  bool add(std::vector<HistoryRow> rows);
  // While the file is replaced by its pruned copy, rows only wait.
  void hold() { held_ = true; }
  // The file is back: what waited is written. Returns as add does.
  bool release();

  // Rows not in the file yet, oldest first.
  const std::deque<HistoryRow>& waiting() const { return waiting_; }
  // Oldest waiting rows given up because too many waited.
  size_t dropped() const { return dropped_; }
  bool failing() const { return failing_; }

 private:
  bool write();

  HistorySink& sink_;
  std::deque<HistoryRow> waiting_;
  size_t dropped_ = 0;
  bool held_ = false;
  bool failing_ = false;
};

}  // namespace kn
