#pragma once
// The hidden main window: program state, startup, tray icon, timers and menu.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "core/app_state.h"
#include "core/poll.h"
#include "core/timers.h"
#include "core/win_handle.h"
#include "overlay/frm_text.h"  // also gives kProgramTitle

namespace kn {

inline constexpr const char* kMainWindowClass = "Klangnetz_frmMain";
inline constexpr const char* kTrayWindowClass = "Klangnetz_Picture1";
inline constexpr UINT kTrayCallbackMessage = 512;
inline constexpr const char* kIdleTip = "Klangnetz H\xC3\xB6reranzeige";
inline constexpr const char* kBusyTip = "Daten werden geladen";

class FrmMain : public PollHost {
 public:
  FrmMain();
  ~FrmMain() override;
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;

  // The one instance of the running program.
  static FrmMain& instance();

  // The load handler: settings, first poll, tray, overlay, timer.
  bool startup(HINSTANCE instance);
  int message_loop();

  void Load_Konfig();
  void check_stations();
  void refresh_all_now();

  AppState& app() { return app_; }
  FrmText& frmText();
  HWND hwnd() const { return window_.get(); }
  HWND tray_window() const { return picture1_.get(); }
  HINSTANCE instance_handle() const { return instance_; }
  int32_t taskbar_height = 0;
  const NOTIFYICONDATAA& tray_icon() const { return tray_icon_; }

  // PollHost
  void set_tray_busy(bool busy) override;
  void delete_listener_file() override;
  std::string fetch_listeners(const std::string& url) override;
  void set_Print_Text(std::string& text) override;
  void start_change_display() override;
  int32_t fetch_current_song(const std::string& name, int32_t last_id,
                             const std::string& count_text) override;

  // Timer handlers and the tray callback, also reachable for tests.
  void timer1_tick();
  void timer_changes_only_tick();
  void tray_callback(LPARAM event);

 private:
  static LRESULT CALLBACK main_proc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK picture_proc(HWND, UINT, WPARAM, LPARAM);
  bool create_windows();
  void start_updater();
  void add_tray_icon();
  void set_tip(const std::string& utf8);
  void show_menu();
  void exit_program();

  HINSTANCE instance_ = nullptr;
  AppState app_;
  RefreshTimers timers_;
  unique_hwnd window_;
  unique_hwnd picture1_;
  unique_hicon program_icon_;
  unique_hicon busy_icon_;  // the picture of Picture2
  NOTIFYICONDATAA tray_icon_{};
  bool tray_added_ = false;
  std::unique_ptr<FrmText> frm_text_;
};

// The secondary windows, shown modally from the tray menu.
void show_frmKonfig(FrmMain& main);
void show_frmGraph(FrmMain& main);
void show_frmAbout(FrmMain& main);

}  // namespace kn
