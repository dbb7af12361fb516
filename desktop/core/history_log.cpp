#include "core/history_log.h"

namespace kn {

std::vector<HistoryRow> history_rows(const std::vector<StationResult>& results, int64_t local,
                                     int32_t offset_minutes) {
  std::vector<HistoryRow> rows;
  rows.reserve(results.size());
  for (const StationResult& r : results) {
    HistoryRow row{local, offset_minutes, r.name, std::nullopt, r.artist, r.title};
    if (r.answered) row.count = r.count;
    rows.push_back(std::move(row));
  }
  return rows;
}

bool HistoryLog::add(std::vector<HistoryRow> rows) {
  for (HistoryRow& r : rows) waiting_.push_back(std::move(r));
  while (waiting_.size() > kMaxWaiting) {
    waiting_.pop_front();
    ++dropped_;
  }
  return held_ ? false : write();
}

bool HistoryLog::release() {
  held_ = false;
  return write();
}

bool HistoryLog::write() {
  if (waiting_.empty()) return false;
  const std::vector<HistoryRow> rows(waiting_.begin(), waiting_.end());
  switch (sink_.append(rows)) {
    case AppendResult::kWritten:
      waiting_.clear();
      failing_ = false;
      return false;
    case AppendResult::kBusy:
      return false;
    case AppendResult::kFailed:
      break;
  }
  const bool first = !failing_;
  failing_ = true;
  return first;
}

}  // namespace kn
