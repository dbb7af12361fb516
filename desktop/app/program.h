#pragma once
// The running program, its composition root: it owns the state, the poll and its
// runner, the platform adapters, the tray and the windows, and wires them together.
// The main window hands it the messages it receives.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "app/frm_main.h"
#include "app/tray.h"
#include "core/answer_watch.h"
#include "core/app_state.h"
#include "core/poll.h"
#include "core/poll_runner.h"
#include "core/timers.h"
#include "overlay/frm_text.h"
#include "platform/fullscreen_watch_win.h"
#include "platform/history_store_win.h"
#include "platform/poll_io_win.h"
#include "win/win_handle.h"

namespace kn {

class FrmGraph;
class FrmAbout;
class FrmKonfig;
class MainKonfigHost;

class Program : public PollView {
 public:
  Program();
  ~Program() override;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The load handler: settings, first poll, tray, overlay, timer.
  bool startup(HINSTANCE instance);
  int message_loop();

  void Load_Konfig();
  // A timed poll: now, or right after the running one.
  void check_stations();
  // The double-click's poll, showing every station.
  void refresh_all_now();
  // Drops the running poll and polls the current settings now (the dialog's preview).
  void restart_poll();
  bool poll_running() const { return runner_.running(); }
  // The tray tooltip as the shell has it (ANSI); empty without an icon.
  std::string tray_tip() const { return tray_.tip(); }

  AppState& app() { return app_; }
  FrmText& frmText();
  HWND main_window() const { return main_.hwnd(); }
  HWND tray_window() const { return tray_.window(); }
  HINSTANCE instance_handle() const { return instance_; }
  int32_t taskbar_height = 0;

  // PollView
  void set_tray_busy(bool busy) override;
  void set_Print_Text(std::string& text) override;
  void start_change_display() override;
  void poll_limit_timer(bool on) override;

  // What the main window hands on.
  void countdown_tick();
  void changes_only_tick();
  void advance_poll() { runner_.advance(); }
  void shell_restarted() { tray_.shell_restarted(); }
  // A later copy asks whether this one runs from its folder.
  LRESULT answer_later_copy(WPARAM folder_argument);
  void say_already_running();
  // The pruning worker is done: the rows that waited meanwhile follow.
  void history_pruned();
  // The history file's rows and this run's rows that wait for it; nothing is read
  // or written while keep_history is off.
  const HistoryStore& history_store() const { return history_store_; }
  const HistoryLog& history_log() const { return history_log_; }
  // The tray menu's commands; the menu itself is a table of them (program_menu.cpp).
  void open_settings();
  void open_statistics();
  void open_about();
  // Ends as "Beenden" does; inside a poll's step, right after that step.
  void end_program() { runner_.close(); }

  // Hides the overlay while a full-screen program covers its monitor (when the
  // user wants that) and shows it again after; on foreground changes and each tick.
  void update_fullscreen();

 private:
  void tray_event(UINT event);
  void history_poll_ended(const std::vector<StationResult>& results);
  // At start-up, once a day and when switched on: carries an earlier version's file
  // over and drops the months older than history_days.
  void prune_history_when_due();
  void say_history_not_written(bool first_failure);
  StationRange history_samples(const std::string& station, int64_t from_utc, int64_t to_utc) const;
  void show_tray_menu();
  void exit_program();

  HINSTANCE instance_ = nullptr;
  AppState app_;
  RefreshTimers timers_;
  unique_hicon program_icon_;
  unique_hicon busy_icon_;  // in the tray while a poll runs
  FrmMain main_{*this};
  Tray tray_{[this](UINT event) { tray_event(event); }};
  SystemPollIo poll_io_{app_};
  AnswerNotifier notifier_{app_.settings, [this](const std::string& text) { tray_.balloon(text); }};
  PollRunner runner_;
  HistoryStore history_store_;
  HistoryLog history_log_{history_store_};
  LocalMoment poll_began_;  // of the latest heard poll
  int64_t started_utc_ = 0;
  std::optional<ULONGLONG> pruned_at_ms_;  // the latest check for old months
  bool history_was_on_ = false;
  std::optional<ForegroundWatch> foreground_watch_;
  std::unique_ptr<FrmText> frm_text_;
  // Kept for the process once opened, and closed before the overlay goes.
  std::unique_ptr<MainKonfigHost> konfig_host_;
  std::unique_ptr<FrmKonfig> frm_konfig_;
  std::unique_ptr<FrmGraph> frm_graph_;
  std::unique_ptr<FrmAbout> frm_about_;
};

}  // namespace kn
