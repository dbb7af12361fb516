// The listener history as the program keeps it: each heard poll's rows, the daily
// pruning on a worker, and the ranges the statistics window reads.
#include "app/messages.h"
#include "app/program.h"
#include "platform/history_store_win.h"
#include "stats/frm_graph.h"

namespace kn {

namespace {
constexpr const char* kHistoryNotWrittenText =
    "Der H\xC3\xB6rerverlauf kann nicht in \"hoerer_verlauf\" gespeichert werden.";
constexpr ULONGLONG kPruneEveryMs = 24ull * 60 * 60 * 1000;
}  // namespace

void Program::history_poll_ended(const std::vector<StationResult>& results) {
  if (!app_.settings.keep_history) return;
  std::vector<HistoryRow> rows = history_rows(results, poll_began_.local, poll_began_.offset_minutes);
  // An open range follows the polls from memory.
  if (frm_graph_) frm_graph_->poll_heard(rows);
  say_history_not_written(history_log_.add(std::move(rows)));
}

void Program::prune_history_when_due() {
  if (!app_.settings.keep_history) {
    history_was_on_ = false;
    return;
  }
  // Switched on again: an earlier version's file may wait to be carried over.
  if (!history_was_on_) pruned_at_ms_.reset();
  history_was_on_ = true;
  if (history_store_.busy()) return;
  const ULONGLONG now = GetTickCount64();
  if (pruned_at_ms_ && now - *pruned_at_ms_ < kPruneEveryMs) return;
  pruned_at_ms_ = now;
  history_log_.hold();
  const HWND main = main_.hwnd();
  history_store_.maintain(local_moment_now().local, app_.settings.history_days,
                          [main] { PostMessageW(main, kHistoryPrunedMessage, 0, 0); });
}

void Program::history_pruned() {
  history_store_.join();
  say_history_not_written(history_log_.release());
}

void Program::say_history_not_written(bool first_failure) {
  if (first_failure) tray_.balloon(kHistoryNotWrittenText);
}

StationRange Program::history_samples(const std::string& station, int64_t from_utc, int64_t to_utc) const {
  StationRange range = history_store_.read_range(station, from_utc, to_utc);
  // This run's rows the files could not take yet.
  const std::vector<HistoryRow> waiting(history_log_.waiting().begin(), history_log_.waiting().end());
  add_rows(range, waiting, station, from_utc, to_utc);
  return range;
}

}  // namespace kn
