#pragma once
// Window-free part of the settings dialog: value-label texts, the station-list
// checks, the keys written on saving, and the copy that cancelling restores.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings.h"

namespace kn {

// The platform's domain, refused inside station names.
inline constexpr const char* kPlatformDomain = "klangnetz.de";
inline constexpr const char* kSavedMessage = "Die Einstellungen wurden gespeichert. ";
// A settings file that cannot be written (read-only, locked) must not be confirmed as saved.
inline constexpr const char* kNotSavedMessage =
    "Die Einstellungen konnten nicht gespeichert werden. Ist die Datei schreibgesch\xC3\xBCtzt?";

std::string text_size_label(int value);        // "Textgröße: 18"
std::string update_interval_label(int value);  // "einmal pro Minute" / "aller 3 Minuten"
std::string seconds_label(int value);          // "1 Sekunde" / "2 Sekunden"

// The station field as it is checked and written: lower-cased, blanks trimmed.
std::string station_text(std::string_view field);

// The message of the first check the station text fails, or nothing when it passes.
std::optional<std::string> validate_stations(std::string_view station_text);

// What the dialog's controls hold when "Speichern" is pressed.
struct KonfigValues {
  std::string stations_field;
  uint32_t text_colour = 0;
  uint32_t outline_colour = 0;
  int update_interval = 3;
  int opaque = 225;
  bool outline = true;
  bool shadow = true;
  int text_size = 18;
  bool autostart = false;
  bool only_changes = false;
  int seconds = 10;
  bool write_title2file = false;
  std::string pos_x_field;
  std::string pos_y_field;
  bool horizontal = false;
  bool hide_in_fullscreen = false;
};

using KeyWriter = std::function<void(const std::string& key, const std::string& value)>;

// Writes the keys in their fixed order; `after_autostart_key` runs between
// "autostart" and "only_changes" (the registry entry is made there). A colour that
// reads as a negative number is not written. The station text must have passed
// validate_stations.
void write_konfig(const KonfigValues& values, const KeyWriter& write,
                  const std::function<void()>& after_autostart_key);

// The settings the dialog changes live or restores on cancelling, as they were
// when it opened.
struct KonfigCopy {
  uint32_t text_colour = 0;
  uint32_t outline_colour = 0;
  int16_t Opaque = 0;
  int16_t UpdateInterval = 0;
  bool Text_Ouline = false;
  bool Text_Shadow = false;
  int16_t Text_Size = 0;
  bool only_changes = false;
  int16_t changes_visible_in_seconds = 0;
  bool write_title2file = false;
  int32_t window_pos_x = 0;
  int32_t window_pos_y = 0;
  int32_t horizontal = 0;
  int16_t autostart = 0;
  bool hide_in_fullscreen = false;
};

KonfigCopy take_copy(const Settings& s);
void restore_copy(const KonfigCopy& copy, Settings& s);

// The twips stored for one coordinate of the place the position dialog was dropped
// at, `px` in the dialog's pixels; negative on a monitor left of or above the primary.
// 0 would read as "no position" and put the overlay back in the lower right corner, so
// the primary's left or top edge is stored as 1 twip, which is the same pixel.
int32_t dropped_position_twips(int32_t px, double twips_per_px);

// The seconds setting as the dialog opens it: below 1 it becomes 10.
int16_t opening_seconds(int16_t stored);

}  // namespace kn
