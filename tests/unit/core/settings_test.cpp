#include "core/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string_view>

namespace kn {
namespace {

// Reads from a map the way the profile functions would: missing keys give the default.
Settings read_from(const std::map<std::string, std::string>& file) {
  return read_settings([&](const std::string& key, const std::string& def) {
    auto it = file.find(key);
    return it == file.end() ? def : it->second;
  });
}

TEST(Settings, NoFileGivesDefaults) {
  Settings s = read_from({});
  EXPECT_EQ(s.stations, "");
  EXPECT_EQ(s.fill_colour, "2131691");
  EXPECT_EQ(s.outline_colour, "0");
  EXPECT_EQ(s.opacity, 225);
  EXPECT_EQ(s.update_interval, 3);
  EXPECT_TRUE(s.outline_on);
  EXPECT_TRUE(s.shadow_on);
  EXPECT_EQ(s.text_size, 18);
  EXPECT_EQ(s.autostart, 0);
  EXPECT_FALSE(s.only_changes);
  EXPECT_EQ(s.changes_visible_in_seconds, 10);
  EXPECT_FALSE(s.write_title2file);
  EXPECT_EQ(s.window_pos_x, 0);
  EXPECT_EQ(s.window_pos_y, 0);
  EXPECT_EQ(s.horizontal, 0);
  EXPECT_EQ(s.api_base_url, "http://api.klangnetz.de");
}

TEST(Settings, KeysAreReadInTableOrder) {
  std::vector<std::string> order;
  read_settings([&](const std::string& key, const std::string& def) {
    order.push_back(key);
    return def;
  });
  std::vector<std::string> expected = {"stations",
                                       "BackgroundColor",
                                       "OutlineColor",
                                       "Opaque",
                                       "UpdateInterval",
                                       "Text_Ouline",
                                       "Text_Shadow",
                                       "Text_Size",
                                       "autostart",
                                       "only_changes",
                                       "changes_visible_in_seconds",
                                       "write_title2file",
                                       "window_pos_x",
                                       "window_pos_y",
                                       "horizontal",
                                       "api_base_url",
                                       "hide_in_fullscreen",
                                       "parallel_requests",
                                       "notify_no_answer",
                                       "keep_history",
                                       "history_days"};
  EXPECT_EQ(order, expected);
}

TEST(Settings, TextsAreTrimmedAndStationsLowerCased) {
  Settings s = read_from({{"stations", "  NachtRadio;\xC3\x84RGER "},
                          {"BackgroundColor", " 255 "},
                          {"api_base_url", " http://127.0.0.1:8080/ "}});
  EXPECT_EQ(s.stations, "nachtradio;\xC3\xA4rger");
  EXPECT_EQ(s.fill_colour, "255");
  EXPECT_EQ(s.api_base_url, "http://127.0.0.1:8080");
}

TEST(Settings, UpdateIntervalRules) {
  EXPECT_EQ(read_from({{"UpdateInterval", "-2"}}).update_interval, 3);
  EXPECT_EQ(read_from({{"UpdateInterval", "0"}}).update_interval, 0);
  EXPECT_EQ(read_from({{"UpdateInterval", " 5 "}}).update_interval, 5);
  EXPECT_EQ(read_from({{"UpdateInterval", "600"}}).update_interval, 546);
  EXPECT_EQ(read_from({{"UpdateInterval", "2.5"}}).update_interval, 2);
  EXPECT_EQ(read_from({{"UpdateInterval", "3.5"}}).update_interval, 4);
  // Requests in flight at once: 1 to 8, anything else the nearest of them.
  EXPECT_EQ(read_from({}).parallel_requests, 8);
  EXPECT_EQ(read_from({{"parallel_requests", " 1 "}}).parallel_requests, 1);
  EXPECT_EQ(read_from({{"parallel_requests", "0"}}).parallel_requests, 1);
  EXPECT_EQ(read_from({{"parallel_requests", "40"}}).parallel_requests, 8);
  EXPECT_EQ(read_from({{"parallel_requests", "viele"}}).parallel_requests, 8);
  // Days of history kept: 1 to 3650, a year and a month unless the file says otherwise.
  EXPECT_FALSE(read_from({}).keep_history);
  EXPECT_EQ(read_from({}).history_days, 400);
  EXPECT_EQ(read_from({{"history_days", "0"}}).history_days, 1);
  EXPECT_EQ(read_from({{"history_days", "5000"}}).history_days, 3650);
  EXPECT_EQ(read_from({{"history_days", "30"}}).history_days, 30);
}

TEST(Settings, StrictConversionsFallBackToTheDefault) {
  Settings s = read_from({{"Opaque", "abc"},
                          {"Text_Size", "12px"},
                          {"Text_Ouline", "ja"},
                          {"horizontal", "99999999999"},
                          {"autostart", "70000"},
                          {"Text_Shadow", "2"}});
  EXPECT_EQ(s.opacity, 225);
  EXPECT_EQ(s.text_size, 18);
  EXPECT_TRUE(s.outline_on);
  EXPECT_EQ(s.horizontal, 0);
  EXPECT_EQ(s.autostart, 0);
  // Reading goes on after a rejected value.
  EXPECT_TRUE(s.shadow_on);
  EXPECT_FALSE(read_from({{"Text_Shadow", "FaLsE"}}).shadow_on);
  EXPECT_TRUE(read_from({{"only_changes", "true"}}).only_changes);
  EXPECT_FALSE(read_from({{"only_changes", " 0 "}}).only_changes);
}

TEST(Settings, LeadingNumberKeys) {
  EXPECT_TRUE(read_from({{"write_title2file", "2"}}).write_title2file);
  EXPECT_TRUE(read_from({{"write_title2file", "1.5"}}).write_title2file);
  EXPECT_FALSE(read_from({{"write_title2file", "abc"}}).write_title2file);
  EXPECT_EQ(read_from({{"changes_visible_in_seconds", "12 Sekunden"}}).changes_visible_in_seconds, 12);
  EXPECT_EQ(read_from({{"changes_visible_in_seconds", "abc"}}).changes_visible_in_seconds, 0);
  EXPECT_EQ(read_from({{"changes_visible_in_seconds", "99999"}}).changes_visible_in_seconds, 10);
  EXPECT_EQ(Settings{}.changes_visible_in_seconds, 0) << "before the file is read";
  EXPECT_EQ(read_from({{"window_pos_x", "1e12"}}).window_pos_x, 0);
  EXPECT_EQ(read_from({{"window_pos_x", "1500.5"}}).window_pos_x, 1500);
  EXPECT_EQ(read_from({{"window_pos_y", "-2.5"}}).window_pos_y, -2);
}

// The key table of the README's settings section: each key of a row with the row's default.
std::map<std::string, std::string> readme_keys() {
  std::ifstream in(KN_README);
  std::map<std::string, std::string> keys;
  bool in_section = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("## ")) in_section = line == "## The settings file";
    if (!in_section || !line.starts_with("| `")) continue;
    const size_t key_end = line.find('|', 1), default_end = line.find('|', key_end + 1);
    const std::string_view key_cell = std::string_view(line).substr(1, key_end - 1);
    std::string def = line.substr(key_end + 1, default_end - key_end - 1);
    def.erase(0, def.find_first_not_of(' '));
    def.erase(def.find_last_not_of(' ') + 1);
    if (def == "(empty)") def.clear();
    for (size_t open = key_cell.find('`'), close; open != std::string_view::npos;
         open = key_cell.find('`', close + 1)) {
      close = key_cell.find('`', open + 1);
      if (close == std::string_view::npos) break;
      keys[std::string(key_cell.substr(open + 1, close - open - 1))] = def;
    }
  }
  return keys;
}

TEST(Settings, TheReadmeNamesEveryKeyWithItsDefaultAndNoOther) {
  const std::map<std::string, std::string> readme = readme_keys();
  ASSERT_FALSE(readme.empty());
  for (const SettingDef& d : settings_table()) {
    const auto row = readme.find(d.key);
    if (row == readme.end()) {
      ADD_FAILURE() << d.key << " has no row in the README";
      continue;
    }
    EXPECT_EQ(row->second, d.default_text) << d.key;
  }
  for (const auto& [key, def] : readme) {
    const auto table = settings_table();
    EXPECT_TRUE(std::any_of(table.begin(), table.end(), [&](const SettingDef& d) { return key == d.key; }))
        << "the README names " << key;
  }
}

TEST(StationList, NormalisesSplitsAndSkipsEmptyParts) {
  std::vector<StationEntry> list;
  build_station_list(" sch\xC3\xB6ne lieder ;\xC3\xA4rger", list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "schoene lieder");
  EXPECT_EQ(list[1].name, "aerger");
  EXPECT_EQ(list[0].min_hoerer, 999999);
  EXPECT_EQ(list[1].min_hoerer, 999999);

  auto names = [](const std::string& stations) {
    std::vector<StationEntry> l;
    build_station_list(stations, l);
    std::vector<std::string> out;
    for (auto& e : l) out.push_back(e.name);
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(names("a;;b"), (V{"a", "b"}));
  EXPECT_EQ(names("a; ;b"), (V{"a", "b"}));
  EXPECT_EQ(names(";a"), (V{"a"}));
  EXPECT_EQ(names("a;b;"), (V{"a", "b"}));
  EXPECT_EQ(names("a;a"), (V{"a", "a"}));
  EXPECT_EQ(names("stra\xC3\x9F"
                  "e"),
            (V{"stra\xC3\x9F"
               "e"}));
}

TEST(StationList, OnlySeparatorsLeaveOneNamelessZeroSlot) {
  std::vector<StationEntry> list;
  build_station_list(";", list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "");
  EXPECT_EQ(list[0].min_hoerer, 0);
  EXPECT_EQ(list[0].max_hoerer, 0);
}

TEST(StationList, EmptySettingKeepsTheListAndRebuildResetsCounts) {
  std::vector<StationEntry> list;
  build_station_list("a", list);
  list[0].max_hoerer = 50;
  list[0].last_song_id = 9;
  build_station_list("", list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].max_hoerer, 50);
  build_station_list("a", list);
  EXPECT_EQ(list[0].max_hoerer, 0);
  EXPECT_EQ(list[0].last_song_id, 0);
}

}  // namespace
}  // namespace kn
