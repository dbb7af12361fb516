#include "core/frm_main.h"

#include <commctrl.h>

#include <cstring>

#include "core/ansi_win.h"
#include "core/download.h"
#include "core/ini_module.h"
#include "core/resource_ids.h"
#include "core/title_files.h"
#include "overlay/frm_text.h"

namespace kn {

namespace {
FrmMain* g_main = nullptr;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimerChangesOnly = 2;
enum MenuId : UINT { kMnuCong = 101, kMnStat, kMnOver, kMnExit };
}  // namespace

FrmMain::FrmMain() : app_() {
  app_.history = History([] { return std::pair(current_date_text(), current_time_text()); });
  g_main = this;
}

FrmMain::~FrmMain() {
  if (tray_added_) Shell_NotifyIconA(NIM_DELETE, &tray_icon_);
  if (g_main == this) g_main = nullptr;
}

FrmMain& FrmMain::instance() { return *g_main; }

FrmText& FrmMain::frmText() {
  if (!frm_text_) {
    frm_text_ = std::make_unique<FrmText>(app_);
    frm_text_->create(window_.get(), taskbar_height);
  }
  return *frm_text_;
}

bool FrmMain::create_windows() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = main_proc;
  wc.hInstance = instance_;
  wc.lpszClassName = kMainWindowClass;
  wc.hIcon = program_icon_.get();
  RegisterClassExA(&wc);
  WNDCLASSEXA pc{};
  pc.cbSize = sizeof pc;
  pc.lpfnWndProc = picture_proc;
  pc.hInstance = instance_;
  pc.lpszClassName = kTrayWindowClass;
  RegisterClassExA(&pc);
  // A tool window that is never shown has no taskbar button and no switcher entry.
  window_.reset(CreateWindowExA(WS_EX_TOOLWINDOW, kMainWindowClass, kProgramTitle, WS_OVERLAPPED, 0, 0,
                                100, 100, nullptr, nullptr, instance_, nullptr));
  if (!window_) return false;
  picture1_.reset(CreateWindowExA(0, kTrayWindowClass, "", WS_CHILD, 0, 0, 16, 16, window_.get(),
                                  nullptr, instance_, nullptr));
  return static_cast<bool>(picture1_);
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
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
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

  static_cast<Settings&>(app_) = Settings{};                                  // 1
  app_.program_folder = program_folder();                                     // 2
  app_.settings_file = app_.program_folder + "\\" + kSettingsFileName;
  start_updater();                                                            // 3
  app_.history.init_history();                                                // 4
  taskbar_height = taskbar_info("HEIGHT");                                    // 5
  Load_Konfig();                                                              // 6
  // 7-9: frmMain stays hidden, is a tool window and has no menu bar.
  add_tray_icon();                                                            // 10
  frmText().show();                                                           // 11
  SetTimer(window_.get(), kTimer1, 1000, nullptr);                            // 12
  return true;
}

int FrmMain::message_loop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void FrmMain::Load_Konfig() {
  const std::string file = app_.settings_file;
  static_cast<Settings&>(app_) = read_settings([&](const std::string& key, const std::string& def) {
    return read_ini_value(kSettingsSection, key, def, file);
  });
  build_station_list(app_.stations, app_.station_list);
  check_stations();
}

void FrmMain::check_stations() { kn::check_stations(app_, *this); }

void FrmMain::refresh_all_now() {
  const bool remembered = app_.only_changes;
  app_.only_changes = false;
  check_stations();
  if (remembered) start_change_display();
  app_.only_changes = remembered;
}

// The first version of the record: every shell takes it. Its size follows the pointers.
static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88));

void FrmMain::add_tray_icon() {
  tray_icon_ = NOTIFYICONDATAA{};
  tray_icon_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  tray_icon_.hWnd = picture1_.get();
  tray_icon_.uID = 1;
  tray_icon_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  tray_icon_.uCallbackMessage = kTrayCallbackMessage;
  tray_icon_.hIcon = program_icon_.get();
  set_tip(kIdleTip);
  tray_added_ = Shell_NotifyIconA(NIM_ADD, &tray_icon_) != FALSE;
}

void FrmMain::set_tip(const std::string& utf8) {
  std::string ansi = utf8_to_ansi(utf8);
  std::memset(tray_icon_.szTip, 0, 64);
  std::memcpy(tray_icon_.szTip, ansi.data(), std::min<size_t>(ansi.size(), 63));
}

void FrmMain::set_tray_busy(bool busy) {
  if (busy) {
    set_tip(kBusyTip);
    tray_icon_.hIcon = busy_icon_.get();
  } else {
    tray_icon_.hIcon = program_icon_.get();
    set_tip(kIdleTip);
  }
  if (tray_added_) Shell_NotifyIconA(NIM_MODIFY, &tray_icon_);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void FrmMain::delete_listener_file() { delete_file_quietly(app_.program_folder + "\\" + kListenerFile); }

std::string FrmMain::fetch_listeners(const std::string& url) {
  return fetch_to_file(url, app_.program_folder + "\\" + kListenerFile, kListenerAnswerLimit);
}

void FrmMain::set_Print_Text(std::string& text) { frmText().set_Print_Text(text); }

void FrmMain::start_change_display() {
  timers_.start_change_display();
  SetTimer(window_.get(), kTimerChangesOnly, 1000, nullptr);
}

int32_t FrmMain::fetch_current_song(const std::string& name, int32_t last_id,
                                    const std::string& count_text) {
  if (!app_.write_title2file) return 0;
  const std::string folder = app_.program_folder;
  const std::string url = current_song_url(app_.api_base_url, name);
  auto download = [&] { return fetch_to_file(url, folder + "\\" + kTitleFile, kSongAnswerLimit); };
  return handle_current_song(
      download(), last_id, count_text,
      [&](const std::string& line) { return append_title_line(folder, name, line); },
      [] { return std::pair(current_date_text(), current_time_text()); });
}

void FrmMain::timer1_tick() {
  RefreshTimers::Tick t = timers_.timer1_tick(app_.UpdateInterval);
  set_tip(t.tooltip);
  if (tray_added_) Shell_NotifyIconA(NIM_MODIFY, &tray_icon_);
  if (t.poll) check_stations();
}

void FrmMain::timer_changes_only_tick() {
  if (timers_.changes_tick(app_.changes_visible_in_seconds)) {
    KillTimer(window_.get(), kTimerChangesOnly);
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
      SetForegroundWindow(window_.get());
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
                                                 pt.x, pt.y, 0, window_.get(), nullptr));
  PostMessageA(window_.get(), WM_NULL, 0, 0);  // lets the menu close properly
  switch (choice) {
    case kMnuCong: show_frmKonfig(*this); break;
    case kMnStat: show_frmGraph(*this); break;
    case kMnOver: show_frmAbout(*this); break;
    case kMnExit: exit_program(); break;
    default: break;
  }
}

void FrmMain::exit_program() {
  // Ends at once, like the menu promises; only the icon is taken along so the tray
  // does not keep a dead entry.
  if (tray_added_) Shell_NotifyIconA(NIM_DELETE, &tray_icon_);
  ExitProcess(0);
}

LRESULT CALLBACK FrmMain::main_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // A restarted shell forgets every tray icon; put ours back.
  static const UINT taskbar_created = RegisterWindowMessageA("TaskbarCreated");
  if (msg == taskbar_created && g_main && g_main->tray_added_) {
    g_main->tray_added_ = Shell_NotifyIconA(NIM_ADD, &g_main->tray_icon_) != FALSE;
    return 0;
  }
  if (msg == WM_TIMER && g_main) {
    if (wp == kTimer1) g_main->timer1_tick();
    if (wp == kTimerChangesOnly) g_main->timer_changes_only_tick();
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FrmMain::picture_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kTrayCallbackMessage && g_main) {
    g_main->tray_callback(lp);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace kn
