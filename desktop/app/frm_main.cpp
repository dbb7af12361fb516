#include "app/frm_main.h"

#include <commctrl.h>

#include "app/instance_guard_win.h"
#include "app/konfig_host.h"
#include "app/resource_ids.h"
#include "dialogs/frm_about.h"
#include "overlay/fullscreen.h"
#include "overlay/monitors.h"
#include "platform/settings_store_win.h"
#include "platform/taskbar_win.h"
#include "platform/updater_win.h"
#include "settings_dialog/frm_konfig.h"
#include "stats/frm_graph.h"
#include "win/ansi_win.h"
#include "win/date_time_win.h"
#include "win/files_win.h"

namespace kn {

namespace {
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimerChangesOnly = 2;
// While a poll runs: lets the limits of its requests pass on this thread even when a
// worker's message is late or lost.
constexpr UINT_PTR kTimerPollLimits = 3;
constexpr UINT kPollLimitsMs = 250;
constexpr UINT kTrayIconId = 1;
enum MenuId : UINT { kMnuCong = 101, kMnStat, kMnOver, kMnExit };

// A window of the tray menu, made on first use and shown modally; a second command
// while it is open brings it to the front instead.
template <class Window, class Make>
void show_or_raise(std::unique_ptr<Window>& window, Make make, bool (Window::*open)()) {
  if (window && window->is_open()) {
    SetForegroundWindow(window->hwnd());
    return;
  }
  if (!window) window = make();
  if (((*window).*open)()) {
    SetForegroundWindow(window->hwnd());
    window->run_modal();
  }
}
}  // namespace

FrmMain::FrmMain() : app_() {
  app_.history = History([] { return std::pair(current_date_text(), current_time_text()); });
}

FrmMain::~FrmMain() {
  foreground_watch_.reset();
  // The windows that belong to this one go first, the tray icon before its window.
  frm_about_.reset();
  frm_graph_.reset();
  frm_konfig_.reset();
  frm_text_.reset();
  tray_presence_.reset();
  tray_icon_.reset();
  destroy();
}

FrmText& FrmMain::frmText() {
  if (!frm_text_) {
    frm_text_ = std::make_unique<FrmText>(app_);
    frm_text_->create(hwnd(), taskbar_height);
  }
  return *frm_text_;
}

bool FrmMain::TrayCallbackWindow::create(HWND parent, HINSTANCE instance) {
  const std::wstring cls = utf8_to_wide(kTrayWindowClass);
  return create_window(WindowClass{cls.c_str()}, instance, 0, L"", WS_CHILD, 0, 0, 16, 16, parent) != nullptr;
}

LRESULT FrmMain::TrayCallbackWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kTrayCallbackMessage) {
    main_.tray_callback(lp);
    return 0;
  }
  return WindowBase::handle(msg, wp, lp);
}

bool FrmMain::create_windows() {
  const std::wstring cls = utf8_to_wide(kMainWindowClass);
  WindowClass main_class{cls.c_str()};
  main_class.icon = program_icon_.get();
  // A tool window that is never shown has no taskbar button and no switcher entry.
  if (!create_window(main_class, instance_, WS_EX_TOOLWINDOW, utf8_to_wide(kProgramTitle).c_str(),
                     WS_OVERLAPPED, 0, 0, 100, 100, nullptr)) {
    return false;
  }
  return tray_window_.create(hwnd(), instance_);
}

bool FrmMain::startup(HINSTANCE instance) {
  instance_ = instance;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&icc);
  program_icon_.reset(static_cast<HICON>(
      LoadImageA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
  busy_icon_.reset(
      static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_BUSY), IMAGE_ICON, 16, 16, 0)));
  if (!create_windows()) return false;

  // Startup: defaults, where the program lives, the updater, an empty history, the
  // taskbar; then the settings file, which starts the first poll, the tray icon, the
  // overlay and the one-second timer, while the poll's answers are on their way. The
  // main window itself is never shown.
  static_cast<Settings&>(app_) = Settings{};
  app_.program_folder = program_folder();
  app_.settings_file = app_.program_folder + "\\" + kSettingsFileName;
  start_updater(app_.program_folder);
  app_.history.init_history();
  taskbar_height = taskbar_query(TaskbarField::kHeight);
  Load_Konfig();
  add_tray_icon();
  frmText().show();
  SetTimer(hwnd(), kTimer1, 1000, nullptr);
  foreground_watch_.emplace([this] { update_fullscreen(); });
  update_fullscreen();
  return true;
}

int FrmMain::message_loop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void FrmMain::Load_Konfig() {
  // The running poll's answers belong to the list about to be rebuilt: the runner
  // drops it first, and no step of it runs while the list is rebuilt.
  runner_.reload([this] {
    static_cast<Settings&>(app_) = read_settings_file(app_.settings_file);
    build_station_list(app_.stations, app_.station_list);
    notifier_.list_rebuilt();
  });
}

void FrmMain::check_stations() { runner_.request(); }

void FrmMain::refresh_all_now() { runner_.request(true); }

void FrmMain::restart_poll() { runner_.restart(); }

void FrmMain::add_tray_icon() {
  tray_icon_.emplace(tray_window_.hwnd(), kTrayIconId, kTrayCallbackMessage, kProgramTitle);
  // The first poll may still be running.
  const bool busy = runner_.running();
  tray_icon_->set_icon(busy ? busy_icon_.get() : program_icon_.get());
  tray_icon_->set_tip(busy ? kBusyTip : kIdleTip);
  tray_presence_.emplace(*tray_icon_);
  // At logon the notification area may not be there yet: the timer tries again.
  tray_presence_->ensure();
}

void FrmMain::set_tray_busy(bool busy) {
  if (tray_icon_) {
    tray_icon_->set_icon(busy ? busy_icon_.get() : program_icon_.get());
    tray_icon_->set_tip(busy ? kBusyTip : kIdleTip);
    tray_presence_->changed();
  }
}

void FrmMain::poll_limit_timer(bool on) {
  if (on) {
    SetTimer(hwnd(), kTimerPollLimits, kPollLimitsMs, nullptr);
  } else {
    KillTimer(hwnd(), kTimerPollLimits);
  }
}

void FrmMain::delete_listener_file() { poll_io_.delete_listener_file(); }

std::unique_ptr<PollRequests> FrmMain::start_requests(const std::vector<BatchRequest>& requests) {
  // The workers know only the window: a message to a window that is gone goes nowhere.
  HWND main = hwnd();
  return poll_io_.start_requests(requests, [main] { PostMessageW(main, kAnswerReadyMessage, 0, 0); });
}

std::string FrmMain::listener_text(const Answer& answer) { return poll_io_.listener_text(answer); }

void FrmMain::set_Print_Text(std::string& text) { frmText().set_Print_Text(text); }

void FrmMain::start_change_display() {
  timers_.start_change_display();
  SetTimer(hwnd(), kTimerChangesOnly, 1000, nullptr);
}

int32_t FrmMain::current_song(const std::string& name, const Answer& answer, int32_t last_id,
                              const std::string& count_text) {
  return poll_io_.current_song(name, answer, last_id, count_text);
}

void FrmMain::timer1_tick() {
  // A running poll holds the countdown and the busy tooltip; its ticks are not made up.
  const bool polling = runner_.running();
  RefreshTimers::Tick t;
  if (!polling) t = timers_.timer1_tick(app_.UpdateInterval);
  if (tray_icon_) {
    if (!polling) {
      tray_icon_->set_tip(t.tooltip);
      tray_presence_->changed();
    }
    tray_presence_->tick();
  }
  // Windows also go full screen without a change of the foreground.
  update_fullscreen();
  if (t.poll) check_stations();
}

void FrmMain::update_fullscreen() {
  if (!frm_text_ || !frm_text_->is_open()) return;
  FullscreenInput in;
  in.option_on = app_.hide_in_fullscreen;
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

void FrmMain::timer_changes_only_tick() {
  // Never inside a poll's step, whose text it would blank half-way.
  runner_.outside_step([this] {
    // The changes of a running poll stay up until it has been applied.
    if (runner_.running()) return;
    if (timers_.changes_tick(app_.changes_visible_in_seconds)) {
      KillTimer(hwnd(), kTimerChangesOnly);
      std::string empty;
      set_Print_Text(empty);
    }
  });
}

void FrmMain::tray_callback(LPARAM event) {
  switch (LOWORD(event)) {
    case WM_LBUTTONDBLCLK:
      refresh_all_now();
      break;
    case WM_RBUTTONUP:
      // The menu's loop runs every message: never inside a poll's step.
      runner_.outside_step([this] {
        if (menu_open_) return;
        SetForegroundWindow(hwnd());
        show_menu();
      });
      break;
    default:
      break;
  }
}

void FrmMain::show_menu() {
  unique_hmenu menu(CreatePopupMenu());
  AppendMenuW(menu.get(), MF_STRING, kMnuCong, L"Einstellungen");
  AppendMenuW(menu.get(), MF_STRING, kMnStat, L"Statistik");
  AppendMenuW(menu.get(), MF_STRING, kMnOver, L"\u00DCber");
  AppendMenuW(menu.get(), MF_STRING, kMnExit, L"Beenden");
  POINT pt{};
  GetCursorPos(&pt);
  menu_open_ = true;
  UINT choice = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                 pt.x, pt.y, 0, hwnd(), nullptr));
  menu_open_ = false;
  PostMessageW(hwnd(), WM_NULL, 0, 0);  // lets the menu close properly
  switch (choice) {
    case kMnuCong:
      show_or_raise(
          frm_konfig_,
          [this] {
            konfig_host_ = std::make_unique<MainKonfigHost>(*this);
            return std::make_unique<FrmKonfig>(*konfig_host_, instance_);
          },
          &FrmKonfig::create);
      break;
    case kMnStat:
      show_or_raise(
          frm_graph_,
          [this] { return std::make_unique<FrmGraph>(app_.station_list, app_.history, instance_); },
          &FrmGraph::open);
      break;
    case kMnOver:
      show_or_raise(
          frm_about_,
          [this] { return std::make_unique<FrmAbout>(instance_, app_.program_folder, IDI_PROGRAM); },
          &FrmAbout::open);
      break;
    case kMnExit:
      end_program();
      break;
    default:
      break;
  }
}

void FrmMain::end_program() {
  // Inside a poll's step (a message sent to us meanwhile) the step finishes first, so
  // nothing is left written in half; the runner then calls exit_program.
  runner_.close();
}

void FrmMain::exit_program() {
  // Ends at once, like the menu promises; only the icon is taken along so the tray
  // does not keep a dead entry, and no download is left half-read.
  tray_presence_.reset();
  tray_icon_.reset();
  poll_io_.delete_answer_files();
  ExitProcess(0);
}

LRESULT FrmMain::handle(UINT msg, WPARAM wp, LPARAM lp) {
  // A restarted shell forgets every tray icon; put ours back.
  static const UINT taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
  if (msg == taskbar_created) {
    if (tray_presence_) tray_presence_->shell_restarted();
    return 0;
  }
  switch (msg) {
    case WM_CLOSE:
      end_program();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // another program may still cancel the logoff
    case WM_ENDSESSION:
      if (wp) end_program();
      return 0;
    default:
      break;
  }
  if (msg == InstanceGuard::message()) {
    if (wp != InstanceGuard::argument(folder_hash(app_.program_folder))) return 0;
    // Answered at once; the balloon follows from this window's own queue.
    PostMessageW(hwnd(), kAlreadyRunningMessage, 0, 0);
    return InstanceGuard::kAnswer;
  }
  if (msg == kAlreadyRunningMessage) {
    if (tray_presence_) tray_presence_->balloon(kAlreadyRunningText);
    return 0;
  }
  if (msg == kAnswerReadyMessage) {
    runner_.advance();
    return 0;
  }
  if (msg == WM_TIMER) {
    if (wp == kTimer1) timer1_tick();
    if (wp == kTimerChangesOnly) timer_changes_only_tick();
    if (wp == kTimerPollLimits) runner_.advance();
    return 0;
  }
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
