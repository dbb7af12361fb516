#pragma once
// The hidden main window, the program's composition root: it wires state, poll,
// platform adapters, tray icon and windows together and handles the main window's
// messages (timers, tray menu, session end).
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/answer_watch.h"
#include "core/app_state.h"
#include "core/poll.h"
#include "core/poll_runner.h"
#include "core/request_batch.h"
#include "core/timers.h"
#include "overlay/frm_text.h"
#include "platform/fullscreen_watch_win.h"
#include "platform/poll_io_win.h"
#include "win/date_time_win.h"
#include "win/tray_icon_win.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

class FrmGraph;
class FrmAbout;
class FrmKonfig;
class MainKonfigHost;

inline constexpr const char* kMainWindowClass = "Klangnetz_frmMain";
inline constexpr const char* kTrayWindowClass = "Klangnetz_Picture1";
inline constexpr UINT kTrayCallbackMessage = 512;
inline constexpr const char* kIdleTip = "Klangnetz H\xC3\xB6reranzeige";
inline constexpr const char* kBusyTip = "Daten werden geladen";
// Posted by a poll's workers when an answer is ready.
inline constexpr UINT kAnswerReadyMessage = WM_APP + 1;
// A later copy of this folder was started and ended.
inline constexpr UINT kAlreadyRunningMessage = WM_APP + 2;

class FrmMain : public WindowBase, public PollHost {
 public:
  FrmMain();
  ~FrmMain() override;

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
  std::string tray_tip() const { return tray_icon_ ? tray_icon_->tip() : std::string(); }

  AppState& app() { return app_; }
  FrmText& frmText();
  HWND tray_window() const { return tray_window_.hwnd(); }
  HINSTANCE instance_handle() const { return instance_; }
  int32_t taskbar_height = 0;

  // PollHost
  void set_tray_busy(bool busy) override;
  void delete_listener_file() override;
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& requests) override;
  std::string listener_text(const Answer& answer) override;
  void set_Print_Text(std::string& text) override;
  void start_change_display() override;
  int32_t current_song(const std::string& name, const Answer& answer, int32_t last_id,
                       const std::string& count_text) override;
  void poll_limit_timer(bool on) override;

  // Timer handlers and the tray callback, also reachable for tests.
  void timer1_tick();
  void timer_changes_only_tick();
  void tray_callback(LPARAM event);

  // Hides the overlay while a full-screen program covers its monitor (when the
  // user wants that) and shows it again after; on foreground changes and each tick.
  void update_fullscreen();

 private:
  // The child window the tray icon reports to.
  class TrayCallbackWindow : public WindowBase {
   public:
    explicit TrayCallbackWindow(FrmMain& main) : main_(main) {}
    ~TrayCallbackWindow() override { destroy(); }
    bool create(HWND parent, HINSTANCE instance);

   private:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
    FrmMain& main_;
  };

  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  bool create_windows();
  void add_tray_icon();
  void show_menu();
  // Ends as "Beenden" does; inside a poll's step, right after that step.
  void end_program();
  void exit_program();

  HINSTANCE instance_ = nullptr;
  AppState app_;
  RefreshTimers timers_;
  unique_hicon program_icon_;
  unique_hicon busy_icon_;  // in the tray while a poll runs
  TrayCallbackWindow tray_window_{*this};
  std::optional<TrayIcon> tray_icon_;
  std::optional<TrayPresence> tray_presence_;
  PollIo poll_io_{app_};
  AnswerNotifier notifier_{app_, [this](const std::string& text) {
                             if (tray_presence_) tray_presence_->balloon(text);
                           }};
  PollRunner runner_{app_, *this,
                     [this](const std::vector<StationResult>& results, const std::string& began) {
                       notifier_.poll_ended(results, began);
                     },
                     current_hour_minute_text, [this] { exit_program(); }};
  std::optional<ForegroundWatch> foreground_watch_;
  bool menu_open_ = false;
  std::unique_ptr<FrmText> frm_text_;
  // Kept for the process once opened, and closed before the overlay goes.
  std::unique_ptr<MainKonfigHost> konfig_host_;
  std::unique_ptr<FrmKonfig> frm_konfig_;
  std::unique_ptr<FrmGraph> frm_graph_;
  std::unique_ptr<FrmAbout> frm_about_;
};

}  // namespace kn
