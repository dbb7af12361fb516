#include "settings_dialog/konfig_logic.h"

#include "core/text_util.h"
#include "core/twips.h"

namespace kn {

namespace {
constexpr const char* kWrongName = "Falsche Eingabe der oder des Stationsnamens!\r\n";
constexpr const char* kExample = "\r\nBeipsiel: eins";

std::string without_message(const std::string& what) {
  return std::string(kWrongName) + "Bitte nur den Stationsnamen ohne '" + what + "' eintragen." + kExample;
}

std::string flag(bool on) { return on ? "1" : "0"; }
}  // namespace

std::string text_size_label(int value) { return "Textgr\xC3\xB6\303\237e: " + std::to_string(value); }

std::string update_interval_label(int value) {
  if (value == 1) return "einmal pro Minute";
  return "aller " + std::to_string(value) + " Minuten";
}

std::string seconds_label(int value) {
  return std::to_string(value) + (value == 1 ? " Sekunde" : " Sekunden");
}

std::string station_text(std::string_view field) { return trim_blanks(to_lower(field)); }

std::optional<std::string> validate_stations(std::string_view text) {
  if (text.find(',') != std::string_view::npos) {
    return std::string(kWrongName) + "F\xC3\xBCr mehrere Stationen bitte ein ; verwenden ";
  }
  if (text.find("http") != std::string_view::npos) return without_message("http");
  if (text.find(kPlatformDomain) != std::string_view::npos) return without_message(kPlatformDomain);
  if (text.find(".live") != std::string_view::npos) return without_message(".live");
  return std::nullopt;
}

void write_konfig(const KonfigValues& v, const KeyWriter& write,
                  const std::function<void()>& after_autostart_key) {
  write("stations", station_text(v.stations_field));
  if (static_cast<int32_t>(v.text_colour) >= 0) write("BackgroundColor", colour_to_text(v.text_colour));
  if (static_cast<int32_t>(v.outline_colour) >= 0) write("OutlineColor", colour_to_text(v.outline_colour));
  write("UpdateInterval", std::to_string(v.update_interval));
  write("Opaque", std::to_string(v.opaque));
  write("Text_Ouline", flag(v.outline));
  write("Text_Shadow", flag(v.shadow));
  write("Text_Size", std::to_string(v.text_size));
  write("autostart", flag(v.autostart));
  if (after_autostart_key) after_autostart_key();
  write("only_changes", flag(v.only_changes));
  write("changes_visible_in_seconds", std::to_string(v.seconds));
  write("write_title2file", flag(v.write_title2file));
  write("window_pos_x", trim_blanks(v.pos_x_field));
  write("window_pos_y", trim_blanks(v.pos_y_field));
  write("horizontal", flag(v.horizontal));
  write("hide_in_fullscreen", flag(v.hide_in_fullscreen));
}

KonfigCopy take_copy(const Settings& s) {
  KonfigCopy c;
  c.text_colour = colour_from_text(s.BackgroundColor);
  c.outline_colour = colour_from_text(s.OutlineColor);
  c.Opaque = s.Opaque;
  c.UpdateInterval = s.UpdateInterval;
  c.Text_Ouline = s.Text_Ouline;
  c.Text_Shadow = s.Text_Shadow;
  c.Text_Size = s.Text_Size;
  c.only_changes = s.only_changes;
  c.changes_visible_in_seconds = s.changes_visible_in_seconds;
  c.write_title2file = s.write_title2file;
  c.window_pos_x = s.window_pos_x;
  c.window_pos_y = s.window_pos_y;
  c.horizontal = s.horizontal;
  c.autostart = s.autostart;
  c.hide_in_fullscreen = s.hide_in_fullscreen;
  return c;
}

void restore_copy(const KonfigCopy& c, Settings& s) {
  s.BackgroundColor = colour_to_text(c.text_colour);
  s.OutlineColor = colour_to_text(c.outline_colour);
  s.Opaque = c.Opaque;
  s.UpdateInterval = c.UpdateInterval;
  s.Text_Ouline = c.Text_Ouline;
  s.Text_Shadow = c.Text_Shadow;
  s.Text_Size = c.Text_Size;
  s.only_changes = c.only_changes;
  s.changes_visible_in_seconds = c.changes_visible_in_seconds;
  s.write_title2file = c.write_title2file;
  s.window_pos_x = c.window_pos_x;
  s.window_pos_y = c.window_pos_y;
  s.horizontal = c.horizontal;
  s.autostart = c.autostart;
  s.hide_in_fullscreen = c.hide_in_fullscreen;
}

int32_t dropped_position_twips(int32_t px, double twips_per_px) {
  const int32_t twips = px_to_twips(px, twips_per_px);
  return twips != 0 ? twips : 1;
}

int16_t opening_seconds(int16_t stored) { return stored < 1 ? int16_t{10} : stored; }

}  // namespace kn
