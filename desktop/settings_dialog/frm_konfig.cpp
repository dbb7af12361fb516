#include "settings_dialog/frm_konfig.h"

#include <commctrl.h>
#include <commdlg.h>

#include <utility>

#include "platform/settings_store_win.h"
#include "win/ansi_win.h"
#include "win/controls_win.h"
#include "win/dpi_win.h"
#include "win/modal_loop_win.h"
#include "win/screen_twips_win.h"
#include "win/window_placement_win.h"

namespace kn {

namespace {
constexpr const char* kCaption = "Einstellungen";
constexpr COLORREF kCaptionGrey = RGB(212, 212, 212);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

using konfig::ControlDef;
using konfig::Kind;
using konfig::Live;

COLORREF ink_of(int id) {
  const ControlDef* c = konfig::control(id);
  if (c && c->kind == Kind::kCaption) return kCaptionGrey;
  if (c && c->kind == Kind::kHint) return kRed;
  return kWhite;
}
}  // namespace

bool KonfigHost::write_setting(const std::string& key, const std::string& value, const std::string& file) {
  return write_ini_value(kSettingsSection, key, value, file);
}

FrmKonfig::FrmKonfig(KonfigHost& host, HINSTANCE instance) : host_(host), instance_(instance) {}

FrmKonfig::~FrmKonfig() { destroy(); }

bool FrmKonfig::create() {
  if (is_open()) return true;
  // Laid out once from twips: Windows stretches it on a monitor of another scale.
  const DpiScope as_system = DpiScope::system_aware();
  // The design size is the outer one.
  const RECT r = centred_on_screen(SIZE{px_x(konfig::kWidthTwips), px_y(konfig::height_twips())});
  const WindowClass cls{kFrmKonfigClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))};
  if (!create_window(cls, instance_, WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, utf8_to_wide(kCaption).c_str(),
                     WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, r.left, r.top, r.right - r.left,
                     r.bottom - r.top, nullptr)) {
    return false;
  }
  closed_ = false;
  create_controls();
  load_values();
  ShowWindow(hwnd(), SW_SHOW);
  SetForegroundWindow(hwnd());
  SetFocus(control(kStations));
  return true;
}

void FrmKonfig::load_values() {
  Settings& s = host_.settings();
  opening_settings_ = s;
  s.changes_visible_in_seconds = opening_seconds(s.changes_visible_in_seconds);
  for (const ControlDef& c : konfig::controls()) {
    if (c.shows) show_setting(c);
  }
}

void FrmKonfig::apply_live(const ControlDef& c) {
  if (c.live == Live::kOnSave) return;
  read_setting(host_.settings(), konfig::setting_shown(c), shown_setting(c));
  switch (c.live) {
    case Live::kRedrawTwice:
      host_.redraw_text();
      host_.redraw_text();
      break;
    case Live::kRedraw:
      host_.redraw_text();
      break;
    case Live::kPoll:
      host_.preview_poll();
      break;
    default:
      break;
  }
}

void FrmKonfig::slider_moved(HWND h) {
  const ControlDef* c = konfig::control(GetDlgCtrlID(h));
  if (!c || c->kind != Kind::kSlider) return;
  // A live slider that did not move from its setting neither relabels nor redraws.
  if (c->live != Live::kOnSave &&
      shown_setting(*c) == setting_text(host_.settings(), konfig::setting_shown(*c)))
    return;
  set_text(c->slider.value_label, c->slider.label(slider(c->id)));
  apply_live(*c);
}

void FrmKonfig::choose_colour(const ControlDef& swatch) {
  std::array<COLORREF, 16>& custom = swatch.id == kTextColourSwatch ? text_custom_ : outline_custom_;
  custom[0] = RGB(255, 0, 255);
  custom[1] = RGB(125, 125, 125);
  custom[2] = RGB(90, 90, 90);
  CHOOSECOLORA cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = hwnd();
  cc.hInstance = reinterpret_cast<HWND>(instance_);
  cc.rgbResult = RGB(0, 255, 0);
  cc.lpCustColors = custom.data();
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_PREVENTFULLOPEN | CC_ANYCOLOR;
  if (!ChooseColorA(&cc) || closed_) return;
  set_swatch(swatch.id, cc.rgbResult);
  apply_live(swatch);
}

void FrmKonfig::command(int id, int code) {
  if (code != BN_CLICKED) return;  // STN_CLICKED has the same value
  const ControlDef* c = konfig::control(id);
  if (!c) return;
  switch (c->kind) {
    case Kind::kCheck:
      apply_live(*c);
      break;
    case Kind::kSwatch:
      choose_colour(*c);
      break;
    case Kind::kButton:
      press(id);
      break;
    default:
      break;
  }
}

void FrmKonfig::press(int button) {
  switch (button) {
    case kResetPositionButton:
      host_.settings().window_pos_x = 0;
      host_.settings().window_pos_y = 0;
      show_position_fields();
      host_.redraw_text();
      break;
    case kSetPositionButton:
      show_position_dialog(host_, instance_, hwnd());
      if (!closed_) show_position_fields();
      break;
    case kCancelButton:
      cancel();
      break;
    case kSaveButton:
      save();
      break;
    default:
      break;
  }
}

void FrmKonfig::save() {
  // The controls hold their settings in the file's own text form, read as the file would be.
  Settings v = host_.settings();
  for (const ControlDef& c : konfig::controls()) {
    if (c.shows) read_setting(v, konfig::setting_shown(c), shown_setting(c));
  }

  if (auto message = validate_stations(v.stations)) {
    host_.show_message(hwnd(), *message);
    return;
  }
  std::vector<std::pair<std::string, std::string>> keys;
  write_konfig(v, [&](const std::string& key, const std::string& value) { keys.emplace_back(key, value); });
  const bool written =
      write_ini_keys_whole(keys, host_.app().settings_file,
                           [&](const std::string& key, const std::string& value, const std::string& file) {
                             return host_.write_setting(key, value, file);
                           });
  if (!written) {
    // Nothing changed, not the file, the memory or the registry; the dialog stays
    // open with the user's values, so nothing typed is lost.
    host_.show_message(hwnd(), kNotSavedMessage);
    return;
  }
  // The autostart entry follows the file, never the other way round.
  host_.set_autostart(v.autostart == 1);
  host_.app().settings.write_title2file = v.write_title2file;
  host_.Load_Konfig();
  host_.show_message(hwnd(), kSavedMessage);
  close();
}

void FrmKonfig::cancel() {
  host_.settings() = opening_settings_;
  host_.redraw_text();
  close();
}

void FrmKonfig::close() {
  if (closed_) return;
  closed_ = true;
  destroy();
}

LRESULT FrmKonfig::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      if (id == kTextColourSwatch && text_brush_) return reinterpret_cast<LRESULT>(text_brush_.get());
      if (id == kOutlineColourSwatch && outline_brush_)
        return reinterpret_cast<LRESULT>(outline_brush_.get());
      return caption_colour(wp, ink_of(id));
    }
    case WM_HSCROLL:
      if (lp) slider_moved(reinterpret_cast<HWND>(lp));
      return 0;
    case WM_COMMAND:
      command(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CLOSE:  // the caption's close box acts like "Abbrechen"
      cancel();
      return 0;
    default:
      break;
  }
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn