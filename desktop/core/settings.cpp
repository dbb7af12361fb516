#include "core/settings.h"

#include "core/number_text.h"
#include "core/request_batch.h"
#include "core/text_util.h"

namespace kn {

const std::vector<SettingKey>& setting_keys() {
  static const std::vector<SettingKey> keys = {
      {"stations", ""},
      {"BackgroundColor", "2131691"},
      {"OutlineColor", "0"},
      {"Opaque", "225"},
      {"UpdateInterval", "3"},
      {"Text_Ouline", "1"},
      {"Text_Shadow", "1"},
      {"Text_Size", "18"},
      {"autostart", "0"},
      {"only_changes", "0"},
      {"changes_visible_in_seconds", "10"},
      {"write_title2file", "0"},
      {"window_pos_x", "0"},
      {"window_pos_y", "0"},
      {"horizontal", "0"},
      {"api_base_url", kDefaultApiBaseUrl},
      {"hide_in_fullscreen", "0"},
      {"parallel_requests", "8"},
  };
  return keys;
}

namespace {

template <class T, class Parse>
T parse_or_default(const std::string& value, const char* def, Parse parse) {
  if (auto v = parse(value)) return *v;
  return *parse(std::string(def));
}

}  // namespace

Settings read_settings(const SettingReader& read) {
  Settings s;
  auto get = [&](const char* key) {
    for (const auto& k : setting_keys()) {
      if (std::string_view(k.key) == key) return std::pair(read(k.key, k.default_value), k.default_value);
    }
    return std::pair(std::string(), "");
  };
  auto int16_of = [](const std::string& v) { return strict_int16(v); };
  auto bool_of = [](const std::string& v) { return strict_bool(v); };
  auto leading16 = [](const std::string& v) { return round_to_int16(leading_number(v)); };
  auto leading32 = [](const std::string& v) { return round_to_int32(leading_number(v)); };

  s.stations = to_lower(trim_blanks(get("stations").first));
  s.BackgroundColor = trim_blanks(get("BackgroundColor").first);
  s.OutlineColor = trim_blanks(get("OutlineColor").first);
  auto [opaque, opaque_def] = get("Opaque");
  s.Opaque = parse_or_default<int16_t>(trim_blanks(opaque), opaque_def, int16_of);
  auto [interval, interval_def] = get("UpdateInterval");
  s.UpdateInterval = parse_or_default<int16_t>(trim_blanks(interval), interval_def, int16_of);
  if (s.UpdateInterval < 0) s.UpdateInterval = 3;
  if (s.UpdateInterval > kMaxUpdateInterval) s.UpdateInterval = kMaxUpdateInterval;
  auto [outline, outline_def] = get("Text_Ouline");
  s.Text_Ouline = parse_or_default<bool>(trim_blanks(outline), outline_def, bool_of);
  auto [shadow, shadow_def] = get("Text_Shadow");
  s.Text_Shadow = parse_or_default<bool>(trim_blanks(shadow), shadow_def, bool_of);
  auto [size, size_def] = get("Text_Size");
  s.Text_Size = parse_or_default<int16_t>(size, size_def, int16_of);
  auto [autostart, autostart_def] = get("autostart");
  s.autostart = parse_or_default<int16_t>(trim_blanks(autostart), autostart_def, int16_of);
  auto [changes, changes_def] = get("only_changes");
  s.only_changes = parse_or_default<bool>(changes, changes_def, bool_of);
  auto [visible, visible_def] = get("changes_visible_in_seconds");
  s.changes_visible_in_seconds = parse_or_default<int16_t>(visible, visible_def, leading16);
  s.write_title2file = leading_number(get("write_title2file").first) != 0.0;
  auto [pos_x, pos_x_def] = get("window_pos_x");
  s.window_pos_x = parse_or_default<int32_t>(pos_x, pos_x_def, leading32);
  auto [pos_y, pos_y_def] = get("window_pos_y");
  s.window_pos_y = parse_or_default<int32_t>(pos_y, pos_y_def, leading32);
  auto [horizontal, horizontal_def] = get("horizontal");
  s.horizontal = parse_or_default<int32_t>(horizontal, horizontal_def,
                                           [](const std::string& v) { return strict_int32(v); });
  std::string base = trim_blanks(get("api_base_url").first);
  while (!base.empty() && base.back() == '/') base.pop_back();
  s.api_base_url = base.empty() ? kDefaultApiBaseUrl : base;
  auto [hide, hide_def] = get("hide_in_fullscreen");
  s.hide_in_fullscreen = parse_or_default<bool>(trim_blanks(hide), hide_def, bool_of);
  auto [parallel, parallel_def] = get("parallel_requests");
  s.parallel_requests = parse_or_default<int16_t>(trim_blanks(parallel), parallel_def, int16_of);
  if (s.parallel_requests < 1) s.parallel_requests = 1;
  if (s.parallel_requests > static_cast<int>(kMaxParallelRequests))
    s.parallel_requests = kMaxParallelRequests;
  return s;
}

std::string normalise_station_name(std::string_view part) {
  std::string name = trim_blanks(part);
  name = replace_all(name, "\xC3\xB6", "oe");  // ö
  name = replace_all(name, "\xC3\xA4", "ae");  // ä
  name = replace_all(name, "\xC3\xBC", "ue");  // ü
  return to_lower(name);
}

void build_station_list(const std::string& stations, std::vector<StationEntry>& station_list) {
  if (stations.empty()) return;
  station_list.assign(1, StationEntry{});
  bool first = true;
  size_t start = 0;
  for (;;) {
    size_t end = stations.find(';', start);
    std::string_view part =
        std::string_view(stations).substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string name = normalise_station_name(part);
    if (!name.empty()) {
      if (first) {
        station_list[0].name = name;
        first = false;
      } else {
        StationEntry e;
        e.name = name;
        station_list.push_back(e);
      }
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (first) {
    // Nothing but separators: one nameless slot, every count 0.
    station_list[0].min_hoerer = 0;
  }
}

}  // namespace kn
