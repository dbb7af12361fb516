#include "settings_dialog/frm_konfig.h"

#include <commctrl.h>
#include <commdlg.h>

#include <utility>

#include "core/number_text.h"
#include "platform/settings_store_win.h"
#include "win/ansi_win.h"
#include "win/controls_win.h"
#include "win/dpi_win.h"
#include "win/modal_loop_win.h"
#include "win/screen_twips_win.h"
#include "win/window_placement_win.h"

namespace kn {

namespace {
constexpr int32_t kWidthTwips = 7455;
// The full-screen, notice and history boxes take a row of 360 each above the buttons.
constexpr int32_t kHeightTwips = 10215;
constexpr COLORREF kCaptionGrey = RGB(212, 212, 212);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

// The dialog's own texts, UTF-8.
namespace text {
constexpr const char* kCaption = "Einstellungen";
constexpr const char* kIntro1 = "Tragt hier die Klangnetz Stationsnamen ein.";
constexpr const char* kIntro2 = "Ihr k\xC3\xB6nnt mehrere Stationen mit einem ; trennen.";
constexpr const char* kStations = "Klangnetz Stationen";
constexpr const char* kHint = "Nur Stationsnamen, ohne 'http://' etc.eingeben !  z.B.: eins";
constexpr const char* kTextColour = "Textfarbe";
constexpr const char* kOutline = "Konturfarbe";
constexpr const char* kShadow = "Schatten anzeigen";
constexpr const char* kTextSize = "Textgr\xC3\xB6\303\237e";
constexpr const char* kTransparency = "Transparenz";
constexpr const char* kInterval = "Updateinterval";
constexpr const char* kAutostart = "Das Programm mit Windows starten ?";
constexpr const char* kSideBySide = "Ausgabe nebeneinander";
constexpr const char* kOnlyChanges = "Anzeige nur bei \xC3\x84nderungen f\xC3\xBCr ";
constexpr const char* kWriteFile = "Titel und H\xC3\xB6rerinformationen in Datei/en speichern";
constexpr const char* kFullscreen = "Bei Vollbildanwendungen ausblenden";
constexpr const char* kNotify = "Melden, wenn eine Station nicht antwortet";
constexpr const char* kKeepHistory = "H\xC3\xB6rerverlauf dauerhaft speichern";
constexpr const char* kSetPosition = "Fensterposition festlegen";
constexpr const char* kResetPosition = "Fensterposition zur\303\274cksetzen";
constexpr const char* kCancel = "&Abbrechen";
constexpr const char* kSave = "&Speichern";
}  // namespace text

COLORREF swatch_rgb(uint32_t colour) { return static_cast<COLORREF>(colour & 0x00FFFFFF); }

using Shows = FrmKonfig::Shows;

// The control that shows each setting the dialog edits.
struct Shown {
  int id;
  Shows as;
  SettingField field;
};
const Shown kShown[] = {
    {FrmKonfig::kStations, Shows::kText, &Settings::stations},
    {FrmKonfig::kTextColourSwatch, Shows::kColour, &Settings::fill_colour},
    {FrmKonfig::kOutlineColourSwatch, Shows::kColour, &Settings::outline_colour},
    {FrmKonfig::kTransparencySlider, Shows::kSlider, &Settings::opacity},
    {FrmKonfig::kIntervalSlider, Shows::kSlider, &Settings::update_interval},
    {FrmKonfig::kTextSizeSlider, Shows::kSlider, &Settings::text_size},
    {FrmKonfig::kChangeSecondsSlider, Shows::kSlider, &Settings::changes_visible_in_seconds},
    {FrmKonfig::kOutlineCheck, Shows::kCheck, &Settings::outline_on},
    {FrmKonfig::kShadowCheck, Shows::kCheck, &Settings::shadow_on},
    {FrmKonfig::kAutostartCheck, Shows::kCheck, &Settings::autostart},
    {FrmKonfig::kOnlyChangesCheck, Shows::kCheck, &Settings::only_changes},
    {FrmKonfig::kWriteFilesCheck, Shows::kCheck, &Settings::write_title2file},
    {FrmKonfig::kSideBySideCheck, Shows::kCheck, &Settings::horizontal},
    {FrmKonfig::kFullscreenCheck, Shows::kCheck, &Settings::hide_in_fullscreen},
    {FrmKonfig::kNotifyCheck, Shows::kCheck, &Settings::notify_no_answer},
    {FrmKonfig::kKeepHistoryCheck, Shows::kCheck, &Settings::keep_history},
    {FrmKonfig::kPositionXField, Shows::kText, &Settings::window_pos_x},
    {FrmKonfig::kPositionYField, Shows::kText, &Settings::window_pos_y},
};
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
  const RECT r = centred_on_screen(SIZE{px_x(kWidthTwips), px_y(kHeightTwips)});
  const WindowClass cls{kFrmKonfigClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))};
  if (!create_window(cls, instance_, WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT,
                     utf8_to_wide(text::kCaption).c_str(),
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

void FrmKonfig::create_controls() {
  HWND w = hwnd();
  const DWORD label = WS_VISIBLE;
  const DWORD check = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
  const DWORD slider = WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_NOTICKS;
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  int caption = kFirstCaption;

  create_control(w, L"STATIC", text::kIntro1, label, caption++, 120, 120, 6975, 255);
  create_control(w, L"STATIC", text::kIntro2, label, caption++, 120, 360, 6975, 255);
  create_control(w, L"STATIC", text::kStations, label, caption++, 120, 840, 1695, 255);
  create_control(w, L"EDIT", "", WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kStations, 1800, 720,
                 5175, 375);
  create_control(w, L"STATIC", text::kHint, label, kHintLabel, 120, 1200, 6735, 255);
  create_control(w, L"STATIC", text::kTextColour, label, caption++, 120, 2160, 1695, 255);
  create_control(w, L"STATIC", "", label | SS_NOTIFY | WS_BORDER, kTextColourSwatch, 1920, 2040, 615, 375);
  create_control(w, L"STATIC", "", label | SS_NOTIFY | WS_BORDER, kOutlineColourSwatch, 1920, 2520, 615, 375);
  create_control(w, L"BUTTON", text::kOutline, check, kOutlineCheck, 120, 2640, 1575, 255);
  create_control(w, L"BUTTON", text::kShadow, check, kShadowCheck, 120, 3000, 3855, 375);
  create_control(w, L"STATIC", text::kTextSize, label, caption++, 120, 3480, 1695, 255);
  create_control(w, TRACKBAR_CLASSW, "", slider, kTextSizeSlider, 1920, 3480, 3135, 255);
  create_control(w, L"STATIC", "", label, kTextSizeLabel, 5280, 3480, 1575, 255);
  create_control(w, L"STATIC", text::kTransparency, label, caption++, 120, 3960, 1695, 255);
  create_control(w, TRACKBAR_CLASSW, "", slider, kTransparencySlider, 1920, 3960, 3135, 255);
  create_control(w, L"STATIC", "", label, kTransparencyLabel, 5280, 3960, 1575, 255);
  create_control(w, L"STATIC", text::kInterval, label, caption++, 120, 4560, 1695, 255);
  create_control(w, TRACKBAR_CLASSW, "", slider, kIntervalSlider, 1920, 4560, 3135, 255);
  create_control(w, L"STATIC", "", label, kIntervalLabel, 5280, 4560, 1575, 255);
  create_control(w, L"BUTTON", text::kAutostart, check, kAutostartCheck, 120, 5040, 5415, 375);
  create_control(w, L"BUTTON", text::kSideBySide, check, kSideBySideCheck, 120, 5760, 3855, 375);
  create_control(w, L"BUTTON", text::kOnlyChanges, check, kOnlyChangesCheck, 120, 6120, 3375, 375);
  create_control(w, TRACKBAR_CLASSW, "", slider, kChangeSecondsSlider, 3360, 6180, 1935, 255);
  create_control(w, L"STATIC", "", label, kChangeSecondsLabel, 5520, 6240, 1215, 255);
  create_control(w, L"BUTTON", text::kWriteFile, check, kWriteFilesCheck, 120, 6600, 6015, 375);
  create_control(w, L"BUTTON", text::kFullscreen, check, kFullscreenCheck, 120, 6960, 6015, 375);
  // Takes effect on saving: a notice needs two polls of one list.
  create_control(w, L"BUTTON", text::kNotify, check, kNotifyCheck, 120, 7320, 6015, 375);
  // Takes effect on saving too: the file follows the saved setting.
  create_control(w, L"BUTTON", text::kKeepHistory, check, kKeepHistoryCheck, 120, 7680, 6015, 375);
  create_control(w, L"BUTTON", text::kSetPosition, button, kSetPositionButton, 960, 8400, 2775, 375);
  create_control(w, L"BUTTON", text::kResetPosition, button, kResetPositionButton, 3960, 8400, 2415, 375);
  create_control(w, L"BUTTON", text::kCancel, button, kCancelButton, 240, 9315, 1815, 375);
  create_control(w, L"BUTTON", text::kSave, button, kSaveButton, 5400, 9315, 1815, 375);
  // Never shown; they carry the position between the position dialog and saving.
  create_control(w, L"EDIT", "", 0, kPositionXField, 120, 10320, 1215, 285);
  create_control(w, L"EDIT", "", 0, kPositionYField, 1440, 10320, 1215, 285);

  for (int id : {kOutlineCheck, kShadowCheck, kAutostartCheck, kSideBySideCheck, kOnlyChangesCheck,
                 kWriteFilesCheck, kFullscreenCheck, kNotifyCheck, kKeepHistoryCheck})
    use_classic_look(control(id));
  struct Range {
    int id, lo, hi;
  };
  for (Range r : {Range{kTextSizeSlider, 10, 30}, Range{kTransparencySlider, 0, 255},
                  Range{kIntervalSlider, 1, 5}, Range{kChangeSecondsSlider, 1, 50}}) {
    SendMessageW(control(r.id), TBM_SETRANGEMIN, FALSE, r.lo);
    SendMessageW(control(r.id), TBM_SETRANGEMAX, TRUE, r.hi);
  }
}

void FrmKonfig::load_values() {
  Settings& s = host_.settings();
  opening_settings_ = s;
  s.changes_visible_in_seconds = opening_seconds(s.changes_visible_in_seconds);
  for (const Shown& c : kShown) show_setting(c.id, c.as, setting_text(s, setting_of(c.field)));

  set_text(kTextSizeLabel, text_size_label(slider(kTextSizeSlider)));
  set_text(kTransparencyLabel, std::to_string(slider(kTransparencySlider)));
  set_text(kIntervalLabel, update_interval_label(slider(kIntervalSlider)));
  set_text(kChangeSecondsLabel, seconds_label(slider(kChangeSecondsSlider)));
}

void FrmKonfig::show_setting(int id, Shows as, const std::string& text) {
  switch (as) {
    case Shows::kText:
      set_text(id, text);
      break;
    case Shows::kColour:
      set_swatch(id, colour_from_text(text));
      break;
    case Shows::kSlider:
      SendMessageW(control(id), TBM_SETPOS, TRUE, strict_int32(text).value_or(0));
      break;
    case Shows::kCheck:
      // Only exactly 1 checks a box whose setting is a number.
      SendMessageW(control(id), BM_SETCHECK, text == "1" ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
  }
}

std::string FrmKonfig::shown_setting(int id, Shows as) const {
  switch (as) {
    case Shows::kText:
      return text_of(id);
    case Shows::kColour:
      return colour_to_text(id == kTextColourSwatch ? text_colour_ : outline_colour_);
    case Shows::kSlider:
      return std::to_string(slider(id));
    case Shows::kCheck:
      return checked(id) ? "1" : "0";
  }
  return {};
}

bool FrmKonfig::checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

int FrmKonfig::slider(int id) const { return static_cast<int>(SendMessageW(control(id), TBM_GETPOS, 0, 0)); }

std::string FrmKonfig::text_of(int id) const {
  HWND h = control(id);
  std::wstring buffer(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  const int n = GetWindowTextW(h, buffer.data(), static_cast<int>(buffer.size()));
  return wide_to_utf8(std::wstring_view(buffer.data(), static_cast<size_t>(n > 0 ? n : 0)));
}

void FrmKonfig::set_text(int id, const std::string& utf8) {
  SetWindowTextW(control(id), utf8_to_wide(utf8).c_str());
}

void FrmKonfig::set_swatch(int swatch, uint32_t colour) {
  unique_hbrush brush(CreateSolidBrush(swatch_rgb(colour)));
  if (swatch == kTextColourSwatch) {
    text_colour_ = colour;
    text_brush_ = std::move(brush);
  } else {
    outline_colour_ = colour;
    outline_brush_ = std::move(brush);
  }
  InvalidateRect(control(swatch), nullptr, TRUE);
}

void FrmKonfig::show_position_fields() {
  set_text(kPositionXField, std::to_string(host_.settings().window_pos_x));
  set_text(kPositionYField, std::to_string(host_.settings().window_pos_y));
}

void FrmKonfig::slider_moved(HWND h) {
  Settings& s = host_.settings();
  const int id = GetDlgCtrlID(h);
  const int pos = slider(id);
  switch (id) {
    case kTextSizeSlider:
      if (pos == s.text_size) return;
      s.text_size = static_cast<int16_t>(pos);
      set_text(kTextSizeLabel, text_size_label(pos));
      // A redraw lays out at the window's width of before: the second one measures
      // at the new size, so the whole text shows.
      host_.redraw_text();
      host_.redraw_text();
      break;
    case kTransparencySlider:
      if (pos == s.opacity) return;
      s.opacity = static_cast<int16_t>(pos);
      set_text(kTransparencyLabel, std::to_string(pos));
      host_.redraw_text();
      break;
    case kIntervalSlider:
      set_text(kIntervalLabel, update_interval_label(pos));
      break;
    case kChangeSecondsSlider:
      set_text(kChangeSecondsLabel, seconds_label(pos));
      break;
    default:
      break;
  }
}

void FrmKonfig::choose_colour(int swatch) {
  std::array<COLORREF, 16>& custom = swatch == kTextColourSwatch ? text_custom_ : outline_custom_;
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
  set_swatch(swatch, cc.rgbResult);
  if (swatch == kTextColourSwatch) {
    host_.settings().fill_colour = colour_to_text(text_colour_);
  } else {
    host_.settings().outline_colour = colour_to_text(outline_colour_);
  }
  host_.redraw_text();
}

void FrmKonfig::command(int id, int code) {
  if (code != BN_CLICKED) return;  // STN_CLICKED has the same value
  Settings& s = host_.settings();
  switch (id) {
    case kOutlineCheck:
      s.outline_on = checked(kOutlineCheck);
      host_.redraw_text();
      break;
    case kShadowCheck:
      s.shadow_on = checked(kShadowCheck);
      host_.redraw_text();
      break;
    case kSideBySideCheck:
      s.horizontal = checked(kSideBySideCheck) ? 1 : 0;
      host_.preview_poll();
      break;
    case kFullscreenCheck:  // takes effect at once, like the other boxes
      s.hide_in_fullscreen = checked(kFullscreenCheck);
      break;
    case kTextColourSwatch:
    case kOutlineColourSwatch:
      choose_colour(id);
      break;
    case kResetPositionButton:
      s.window_pos_x = 0;
      s.window_pos_y = 0;
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
  for (const Shown& c : kShown) read_setting(v, setting_of(c.field), shown_setting(c.id, c.as));

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
      return caption_colour(wp, id == kHintLabel ? kRed : id >= kFirstCaption ? kCaptionGrey : kWhite);
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
