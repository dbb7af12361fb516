#pragma once
// A stand-in for the running program: records what the dialogs ask of it.
#include <string>
#include <vector>

#include "common/win_test_util.h"
#include "platform/settings_store_win.h"
#include "settings_dialog/frm_konfig.h"

namespace kn::test {

class FakeHost : public KonfigHost {
 public:
  AppState state;
  std::vector<int16_t> redraw_sizes;  // text_size at each redraw
  int polls = 0;
  int loads = 0;
  std::vector<bool> autostart_calls;
  std::vector<std::string> messages;
  int32_t width_twips = 3000;
  int32_t height_twips = 750;
  std::vector<std::pair<int32_t, int32_t>> overlay_moves;
  int keys_until_failure = -1;  // a disk that fails after this many keys; -1: never

  AppState& app() override { return state; }
  void redraw_text() override { redraw_sizes.push_back(state.settings.text_size); }
  int32_t overlay_width_twips() override { return width_twips; }
  int32_t overlay_height_twips() override { return height_twips; }
  void move_overlay_twips(int32_t left, int32_t top) override { overlay_moves.emplace_back(left, top); }
  void preview_poll() override { ++polls; }
  void Load_Konfig() override {
    ++loads;
    state.settings = read_settings_file(state.settings_file);
  }
  void set_autostart(bool on) override { autostart_calls.push_back(on); }
  void show_message(HWND, const std::string& text) override { messages.push_back(text); }
  bool write_setting(const std::string& key, const std::string& value, const std::string& file) override {
    if (keys_until_failure == 0) return false;
    if (keys_until_failure > 0) --keys_until_failure;
    return KonfigHost::write_setting(key, value, file);
  }
};

}  // namespace kn::test
