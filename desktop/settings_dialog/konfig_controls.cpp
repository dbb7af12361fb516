#include "settings_dialog/konfig_controls.h"

#include <array>

#include "settings_dialog/konfig_logic.h"

namespace kn::konfig {

namespace {

// Each row the dialog gained takes this much room and pushes the rest down.
constexpr int32_t kAddedRowTwips = 360;
constexpr int32_t kBelowClosingButtonsTwips = 900;

std::string number_label(int value) { return std::to_string(value); }

constexpr ControlDef caption(const char* text, TwipsRect r) { return {Kind::kCaption, 0, text, r}; }

constexpr ControlDef hint(int id, const char* text, TwipsRect r) { return {Kind::kHint, id, text, r}; }

// A text box or a hidden field.
constexpr ControlDef field(Kind kind, int id, TwipsRect r, SettingField shows) {
  return {kind, id, "", r, shows};
}

constexpr ControlDef swatch(int id, TwipsRect r, SettingField shows) {
  return {Kind::kSwatch, id, "", r, shows, Live::kRedraw};
}

constexpr ControlDef check(int id, const char* text, TwipsRect r, SettingField shows,
                           Live live = Live::kOnSave) {
  return {Kind::kCheck, id, text, r, shows, live};
}

constexpr ControlDef slider(int id, TwipsRect r, SettingField shows, Live live, SliderScale scale) {
  return {Kind::kSlider, id, "", r, shows, live, scale};
}

constexpr ControlDef button(int id, const char* text, TwipsRect r) { return {Kind::kButton, id, text, r}; }

constexpr ControlDef added(ControlDef row) {
  row.added_row = true;
  return row;
}

// The rows at their places in the first layout; lay_out moves them below the added rows.
constexpr ControlDef kDesign[] = {
    caption("Tragt hier die Klangnetz Stationsnamen ein.", {120, 120, 6975, 255}),
    caption("Ihr k\xC3\xB6nnt mehrere Stationen mit einem ; trennen.", {120, 360, 6975, 255}),
    caption("Klangnetz Stationen", {120, 840, 1695, 255}),
    field(Kind::kTextBox, kStations, {1800, 720, 5175, 375}, &Settings::stations),
    hint(kHintLabel, "Nur Stationsnamen, ohne 'http://' etc.eingeben !  z.B.: eins", {120, 1200, 6735, 255}),
    caption("Textfarbe", {120, 2160, 1695, 255}),
    swatch(kTextColourSwatch, {1920, 2040, 615, 375}, &Settings::fill_colour),
    swatch(kOutlineColourSwatch, {1920, 2520, 615, 375}, &Settings::outline_colour),
    check(kOutlineCheck, "Konturfarbe", {120, 2640, 1575, 255}, &Settings::outline_on, Live::kRedraw),
    check(kShadowCheck, "Schatten anzeigen", {120, 3000, 3855, 375}, &Settings::shadow_on, Live::kRedraw),
    caption("Textgr\xC3\xB6\303\237e", {120, 3480, 1695, 255}),
    slider(kTextSizeSlider, {1920, 3480, 3135, 255}, &Settings::text_size, Live::kRedrawTwice,
           {10, 30, kTextSizeLabel, {5280, 3480, 1575, 255}, text_size_label}),
    caption("Transparenz", {120, 3960, 1695, 255}),
    slider(kTransparencySlider, {1920, 3960, 3135, 255}, &Settings::opacity, Live::kRedraw,
           {0, 255, kTransparencyLabel, {5280, 3960, 1575, 255}, number_label}),
    caption("Updateinterval", {120, 4560, 1695, 255}),
    slider(kIntervalSlider, {1920, 4560, 3135, 255}, &Settings::update_interval, Live::kOnSave,
           {1, 5, kIntervalLabel, {5280, 4560, 1575, 255}, update_interval_label}),
    check(kAutostartCheck, "Das Programm mit Windows starten ?", {120, 5040, 5415, 375},
          &Settings::autostart),
    check(kSideBySideCheck, "Ausgabe nebeneinander", {120, 5760, 3855, 375}, &Settings::horizontal,
          Live::kPoll),
    check(kOnlyChangesCheck, "Anzeige nur bei \xC3\x84nderungen f\xC3\xBCr ", {120, 6120, 3375, 375},
          &Settings::only_changes),
    slider(kChangeSecondsSlider, {3360, 6180, 1935, 255}, &Settings::changes_visible_in_seconds,
           Live::kOnSave, {1, 50, kChangeSecondsLabel, {5520, 6240, 1215, 255}, seconds_label}),
    check(kWriteFilesCheck, "Titel und H\xC3\xB6rerinformationen in Datei/en speichern",
          {120, 6600, 6015, 375}, &Settings::write_title2file),
    added(check(kFullscreenCheck, "Bei Vollbildanwendungen ausblenden", {120, 6960, 6015, 375},
                &Settings::hide_in_fullscreen, Live::kSet)),
    // Takes effect on saving: a notice needs two polls of one list.
    added(check(kNotifyCheck, "Melden, wenn eine Station nicht antwortet", {120, 6960, 6015, 375},
                &Settings::notify_no_answer)),
    // Takes effect on saving too: the file follows the saved setting.
    added(check(kKeepHistoryCheck, "H\xC3\xB6rerverlauf dauerhaft speichern", {120, 6960, 6015, 375},
                &Settings::keep_history)),
    button(kSetPositionButton, "Fensterposition festlegen", {960, 7320, 2775, 375}),
    button(kResetPositionButton, "Fensterposition zur\303\274cksetzen", {3960, 7320, 2415, 375}),
    button(kCancelButton, "&Abbrechen", {240, 8235, 1815, 375}),
    button(kSaveButton, "&Speichern", {5400, 8235, 1815, 375}),
    field(Kind::kHiddenField, kPositionXField, {120, 9240, 1215, 285}, &Settings::window_pos_x),
    field(Kind::kHiddenField, kPositionYField, {1440, 9240, 1215, 285}, &Settings::window_pos_y),
};

constexpr auto lay_out() {
  std::array<ControlDef, std::size(kDesign)> rows = std::to_array(kDesign);
  int32_t shift = 0;
  int next_caption = kFirstCaption;
  for (ControlDef& c : rows) {
    c.rect.top += shift;
    c.slider.value_rect.top += shift;
    if (c.kind == Kind::kCaption) c.id = next_caption++;
    if (c.added_row) shift += kAddedRowTwips;
  }
  return rows;
}
constexpr auto kControls = lay_out();

constexpr bool table_is_sound() {
  for (const ControlDef& c : kControls) {
    const bool needs_setting = c.kind != Kind::kCaption && c.kind != Kind::kHint && c.kind != Kind::kButton;
    if (needs_setting != c.shows.has_value()) return false;
    // (Whether a slider has its label function is no constant where sanitizers instrument.)
    if ((c.kind == Kind::kSlider) != (c.slider.value_label != 0)) return false;
    if (c.kind == Kind::kSlider && c.slider.lo > c.slider.hi) return false;
    for (const ControlDef& d : kControls) {
      if (&d != &c && (d.id == c.id || (c.slider.value_label != 0 && d.id == c.slider.value_label)))
        return false;
    }
  }
  return true;
}
static_assert(table_is_sound(),
              "each control shows a setting when it can, ids once, sliders with their labels");

}  // namespace

std::span<const ControlDef> controls() { return kControls; }

const ControlDef* control(int id) {
  for (const ControlDef& c : kControls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const SettingDef& setting_shown(const ControlDef& c) { return setting_of(c.shows.value()); }

int32_t height_twips() { return control(kCancelButton)->rect.top + kBelowClosingButtonsTwips; }

}  // namespace kn::konfig
