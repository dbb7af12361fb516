#include "app/program.h"

#include <commctrl.h>

#include "app/instance_guard_win.h"
#include "app/konfig_host.h"
#include "app/messages.h"
#include "app/resource_ids.h"
#include "core/poll_limits.h"
#include "dialogs/frm_about.h"
#include "overlay/fullscreen.h"
#include "overlay/monitors.h"
#include "platform/settings_store_win.h"
#include "platform/taskbar_win.h"
#include "platform/updater_win.h"
#include "settings_dialog/frm_konfig.h"
#include "stats/frm_graph.h"
#include "win/date_time_win.h"
#include "win/files_win.h"

namespace kn {

Program::Program()
    : runner_(app_, poll_io_, *this,
              {.answer_ready =
                   [this] {
                     // The workers know only the window: a message to a window that is
                     // gone goes nowhere.
                     PostMessageW(main_.hwnd(), kAnswerReadyMessage, 0, 0);
                   },
               .ended =
                   [this](const std::vector<StationResult>& results, const std::string& began) {
                     notifier_.poll_ended(results, began);
                     history_poll_ended(results);
                   },
               // Asked for as each heard poll begins: the moment its history rows carry.
               .now_text =
                   [this] {
                     poll_began_ = local_moment_now();
                     return current_hour_minute_text();
                   },
               .end_program = [this] { exit_program(); }}) {
  app_.history = History([] { return std::pair(current_date_text(), current_time_text()); });
}

Program::~Program() {
  history_store_.join();
  foreground_watch_.reset();
  // The windows that belong to the main one go first, the tray icon before its window.
  frm_about_.reset();
  frm_graph_.reset();
  frm_konfig_.reset();
  frm_text_.reset();
  tray_.remove();
}

FrmText& Program::frmText() {
  if (!frm_text_) {
    frm_text_ = std::make_unique<FrmText>(app_);
    frm_text_->create(main_.hwnd(), taskbar_height);
  }
  return *frm_text_;
}

bool Program::startup(HINSTANCE instance) {
  instance_ = instance;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&icc);
  program_icon_.reset(static_cast<HICON>(
      LoadImageA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
  busy_icon_.reset(
      static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_BUSY), IMAGE_ICON, 16, 16, 0)));
  if (!main_.create(instance_, program_icon_.get()) ||
      !tray_.create(main_.hwnd(), instance_, program_icon_.get(), busy_icon_.get())) {
    return false;
  }

  // Startup: defaults, where the program lives, the updater, an empty history, the
  // taskbar; then the settings file, which starts the first poll, the tray icon, the
  // overlay and the one-second timer, while the poll's answers are on their way. The
  // main window itself is never shown.
  app_.settings = Settings{};
  app_.program_folder = program_folder();
  app_.settings_file = app_.program_folder + "\\" + kSettingsFileName;
  history_store_.set_program_folder(app_.program_folder);
  start_updater(app_.program_folder);
  app_.history.init_history();
  started_utc_ = local_moment_now().utc();
  taskbar_height = taskbar_query(TaskbarField::kHeight);
  Load_Konfig();
  tray_.add(runner_.running());  // the first poll may still be running
  frmText().show();
  SetTimer(main_.hwnd(), kCountdownTimer, 1000, nullptr);
  foreground_watch_.emplace([this] { update_fullscreen(); });
  update_fullscreen();
  return true;
}

int Program::message_loop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void Program::Load_Konfig() {
  // The running poll's answers belong to the list about to be rebuilt: the runner
  // drops it first, and no step of it runs while the list is rebuilt.
  runner_.reload([this] {
    app_.settings = read_settings_file(app_.settings_file);
    build_station_list(app_.settings.stations, app_.station_list);
    notifier_.list_rebuilt();
  });
}

void Program::check_stations() { runner_.request(); }

void Program::refresh_all_now() { runner_.request(true); }

void Program::restart_poll() { runner_.restart(); }

void Program::set_tray_busy(bool busy) { tray_.set_busy(busy); }

void Program::poll_limit_timer(bool on) {
  if (on) {
    SetTimer(main_.hwnd(), kPollLimitsTimer, kPollLimitsMs, nullptr);
  } else {
    KillTimer(main_.hwnd(), kPollLimitsTimer);
  }
}

void Program::set_Print_Text(std::string& text) { frmText().set_Print_Text(text); }

void Program::start_change_display() {
  timers_.start_change_display();
  SetTimer(main_.hwnd(), kChangesOnlyTimer, 1000, nullptr);
}

void Program::countdown_tick() {
  // A running poll holds the countdown and the busy tooltip; its ticks are not made up.
  const bool polling = runner_.running();
  RefreshTimers::Tick t;
  if (!polling) {
    t = timers_.countdown_tick(app_.settings.update_interval);
    tray_.show_tip(t.tooltip);
  }
  tray_.tick();
  prune_history_when_due();
  // Windows also go full screen without a change of the foreground.
  update_fullscreen();
  if (t.poll) check_stations();
}

void Program::update_fullscreen() {
  if (!frm_text_ || !frm_text_->is_open()) return;
  FullscreenInput in;
  in.option_on = app_.settings.hide_in_fullscreen;
  if (in.option_on) {
    RECT overlay{};
    GetWindowRect(frm_text_->hwnd(), &overlay);
    in.overlay = PxRect{overlay.left, overlay.top, overlay.right, overlay.bottom};
    in.monitors = current_monitors();
    in.foreground = foreground_window();
    in.state = user_state();
  }
  frm_text_->set_hidden(hide_for_fullscreen(in));
}

void Program::changes_only_tick() {
  // Never inside a poll's step, whose text it would blank half-way.
  runner_.outside_step([this] {
    // The changes of a running poll stay up until it has been applied.
    if (runner_.running()) return;
    if (timers_.changes_tick(app_.settings.changes_visible_in_seconds)) {
      KillTimer(main_.hwnd(), kChangesOnlyTimer);
      std::string empty;
      set_Print_Text(empty);
    }
  });
}

LRESULT Program::answer_later_copy(WPARAM folder_argument) {
  if (folder_argument != InstanceGuard::argument(folder_hash(app_.program_folder))) return 0;
  // Answered at once; the balloon follows from the main window's own queue.
  PostMessageW(main_.hwnd(), kAlreadyRunningMessage, 0, 0);
  return InstanceGuard::kAnswer;
}

void Program::say_already_running() { tray_.balloon(kAlreadyRunningText); }

void Program::exit_program() {
  // Ends at once, like the menu promises; only the icon is taken along so the tray
  // does not keep a dead entry, and no download is left half-read.
  tray_.remove();
  poll_io_.delete_answer_files();
  ExitProcess(0);
}

}  // namespace kn
