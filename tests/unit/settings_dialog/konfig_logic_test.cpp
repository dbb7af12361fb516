#include "settings_dialog/konfig_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "units/twips.h"
#include "core/autostart.h"
#include "overlay/monitors.h"

namespace kn {
namespace {

const std::string kHead = "Falsche Eingabe der oder des Stationsnamens!\r\n";
const std::string kComma = kHead + "F\xC3\xBCr mehrere Stationen bitte ein ; verwenden ";
const std::string kHttp = kHead + "Bitte nur den Stationsnamen ohne 'http' eintragen.\r\nBeipsiel: eins";
const std::string kDomain =
    kHead + "Bitte nur den Stationsnamen ohne 'klangnetz.de' eintragen.\r\nBeipsiel: eins";
const std::string kLive = kHead + "Bitte nur den Stationsnamen ohne '.live' eintragen.\r\nBeipsiel: eins";

std::optional<std::string> check(const std::string& field) { return validate_stations(station_text(field)); }

TEST(StationValidation, RefusesEachForbiddenPartWithItsOwnMessage) {
  EXPECT_EQ(check("Eins, zwei"), kComma);
  EXPECT_EQ(check("http://eins"), kHttp);
  EXPECT_EQ(check("HTTP"), kHttp) << "checks run on the lower-cased text";
  EXPECT_EQ(check("eins;www.Klangnetz.de/eins"), kDomain);
  EXPECT_EQ(check("meinradio.live"), kLive);
  EXPECT_EQ(check("meinradiohttp"), kHttp) << "a hit inside a name counts";
}

TEST(StationValidation, FirstMatchingCheckWins) {
  EXPECT_EQ(check("http://meinradio.live"), kHttp);
  EXPECT_EQ(check("a,http"), kComma);
  EXPECT_EQ(check("klangnetz.de.live"), kDomain);
}

TEST(StationValidation, AcceptableListsPass) {
  EXPECT_EQ(check(""), std::nullopt);
  EXPECT_EQ(check("eins;zwei"), std::nullopt);
  EXPECT_EQ(check("   "), std::nullopt);
  EXPECT_EQ(check("klangnetz;live"), std::nullopt);
}

TEST(StationValidation, StationTextIsLowerCasedAndTrimmed) {
  EXPECT_EQ(station_text("  Eins  "), "eins");
  EXPECT_EQ(station_text(" Eins ; ZWEI "), "eins ; zwei");
  EXPECT_EQ(station_text(""), "");
}

TEST(ValueLabels, ReadAsTheDialogShowsThem) {
  EXPECT_EQ(update_interval_label(1), "einmal pro Minute");
  EXPECT_EQ(update_interval_label(3), "aller 3 Minuten");
  EXPECT_EQ(update_interval_label(5), "aller 5 Minuten");
  EXPECT_EQ(seconds_label(1), "1 Sekunde");
  EXPECT_EQ(seconds_label(2), "2 Sekunden");
  EXPECT_EQ(seconds_label(10), "10 Sekunden");
  EXPECT_EQ(text_size_label(18), "Textgr\xC3\xB6\303\237e: 18");
}

using Calls = std::vector<std::pair<std::string, std::string>>;

Calls record(const Settings& v) {
  Calls calls;
  write_konfig(
      v, [&](const std::string& k, const std::string& val) { calls.emplace_back(k, val); },
      [&] { calls.emplace_back("<autostart>", ""); });
  return calls;
}

TEST(SavingKeys, TheDialogsKeysInOrderWithTheirValueForms) {
  Settings v;
  v.stations = "  Eins;ZWEI ";
  v.fill_colour = colour_to_text(255);  // pure red
  v.outline_colour = colour_to_text(0x00FF8040);
  v.update_interval = 1;
  v.opacity = 0;
  v.outline_on = false;
  v.shadow_on = true;
  v.text_size = 30;
  v.autostart = 1;
  v.only_changes = true;
  v.changes_visible_in_seconds = 50;
  v.write_title2file = false;
  v.window_pos_x = 1500;
  v.window_pos_y = 0;
  v.horizontal = 1;
  v.hide_in_fullscreen = true;
  v.notify_no_answer = true;
  v.keep_history = true;
  v.history_days = 30;  // the file's own: the dialog never writes it
  const Calls expected = {{"stations", "eins;zwei"},
                          {"BackgroundColor", "255"},
                          {"OutlineColor", "16744512"},
                          {"UpdateInterval", "1"},
                          {"Opaque", "0"},
                          {"Text_Ouline", "0"},
                          {"Text_Shadow", "1"},
                          {"Text_Size", "30"},
                          {"autostart", "1"},
                          {"<autostart>", ""},
                          {"only_changes", "1"},
                          {"changes_visible_in_seconds", "50"},
                          {"write_title2file", "0"},
                          {"window_pos_x", "1500"},
                          {"window_pos_y", "0"},
                          {"horizontal", "1"},
                          {"hide_in_fullscreen", "1"},
                          {"notify_no_answer", "1"},
                          {"keep_history", "1"}};
  EXPECT_EQ(record(v), expected);
}

TEST(SavingKeys, NegativeColoursAreSkippedAndFlagsFlip) {
  Settings v;
  v.fill_colour = colour_to_text(0xFFFFFFFF);
  v.outline_colour = colour_to_text(0x80000000);
  v.outline_on = true;
  v.shadow_on = false;
  v.autostart = 0;
  v.write_title2file = true;
  v.horizontal = 0;
  Calls calls = record(v);
  ASSERT_EQ(calls.size(), 17u);
  EXPECT_EQ(calls[0], (std::pair<std::string, std::string>("stations", "")));
  EXPECT_EQ(calls[1].first, "UpdateInterval");
  EXPECT_EQ(calls[3], (std::pair<std::string, std::string>("Text_Ouline", "1")));
  EXPECT_EQ(calls[4], (std::pair<std::string, std::string>("Text_Shadow", "0")));
  EXPECT_EQ(calls[6], (std::pair<std::string, std::string>("autostart", "0")));
  EXPECT_EQ(calls[10], (std::pair<std::string, std::string>("write_title2file", "1")));
  EXPECT_EQ(calls[13], (std::pair<std::string, std::string>("horizontal", "0")));
}

TEST(Colours, DecimalTextRoundTripsThroughTheSwatchValue) {
  EXPECT_EQ(colour_from_text("2131691"), 2131691u);
  EXPECT_EQ(colour_from_text(" 255 "), 255u);
  EXPECT_EQ(colour_from_text("abc"), 0u);
  EXPECT_EQ(colour_to_text(colour_from_text("-1")), "-1");
  EXPECT_EQ(colour_to_text(0x00FFFFFF), "16777215");
}

TEST(CancelCopy, SecondsBelowOneOpenAsTen) {
  EXPECT_EQ(opening_seconds(0), 10);
  EXPECT_EQ(opening_seconds(-3), 10);
  EXPECT_EQ(opening_seconds(1), 1);
  EXPECT_EQ(opening_seconds(50), 50);
}

TEST(DroppedPosition, EveryPlaceIsStoredAsOneThatPutsTheOverlayOnTheSamePixel) {
  // A monitor left of the primary one gives negative places.
  const std::vector<Monitor> screens{Monitor{PxRect{0, 0, 2560, 1440}, PxRect{0, 0, 2560, 1400}},
                                     Monitor{PxRect{-1920, 0, 0, 1080}, PxRect{-1920, 0, 0, 1080}}};
  for (int dpi : {96, 120, 144, 168, 192, 216}) {
    const double tpp = twips_per_px(dpi);
    for (int32_t px : {-1920, -1, 0, 1, 2000}) {
      const int32_t stored = dropped_position_twips(px, tpp);
      EXPECT_NE(stored, 0) << "0 reads as no position; " << dpi << " dpi, " << px << " px";
      EXPECT_EQ(twips_to_screen(stored, stored, screens, dpi), (PxPoint{px, px})) << dpi << " dpi, " << px;
    }
  }
}

TEST(Autostart, ValueNameFollowsTheExecutableWhileDataNamesTheProgramInQuotes) {
  EXPECT_EQ(autostart_value_name("C:\\Tools\\Klangnetz_DesktopTool.exe"), "Klangnetz_DesktopTool");
  EXPECT_EQ(autostart_value_name("C:\\a.b\\Anders.Benannt.exe"), "Anders.Benannt");
  EXPECT_EQ(autostart_value_name("Ohne"), "Ohne");
  EXPECT_EQ(autostart_command("C:\\Program Files\\Klangnetz"),
            "\"C:\\Program Files\\Klangnetz\\Klangnetz_DesktopTool.exe\"");
}

}  // namespace
}  // namespace kn
