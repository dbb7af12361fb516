#pragma once
// Window-free part of the settings dialog: value-label texts, the station-list
// checks and the keys written on saving.
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

using KeyWriter = std::function<void(const std::string& key, const std::string& value)>;

// Writes the keys the dialog owns, in the settings table's dialog order and forms;
// `after_autostart_key` runs right after the autostart key. The dialog passes nothing
// there: it writes the file whole and changes the registry only once the file has
// changed, so a failed save leaves the registry alone. The station text must have
// passed validate_stations.
void write_konfig(const Settings& values, const KeyWriter& write,
                  const std::function<void()>& after_autostart_key = {});

// The twips stored for one coordinate of the place the position dialog was dropped
// at, `px` in the dialog's pixels; negative on a monitor left of or above the primary.
// 0 would read as "no position" and put the overlay back in the lower right corner, so
// the primary's left or top edge is stored as 1 twip, which is the same pixel.
int32_t dropped_position_twips(int32_t px, double twips_per_px);

// The seconds setting as the dialog opens it: below 1 it becomes 10.
int16_t opening_seconds(int16_t stored);

}  // namespace kn
