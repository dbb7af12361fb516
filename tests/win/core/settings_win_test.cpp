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

TEST(ProfileSettings, LongValuesComeBackWhole) {
  std::string dir = test::make_temp_folder("long");
  std::string file = dir + "\\Klangnetz_DesktopTool.ini";
  // 1023 and 1024 characters sit at the edge of the first read; 200 stations need
  // several reads.
  for (size_t length : {1022u, 1023u, 1024u, 1500u, 2000u, 20000u}) {
    std::string value(length, 'a');
    value.back() = 'z';
    ASSERT_TRUE(write_ini_value("Konfig", "stations", value, file));
    const std::string got = read_ini_value("Konfig", "stations", "", file);
    EXPECT_TRUE(got == value) << length << " characters came back as " << got.size();
  }
  // A 100 KB line from an editor (Wine's profile writer cannot write one).
  std::string line(100 * 1024, 'b');
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "[Konfig]\r\nstations=" << line << "\r\n";
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", file).size(), line.size());
  EXPECT_EQ(read_ini_value("Konfig", "fehlt", "vorgabe", file), "vorgabe");
}

}  // namespace
}  // namespace kn
