#include "app/frm_main.h"

#include <commctrl.h>

#include "app/instance_guard_win.h"
#include "app/konfig_host.h"
#include "app/resource_ids.h"
#include "core/title_files.h"
#include "dialogs/frm_about.h"
#include "overlay/fullscreen.h"
#include "platform/download_win.h"
#include "platform/ini_module_win.h"
#include "platform/taskbar_win.h"
#include "platform/title_files_win.h"
#include "settings_dialog/frm_konfig.h"
#include "stats/frm_graph.h"
#include "win/ansi_win.h"
#include "win/date_time_win.h"
#include "win/files_win.h"

namespace kn {

namespace {
// A WinEvent hook carries no context of its own; the program has one main window.
FrmMain* g_foreground_listener = nullptr;

void CALLBACK foreground_changed(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
  if (g_foreground_listener) g_foreground_listener->update_fullscreen();
}

std::wstring class_of(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

UserState user_state() {
  // Vista and later; a stub under Wine.
  using QueryFn = HRESULT(WINAPI*)(int*);
  static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHQueryUserNotificationState")));
  int state = 0;
  if (!query || query(&state) != S_OK) return UserState::kOther;
  if (state == 3) return UserState::kFullScreenDirect3D;  // QUNS_RUNNING_D3D_FULL_SCREEN
  if (state == 4) return UserState::kPresentation;        // QUNS_PRESENTATION_MODE
  return UserState::kOther;
}

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimerChangesOnly = 2;
// While a poll runs: lets the limits of its requests pass on this thread even when a
// worker's message is late or lost.
constexpr UINT_PTR kTimerPollLimits = 3;
constexpr UINT kPollLimitsMs = 250;
constexpr UINT kTrayIconId = 1;
enum MenuId : UINT { kMnuCong = 101, kMnStat, kMnOver, kMnExit };
}  // namespace

FrmMain::FrmMain() : app_() {
  app_.history = History([] { return std::pair(current_date_text(), current_time_text()); });
}

FrmMain::~FrmMain() {
  foreground_hook_.reset();
  if (g_foreground_listener == this) g_foreground_listener = nullptr;
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

bool FrmMain::Picture1::create(HWND parent, HINSTANCE instance) {
  const std::wstring cls = utf8_to_wide(kTrayWindowClass);
  return create_window(WindowClass{cls.c_str()}, instance, 0, L"", WS_CHILD, 0, 0, 16, 16, parent) != nullptr;
}

LRESULT FrmMain::Picture1::handle(UINT msg, WPARAM wp, LPARAM lp) {
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
  return picture1_.create(hwnd(), instance_);
}

void FrmMain::start_updater() {
  const std::string updater = app_.program_folder + "\\AutoUpdate.exe";
  if (!file_exists(updater)) return;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + utf8_to_wide(updater) + L"\"";
  if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     utf8_to_wide(app_.program_folder).c_str(), &si, &pi)) {
    // Not waited for; its outcome is not ours.
    unique_kernel_handle thread(pi.hThread);
    unique_kernel_handle process(pi.hProcess);
  }
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
  start_updater();
  app_.history.init_history();
  taskbar_height = taskbar_query(TaskbarField::kHeight);
  Load_Konfig();
  add_tray_icon();
  frmText().show();
  SetTimer(hwnd(), kTimer1, 1000, nullptr);
  g_foreground_listener = this;
  foreground_hook_.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                         foreground_changed, 0, 0, WINEVENT_OUTOFCONTEXT));
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
  // The running poll's answers belong to the list about to be rebuilt.
  runner_.abandon();
  const std::string file = app_.settings_file;
  static_cast<Settings&>(app_) = read_settings([&](const std::string& key, const std::string& def) {
    return read_ini_value(kSettingsSection, key, def, file);
  });
  build_station_list(app_.stations, app_.station_list);
  check_stations();
}

void FrmMain::check_stations() {
  poll_step([this] { runner_.request(); });
}

void FrmMain::refresh_all_now() {
  poll_step([this] { runner_.request(true); });
}

void FrmMain::restart_poll() {
  poll_step([this] { runner_.restart(); });
}

void FrmMain::advance_poll() {
  poll_step([this] { runner_.advance(); });
}

void FrmMain::poll_step(const std::function<void()>& step) {
  in_poll_step_ = true;
  step();
  in_poll_step_ = false;
  if (closing_) exit_program();
}

void FrmMain::add_tray_icon() {
  tray_icon_.emplace(picture1_.hwnd(), kTrayIconId, kTrayCallbackMessage, kProgramTitle);
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
  if (busy) {
    SetTimer(hwnd(), kTimerPollLimits, kPollLimitsMs, nullptr);
  } else {
    KillTimer(hwnd(), kTimerPollLimits);
  }
}

void FrmMain::delete_listener_file() { delete_file_quietly(app_.program_folder + "\\" + kListenerFile); }

std::unique_ptr<PollRequests> FrmMain::start_requests(const std::vector<BatchRequest>& requests) {
  // The workers know only the window: a message to a window that is gone goes nowhere.
  HWND main = hwnd();
  return kn::start_requests(requests, static_cast<unsigned>(app_.parallel_requests),
                            [main] { PostMessageW(main, kAnswerReadyMessage, 0, 0); });
}

std::string FrmMain::listener_text(const Answer& answer) {
  return through_file(answer, app_.program_folder + "\\" + kListenerFile);
}

void FrmMain::set_Print_Text(std::string& text) { frmText().set_Print_Text(text); }

void FrmMain::start_change_display() {
  timers_.start_change_display();
  SetTimer(hwnd(), kTimerChangesOnly, 1000, nullptr);
}

int32_t FrmMain::current_song(const std::string& name, const Answer& answer, int32_t last_id,
                              const std::string& count_text) {
  const std::string folder = app_.program_folder;
  return handle_current_song(
      through_file(answer, folder + "\\" + kTitleFile), last_id, count_text,
      [&](const std::string& line) { return append_title_line(folder, name, line); },
      [] { return std::pair(current_date_text(), current_time_text()); });
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
    if (HWND fg = GetForegroundWindow()) {
      RECT r{};
      in.foreground.exists = GetWindowRect(fg, &r) != FALSE;
      in.foreground.rect = PxRect{r.left, r.top, r.right, r.bottom};
      const std::wstring cls = class_of(fg);
      in.foreground.desktop_or_taskbar = fg == GetDesktopWindow() || fg == GetShellWindow() ||
                                         cls == L"Progman" || cls == L"WorkerW" || cls == L"Shell_TrayWnd";
      in.foreground.has_caption = (GetWindowLongW(fg, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
    }
    in.state = user_state();
  }
  frm_text_->set_hidden(hide_for_fullscreen(in));
}

void FrmMain::timer_changes_only_tick() {
  // The changes of a running poll stay up until it has been applied.
  if (runner_.running()) return;
  if (timers_.changes_tick(app_.changes_visible_in_seconds)) {
    KillTimer(hwnd(), kTimerChangesOnly);
    std::string empty;
    set_Print_Text(empty);
  }
}

void FrmMain::tray_callback(LPARAM event) {
  switch (LOWORD(event)) {
    case WM_LBUTTONDBLCLK:
      refresh_all_now();
      break;
    case WM_RBUTTONUP:
      SetForegroundWindow(hwnd());
      show_menu();
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
  UINT choice = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                 pt.x, pt.y, 0, hwnd(), nullptr));
  PostMessageW(hwnd(), WM_NULL, 0, 0);  // lets the menu close properly
  switch (choice) {
    case kMnuCong:
      show_frmKonfig();
      break;
    case kMnStat:
      show_frmGraph();
      break;
    case kMnOver:
      show_frmAbout();
      break;
    case kMnExit:
      exit_program();
      break;
    default:
      break;
  }
}

void FrmMain::show_frmKonfig() {
  if (frm_konfig_ && frm_konfig_->is_open()) {  // a second tray command brings it forward
    SetForegroundWindow(frm_konfig_->hwnd());
    return;
  }
  if (!frm_konfig_) {
    konfig_host_ = std::make_unique<MainKonfigHost>(*this);
    frm_konfig_ = std::make_unique<FrmKonfig>(*konfig_host_, instance_);
  }
  if (frm_konfig_->create()) frm_konfig_->run_modal();
}

void FrmMain::show_frmGraph() {
  if (frm_graph_ && frm_graph_->is_open()) {
    SetForegroundWindow(frm_graph_->hwnd());  // already showing further down the stack
    return;
  }
  if (!frm_graph_) frm_graph_ = std::make_unique<FrmGraph>(app_.station_list, app_.history, instance_);
  if (frm_graph_->open()) {
    SetForegroundWindow(frm_graph_->hwnd());
    frm_graph_->run_modal();
  }
}

void FrmMain::show_frmAbout() {
  if (frm_about_ && frm_about_->is_open()) {
    SetForegroundWindow(frm_about_->hwnd());
    return;
  }
  if (!frm_about_) frm_about_ = std::make_unique<FrmAbout>(instance_, app_.program_folder, IDI_PROGRAM);
  if (frm_about_->open()) {
    SetForegroundWindow(frm_about_->hwnd());
    frm_about_->run_modal();
  }
}

void FrmMain::end_program() {
  closing_ = true;
  // Inside a poll's step (a message sent to us meanwhile) the step finishes first, so
  // nothing is left written in half.
  if (!in_poll_step_) exit_program();
}

void FrmMain::exit_program() {
  // Ends at once, like the menu promises; only the icon is taken along so the tray
  // does not keep a dead entry, and no download is left half-read.
  tray_presence_.reset();
  tray_icon_.reset();
  delete_listener_file();
  delete_file_quietly(app_.program_folder + "\\" + kTitleFile);
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
    advance_poll();
    return 0;
  }
  if (msg == WM_TIMER) {
    if (wp == kTimer1) timer1_tick();
    if (wp == kTimerChangesOnly) timer_changes_only_tick();
    if (wp == kTimerPollLimits) advance_poll();
    return 0;
  }
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
