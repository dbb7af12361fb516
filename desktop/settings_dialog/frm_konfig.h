#pragma once
// frmKonfig: the settings dialog with live preview of the overlay.
#include <windows.h>

#include <array>
#include <string>

#include "core/app_state.h"
#include "settings_dialog/frm_konfig_position.h"
#include "settings_dialog/konfig_controls.h"
#include "settings_dialog/konfig_logic.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

// What the settings dialog needs from the program; app/ provides the real one.
class KonfigHost : public PositionHost {
 public:
  virtual AppState& app() = 0;
  Settings& settings() override { return app().settings; }
  // Polls again at once, so the overlay shows a changed layout with fresh counts.
  virtual void preview_poll() = 0;
  virtual void Load_Konfig() = 0;
  virtual void set_autostart(bool on) = 0;
  // A message box with the program's title and only an OK button.
  virtual void show_message(HWND owner, const std::string& text) = 0;
  // One settings key into `file` (the settings file or its copy while saving).
  virtual bool write_setting(const std::string& key, const std::string& value, const std::string& file);
};

inline constexpr const wchar_t* kFrmKonfigClass = L"Klangnetz_frmKonfig";

class FrmKonfig : public WindowBase {
 public:
  using enum konfig::Control;  // the controls' ids

  FrmKonfig(KonfigHost& host, HINSTANCE instance);
  ~FrmKonfig() override;
  FrmKonfig(const FrmKonfig&) = delete;
  FrmKonfig& operator=(const FrmKonfig&) = delete;

  // Copies the settings into the controls and shows the dialog centred; again after
  // it closed (one dialog serves the program's life, so the custom colours stay).
  // run_modal (win/modal_loop_win.h) then serves it.
  bool create();

  HWND control(int id) const { return GetDlgItem(hwnd(), id); }
  bool closed() const { return closed_; }

 private:
  LRESULT handle(UINT, WPARAM, LPARAM) override;
  void create_controls();
  void load_values();
  // A setting into its control and back, in the settings file's text form.
  void show_setting(const konfig::ControlDef& c);
  std::string shown_setting(const konfig::ControlDef& c) const;
  // What a change of the control does before saving.
  void apply_live(const konfig::ControlDef& c);
  void command(int id, int code);
  void press(int button);
  void slider_moved(HWND slider);
  void choose_colour(const konfig::ControlDef& swatch);
  void set_swatch(int swatch, uint32_t colour);
  void show_position_fields();
  void save();
  void cancel();
  void close();
  bool checked(int id) const;
  int slider(int id) const;
  std::string text_of(int id) const;
  void set_text(int id, const std::string& utf8);

  KonfigHost& host_;
  HINSTANCE instance_;
  Settings opening_settings_;  // for cancelling
  uint32_t text_colour_ = 0;
  uint32_t outline_colour_ = 0;
  unique_hbrush text_brush_;
  unique_hbrush outline_brush_;
  std::array<COLORREF, 16> text_custom_{};
  std::array<COLORREF, 16> outline_custom_{};
  bool closed_ = false;
};

}  // namespace kn
