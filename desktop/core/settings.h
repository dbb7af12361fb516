#pragma once
// The settings model: section "Konfig" of "Klangnetz_DesktopTool.ini".
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kn {

inline constexpr const char* kProgramTitle = "Klangnetz DesktopTool";
inline constexpr const char* kSettingsFileName = "Klangnetz_DesktopTool.ini";
inline constexpr const char* kSettingsSection = "Konfig";
inline constexpr const char* kDefaultApiBaseUrl = "http://api.klangnetz.de";
inline constexpr int16_t kMaxUpdateInterval = 546;  // x60 must fit 16 bits

struct Settings {
  std::string stations;
  std::string BackgroundColor = "2131691";
  std::string OutlineColor = "0";
  int16_t Opaque = 225;
  int16_t UpdateInterval = 3;
  bool Text_Ouline = true;
  bool Text_Shadow = true;
  int16_t Text_Size = 18;
  int16_t autostart = 0;
  bool only_changes = false;
  int16_t changes_visible_in_seconds = 0;
  bool write_title2file = false;
  int32_t window_pos_x = 0;
  int32_t window_pos_y = 0;
  int32_t horizontal = 0;
  std::string api_base_url = kDefaultApiBaseUrl;
  bool hide_in_fullscreen = false;  // out of the way of full-screen programs
  int16_t parallel_requests = 8;    // requests of one poll in flight at once, 1 to 8
};

struct SettingKey {
  const char* key;
  const char* default_value;
};

// The fifteen keys in reading order, then our own api_base_url, hide_in_fullscreen and
// parallel_requests.
const std::vector<SettingKey>& setting_keys();

// Reads one key: (key, default) -> value text, as the profile functions return it.
using SettingReader = std::function<std::string(const std::string& key, const std::string& def)>;

// Reads every key in table order. A value a conversion rejects, or one that does not
// fit its field, falls back to the key's default.
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
