// The tray icon's events and the tray menu: a table of entries, each a text and the
// command it runs, from which the menu and its dispatch are made.
#include <array>

#include "app/konfig_host.h"
#include "app/program.h"
#include "app/resource_ids.h"
#include "dialogs/frm_about.h"
#include "settings_dialog/frm_konfig.h"
#include "stats/frm_graph.h"
#include "win/date_time_win.h"
#include "win/modal_loop_win.h"

namespace kn {

namespace {

struct MenuEntry {
  const char* text;  // UTF-8
  void (Program::*run)();
};
// In the order the menu shows them.
constexpr MenuEntry kTrayMenu[] = {
    {"Einstellungen", &Program::open_settings},
    {"Statistik", &Program::open_statistics},
    {"\xC3\x9C" "ber", &Program::open_about},
    {"Beenden", &Program::end_program},
};

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
    run_modal(*window);
  }
}

}  // namespace

void Program::tray_event(UINT event) {
  switch (event) {
    case WM_LBUTTONDBLCLK:
      refresh_all_now();
      break;
    case WM_RBUTTONUP:
      // The menu's loop runs every message: never inside a poll's step.
      runner_.outside_step([this] { show_tray_menu(); });
      break;
    default:
      break;
  }
}

void Program::show_tray_menu() {
  std::array<const char*, std::size(kTrayMenu)> texts{};
  for (size_t i = 0; i < texts.size(); ++i) texts[i] = kTrayMenu[i].text;
  if (const auto chosen = tray_.show_menu(main_.hwnd(), texts)) (this->*kTrayMenu[*chosen].run)();
}

void Program::open_settings() {
  show_or_raise(
      frm_konfig_,
      [this] {
        konfig_host_ = std::make_unique<MainKonfigHost>(*this);
        return std::make_unique<FrmKonfig>(*konfig_host_, instance_);
      },
      &FrmKonfig::create);
}

void Program::open_statistics() {
  show_or_raise(
      frm_graph_,
      [this] {
        GraphHistory disk{
            .kept = [this] { return app_.settings.keep_history; },
            .samples = [this](const std::string& station, int64_t from,
                              int64_t to) { return history_samples(station, from, to); },
            .now = local_moment_now,
            .update_interval = [this] { return int{app_.settings.update_interval}; },
            .program_start_utc = started_utc_};
        return std::make_unique<FrmGraph>(app_.station_list, app_.history, instance_, std::move(disk));
      },
      &FrmGraph::open);
}

void Program::open_about() {
  show_or_raise(
      frm_about_, [this] { return std::make_unique<FrmAbout>(instance_, app_.program_folder, IDI_PROGRAM); },
      &FrmAbout::open);
}

}  // namespace kn
