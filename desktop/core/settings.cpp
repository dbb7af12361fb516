#include "core/settings.h"

#include <stdexcept>
#include <type_traits>
#include <utility>

#include "core/number_text.h"
#include "core/poll_limits.h"
#include "core/text_util.h"

namespace kn {

namespace {

using K = SettingKind;
constexpr bool kBelowReadsDefault = true;

// Every key, in reading order. "dialog" is the key's place in the order the settings
// dialog writes, 0 for a key it never writes; a range and an initial value follow on a
// line of their own.
// clang-format off
constexpr SettingDef kSettings[] = {
    // key                          field                                  kind           default              dialog
    {"stations",                   &Settings::stations,                   K::kLowerText, "",                  1},
    {"BackgroundColor",            &Settings::fill_colour,                K::kColour,    "2131691",           2},
    {"OutlineColor",               &Settings::outline_colour,             K::kColour,    "0",                 3},
    {"Opaque",                     &Settings::opacity,                    K::kWhole,     "225",               5},
    // The refresh timer multiplies the minutes by 60 in 16 bits.
    {"UpdateInterval",             &Settings::update_interval,            K::kWhole,     "3",                 4,
     SettingRange{0, kMaxUpdateInterval, kBelowReadsDefault}},
    {"Text_Ouline",                &Settings::outline_on,                 K::kFlag,      "1",                 6},
    {"Text_Shadow",                &Settings::shadow_on,                  K::kFlag,      "1",                 7},
    {"Text_Size",                  &Settings::text_size,                  K::kWhole,     "18",                8},
    {"autostart",                  &Settings::autostart,                  K::kWhole,     "0",                 9},
    {"only_changes",               &Settings::only_changes,               K::kFlag,      "0",                 10},
    // Initial 0 and default 10 differ on purpose: 0 is the value before the file is
    // read, 10 what a file without the key means.
    {"changes_visible_in_seconds", &Settings::changes_visible_in_seconds, K::kLeading,   "10",                11,
     {}, "0"},
    {"write_title2file",           &Settings::write_title2file,           K::kLeading,   "0",                 12},
    {"window_pos_x",               &Settings::window_pos_x,               K::kLeading,   "0",                 13},
    {"window_pos_y",               &Settings::window_pos_y,               K::kLeading,   "0",                 14},
    {"horizontal",                 &Settings::horizontal,                 K::kWhole,     "0",                 15},
    {"api_base_url",               &Settings::api_base_url,               K::kAddress,   kDefaultApiBaseUrl,  0},
    {"hide_in_fullscreen",         &Settings::hide_in_fullscreen,         K::kFlag,      "0",                 16},
    {"parallel_requests",          &Settings::parallel_requests,          K::kWhole,     "8",                 0,
     SettingRange{1, static_cast<int32_t>(kMaxParallelRequests)}},
    {"notify_no_answer",           &Settings::notify_no_answer,           K::kFlag,      "0",                 17},
    {"keep_history",               &Settings::keep_history,               K::kFlag,      "0",                 18},
    {"history_days",               &Settings::history_days,               K::kWhole,     "400",               0,
     SettingRange{1, 3650}},
};
// clang-format on

template <class T>
constexpr bool holds(const SettingField& field) {
  return std::holds_alternative<T Settings::*>(field);
}

constexpr bool table_is_sound() {
  int written = 0;
  for (const SettingDef& d : kSettings) {
    const bool text = holds<std::string>(d.field);
    const bool flag = holds<bool>(d.field);
    const bool number = holds<int16_t>(d.field) || holds<int32_t>(d.field);
    switch (d.kind) {
      case K::kLowerText:
      case K::kColour:
      case K::kAddress:
        if (!text) return false;
        break;
      case K::kWhole:
        if (!number) return false;
        break;
      case K::kFlag:
        if (!flag) return false;
        break;
      case K::kLeading:
        if (!number && !flag) return false;
        break;
    }
    if (d.range && (!number || d.range->lo > d.range->hi)) return false;
    for (const SettingDef& e : kSettings) {
      if (&e != &d && (std::string_view(e.key) == d.key || e.field == d.field)) return false;
    }
    if (d.dialog_order != 0) ++written;
  }
  // The dialog writes its keys as 1, 2, ... without a gap.
  for (int place = 1; place <= written; ++place) {
    int found = 0;
    for (const SettingDef& d : kSettings) found += d.dialog_order == place ? 1 : 0;
    if (found != 1) return false;
  }
  return true;
}
static_assert(table_is_sound(), "each kind fits its field, keys and fields once, dialog places 1..n");

template <class T>
std::optional<T> within(std::optional<T> v, const SettingDef& def) {
  if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
    if (!v || !def.range) return v;
    if (*v < def.range->lo) {
      if (def.range->below_reads_default) return std::nullopt;
      return static_cast<T>(def.range->lo);
    }
    if (*v > def.range->hi) return static_cast<T>(def.range->hi);
  }
  return v;
}

template <class T>
std::optional<T> convert(SettingKind kind, std::string_view text) {
  if constexpr (std::is_same_v<T, std::string>) {
    std::string t = trim_blanks(text);
    if (kind == K::kLowerText) return to_lower(t);
    if (kind == K::kAddress) {
      while (!t.empty() && t.back() == '/') t.pop_back();
      if (t.empty()) return std::nullopt;
    }
    return t;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (kind == K::kFlag) return strict_bool(text);
    return leading_number(text) != 0.0;
  } else if constexpr (std::is_same_v<T, int16_t>) {
    if (kind == K::kWhole) return strict_int16(text);
    return round_to_int16(leading_number(text));
  } else {
    if (kind == K::kWhole) return strict_int32(text);
    return round_to_int32(leading_number(text));
  }
}

}  // namespace

Settings::Settings() {
  for (const SettingDef& d : kSettings) read_setting(*this, d, d.initial ? d.initial : d.default_text);
}

std::span<const SettingDef> settings_table() { return kSettings; }

const SettingDef& setting_of(SettingField field) {
  for (const SettingDef& d : kSettings) {
    if (d.field == field) return d;
  }
  throw std::logic_error("a settings field without a key");
}

void read_setting(Settings& s, const SettingDef& def, std::string_view text) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(s.*member)>;
        if (auto v = within(convert<T>(def.kind, text), def)) {
          s.*member = std::move(*v);
        } else if (auto d = within(convert<T>(def.kind, def.default_text), def)) {
          s.*member = std::move(*d);
        }
      },
      def.field);
}

std::string setting_text(const Settings& s, const SettingDef& def) {
  return std::visit(
      [&](auto member) -> std::string {
        const auto& v = s.*member;
        using T = std::remove_cvref_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "1" : "0";
        } else {
          return std::to_string(v);
        }
      },
      def.field);
}

std::optional<std::string> written_text(const Settings& s, const SettingDef& def) {
  std::string text = setting_text(s, def);
  switch (def.kind) {
    case K::kLowerText:
      return to_lower(trim_blanks(text));
    case K::kColour: {
      const uint32_t colour = colour_from_text(text);
      if (static_cast<int32_t>(colour) < 0) return std::nullopt;
      return colour_to_text(colour);
    }
    default:
      return text;
  }
}

uint32_t colour_from_text(std::string_view text) {
  return static_cast<uint32_t>(round_clamp_int32(leading_number(text)));
}

std::string colour_to_text(uint32_t colour) { return std::to_string(static_cast<int32_t>(colour)); }

Settings read_settings(const SettingReader& read) {
  Settings s;
  for (const SettingDef& d : kSettings) read_setting(s, d, read(d.key, d.default_text));
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
