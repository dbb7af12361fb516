#pragma once
// The running program as the settings dialogs see it.
#include <windows.h>

#include <string>

#include "app/program.h"
#include "settings_dialog/frm_konfig.h"

namespace kn {

class MainKonfigHost : public KonfigHost {
 public:
  explicit MainKonfigHost(Program& main) : main_(main) {}
  AppState& app() override { return main_.app(); }
  void redraw_text() override { main_.frmText().redraw_text(); }
  int32_t overlay_width_twips() override { return main_.frmText().measured_width_twips(); }
  int32_t overlay_height_twips() override { return main_.frmText().measured_height_twips(); }
  void move_overlay_twips(int32_t left, int32_t top) override { main_.frmText().move_to_twips(left, top); }
  void preview_poll() override { main_.restart_poll(); }
  void Load_Konfig() override { main_.Load_Konfig(); }
  void set_autostart(bool on) override;
  void show_message(HWND owner, const std::string& message) override;

 private:
  Program& main_;
};

}  // namespace kn
