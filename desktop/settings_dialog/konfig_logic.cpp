#include "settings_dialog/konfig_logic.h"

#include <algorithm>

#include "units/twips.h"

namespace kn {

namespace {
constexpr const char* kWrongName = "Falsche Eingabe der oder des Stationsnamens!\r\n";
constexpr const char* kExample = "\r\nBeipsiel: eins";

std::string without_message(const std::string& what) {
  return std::string(kWrongName) + "Bitte nur den Stationsnamen ohne '" + what + "' eintragen." + kExample;
}

}  // namespace

std::string text_size_label(int value) { return "Textgr\xC3\xB6\303\237e: " + std::to_string(value); }

std::string update_interval_label(int value) {
  if (value == 1) return "einmal pro Minute";
  return "aller " + std::to_string(value) + " Minuten";
}

std::string seconds_label(int value) {
  return std::to_string(value) + (value == 1 ? " Sekunde" : " Sekunden");
}

std::string station_text(std::string_view field) {
  Settings s;
  read_setting(s, setting_of(&Settings::stations), field);
  return s.stations;
}

std::optional<std::string> validate_stations(std::string_view text) {
  if (text.find(',') != std::string_view::npos) {
    return std::string(kWrongName) + "F\xC3\xBCr mehrere Stationen bitte ein ; verwenden ";
  }
  if (text.find("http") != std::string_view::npos) return without_message("http");
  if (text.find(kPlatformDomain) != std::string_view::npos) return without_message(kPlatformDomain);
  if (text.find(".live") != std::string_view::npos) return without_message(".live");
  return std::nullopt;
}

void write_konfig(const Settings& values, const KeyWriter& write,
                  const std::function<void()>& after_autostart_key) {
  const auto table = settings_table();
  for (int place = 1;; ++place) {
    const auto def = std::find_if(table.begin(), table.end(),
                                  [&](const SettingDef& d) { return d.dialog_order == place; });
    if (def == table.end()) return;
    if (auto text = written_text(values, *def)) write(def->key, *text);
    if (after_autostart_key && def->field == SettingField(&Settings::autostart)) after_autostart_key();
  }
}

int32_t dropped_position_twips(int32_t px, double twips_per_px) {
  const int32_t twips = px_to_twips(px, twips_per_px);
  return twips != 0 ? twips : 1;
}

int16_t opening_seconds(int16_t stored) { return stored < 1 ? int16_t{10} : stored; }

}  // namespace kn
