#pragma once
// The settings model: section "Konfig" of "Klangnetz_DesktopTool.ini".
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kn {

inline constexpr const char* kProgramTitle = "Klangnetz DesktopTool";
inline constexpr const char* kSettingsFileName = "Klangnetz_DesktopTool.ini";
inline constexpr const char* kSettingsSection = "Konfig";
inline constexpr const char* kDefaultApiBaseUrl = "http://api.klangnetz.de";
inline constexpr int16_t kMaxUpdateInterval = 546;  // x60 must fit 16 bits

// Every member takes its first value from the settings table (settings.cpp): its
// initial value where it has one, else its default.
struct Settings {
  Settings();

  std::string stations;
  std::string fill_colour;
  std::string outline_colour;
  int16_t opacity{};
  int16_t update_interval{};
  bool outline_on{};
  bool shadow_on{};
  int16_t text_size{};
  int16_t autostart{};
  bool only_changes{};
  int16_t changes_visible_in_seconds{};
  bool write_title2file{};
  int32_t window_pos_x{};
  int32_t window_pos_y{};
  int32_t horizontal{};
  std::string api_base_url;
  bool hide_in_fullscreen{};    // out of the way of full-screen programs
  int16_t parallel_requests{};  // requests of one poll in flight at once
  bool notify_no_answer{};      // a balloon when a station stops answering, and when it is back
  bool keep_history{};          // every poll's counts kept in the history file
  int16_t history_days{};       // how many days of the history file are kept
};

// How a key's text becomes its field, and the form the settings dialog writes it in.
enum class SettingKind {
  kLowerText,  // blanks trimmed, lower-cased; written the same way
  kColour,     // blanks trimmed; written as its colour number, not at all when that is negative
  kAddress,    // blanks and trailing '/' trimmed; empty reads as the default
  kWhole,      // the whole text a number, rounded half to even into the field
  kFlag,       // a number (0 false) or True/False in any letter case
  kLeading,    // the number at the start of the text, 0 without one; a flag is true when not 0
};

using SettingField =
    std::variant<std::string Settings::*, int16_t Settings::*, int32_t Settings::*, bool Settings::*>;

// Numbers above `hi` read as `hi`; below `lo` as `lo`, or as the default.
struct SettingRange {
  int32_t lo = 0;
  int32_t hi = 0;
  bool below_reads_default = false;
};

struct SettingDef {
  const char* key;
  SettingField field;
  SettingKind kind;
  const char* default_text;  // read when the key or the file is missing
  int dialog_order = 0;      // place among the keys the settings dialog writes; 0: never
  std::optional<SettingRange> range = {};
  const char* initial = nullptr;  // the value before the file is read, when not the default
};

// Every key, in reading order. A text a conversion rejects, or one that does not fit
// its field, reads as the key's default.
std::span<const SettingDef> settings_table();

// The entry of a field; every field has one.
const SettingDef& setting_of(SettingField field);

// Sets the field from a text in the settings file's form.
void read_setting(Settings& s, const SettingDef& def, std::string_view text);

// The field in the settings file's form: numbers decimal, flags "1" and "0".
std::string setting_text(const Settings& s, const SettingDef& def);

// What the settings dialog writes for the key, or nothing.
std::optional<std::string> written_text(const Settings& s, const SettingDef& def);

// Colours travel as decimal text in the settings and as 0x00BBGGRR in the swatches.
uint32_t colour_from_text(std::string_view text);
std::string colour_to_text(uint32_t colour);  // read as a signed 32-bit number

// Reads one key: (key, default) -> value text, as the profile functions return it.
using SettingReader = std::function<std::string(const std::string& key, const std::string& def)>;

// Reads every key in table order.
Settings read_settings(const SettingReader& read);

struct StationEntry {
  std::string name;
  int32_t min_hoerer = 999999;
  int32_t max_hoerer = 0;
  int32_t previous_hoerer = 0;
  int32_t current_hoerer = 0;
  int32_t last_song_id = 0;
};

// Rebuilds the list from the stations setting; an empty setting keeps the list.
void build_station_list(const std::string& stations, std::vector<StationEntry>& station_list);

// Lower-cases, trims and writes the umlauts as oe/ae/ue, as names are stored.
std::string normalise_station_name(std::string_view part);

}  // namespace kn
