#include <gtest/gtest.h>

#include <fstream>

#include "common/win_test_util.h"
#include "core/ini_module.h"
#include "core/settings.h"

namespace kn {
namespace {

Settings read_file(const std::string& file) {
  return read_settings([&](const std::string& key, const std::string& def) {
    return read_ini_value(kSettingsSection, key, def, file);
  });
}

TEST(ProfileSettings, MissingFileGivesEveryDefault) {
  std::string dir = test::make_temp_folder("nofile");
  Settings s = read_file(dir + "\\Klangnetz_DesktopTool.ini");
  EXPECT_EQ(s.stations, "");
  EXPECT_EQ(s.Opaque, 225);
  EXPECT_EQ(s.changes_visible_in_seconds, 10);
  EXPECT_EQ(s.BackgroundColor, "2131691");
  EXPECT_FALSE(test::exists(dir + "\\Klangnetz_DesktopTool.ini"));
}

TEST(ProfileSettings, WrittenFileIsReadBackInTheAnsiCodePage) {
  std::string dir = test::make_temp_folder("file");
  std::string file = dir + "\\Klangnetz_DesktopTool.ini";
  {
    std::ofstream out(file, std::ios::binary);
    out << "[Konfig]\r\nstations= Sch\xF6ne Lieder;NACHTRADIO \r\nOpaque=abc\r\nText_Size=24\r\n"
           "changes_visible_in_seconds=12 Sekunden\r\nwrite_title2file=1.5\r\nUpdateInterval=-2\r\n"
           "[Other]\r\nText_Size=30\r\n";
  }
  Settings s = read_file(file);
  EXPECT_EQ(s.stations, "sch\xC3\xB6ne lieder;nachtradio");
  EXPECT_EQ(s.Opaque, 225);
  EXPECT_EQ(s.Text_Size, 24);
  EXPECT_EQ(s.changes_visible_in_seconds, 12);
  EXPECT_TRUE(s.write_title2file);
  EXPECT_EQ(s.UpdateInterval, 3);

  EXPECT_TRUE(write_ini_value("Konfig", "Opaque", "100", file));
  EXPECT_TRUE(write_ini_value("Konfig", "BackgroundColor", "255", file));
  Settings again = read_file(file);
  EXPECT_EQ(again.Opaque, 100);
  EXPECT_EQ(again.BackgroundColor, "255");
}

TEST(ProfileSettings, LongValuesAreCutTo1023Characters) {
  std::string dir = test::make_temp_folder("long");
  std::string file = dir + "\\Klangnetz_DesktopTool.ini";
  std::string value(1500, 'a');
  write_ini_value("Konfig", "stations", value, file);
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", file).size(), 1023u);
}

}  // namespace
}  // namespace kn
