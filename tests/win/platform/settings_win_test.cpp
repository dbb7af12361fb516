#include <gtest/gtest.h>

#include <fstream>

#include "common/file_security.h"
#include "common/win_test_util.h"
#include "core/settings.h"
#include "filesafe/filesafe.h"
#include "platform/settings_store_win.h"

namespace kn {
namespace {

TEST(ProfileSettings, MissingFileGivesEveryDefault) {
  std::string dir = test::make_temp_folder("nofile");
  Settings s = read_settings_file(dir + "\\Klangnetz_DesktopTool.ini");
  EXPECT_EQ(s.stations, "");
  EXPECT_EQ(s.opacity, 225);
  EXPECT_EQ(s.changes_visible_in_seconds, 10);
  EXPECT_EQ(s.fill_colour, "2131691");
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
  Settings s = read_settings_file(file);
  EXPECT_EQ(s.stations, "sch\xC3\xB6ne lieder;nachtradio");
  EXPECT_EQ(s.opacity, 225);
  EXPECT_EQ(s.text_size, 24);
  EXPECT_EQ(s.changes_visible_in_seconds, 12);
  EXPECT_TRUE(s.write_title2file);
  EXPECT_EQ(s.update_interval, 3);

  EXPECT_TRUE(write_ini_value("Konfig", "Opaque", "100", file));
  EXPECT_TRUE(write_ini_value("Konfig", "BackgroundColor", "255", file));
  Settings again = read_settings_file(file);
  EXPECT_EQ(again.opacity, 100);
  EXPECT_EQ(again.fill_colour, "255");
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

using Keys = std::vector<std::pair<std::string, std::string>>;

bool profile_write(const std::string& key, const std::string& value, const std::string& file) {
  return write_ini_value(kSettingsSection, key, value, file);
}

const char kSaved[] = "[Konfig]\r\nstations=eins;zwei\r\napi_base_url=http://127.0.0.1:1\r\n";

// A second instance that saves while the first is half way leaves a whole file: the
// last save's keys and every key neither wrote.
TEST(SettingsSave, TwoSavesAtOnceNeverPutAPartialFile) {
  const std::string dir = test::make_temp_folder("save_twice");
  const std::string file = dir + "\\Klangnetz_DesktopTool.ini";
  std::ofstream(file, std::ios::binary) << kSaved;
  bool other_saved = false;
  const bool saved =
      write_ini_keys_whole({{"stations", "drei"}, {"UpdateInterval", "5"}, {"Opaque", "100"}}, file,
                           [&](const std::string& key, const std::string& value, const std::string& copy) {
                             if (key == "UpdateInterval") {
                               other_saved = write_ini_keys_whole({{"stations", "vier"}, {"Text_Size", "30"}},
                                                                  file, profile_write);
                             }
                             return profile_write(key, value, copy);
                           });
  EXPECT_TRUE(other_saved);
  EXPECT_TRUE(saved);
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", file), "drei");
  EXPECT_EQ(read_ini_value("Konfig", "UpdateInterval", "", file), "5");
  EXPECT_EQ(read_ini_value("Konfig", "Opaque", "", file), "100");
  EXPECT_EQ(read_ini_value("Konfig", "api_base_url", "", file), "http://127.0.0.1:1");
  EXPECT_EQ(test::names_in(dir), std::set<std::string>{"Klangnetz_DesktopTool.ini"});
}

// The copy is on the disk before it takes the file's place; a step that fails there
// leaves the file as it was and no copy behind. Where the copy cannot be given the
// file's owner or access list, the finished text is written over the file itself.
TEST(SettingsSave, FailedStepsKeepTheFileAndItsAccessListAndAttributes) {
  const std::string dir = test::make_temp_folder("save_steps");
  const std::string file = dir + "\\Klangnetz_DesktopTool.ini";
  std::ofstream(file, std::ios::binary) << kSaved;
  ASSERT_TRUE(test::restrict_to_owner(file));
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::wstring security = test::security_text(file);

  using filesafe::FileStep;
  for (const FileStep step : {FileStep::kCreateTemp, FileStep::kWrite, FileStep::kFlush, FileStep::kRename}) {
    filesafe::set_fault_hook([step](FileStep now) { return now == step ? ERROR_DISK_FULL : 0; });
    EXPECT_FALSE(write_ini_keys_whole({{"stations", "drei"}}, file, profile_write));
    filesafe::set_fault_hook({});
    EXPECT_EQ(test::read_file(file), kSaved);
    EXPECT_EQ(test::names_in(dir), std::set<std::string>{"Klangnetz_DesktopTool.ini"});
  }

  filesafe::set_fault_hook([](FileStep now) { return now == FileStep::kSetOwner ? ERROR_ACCESS_DENIED : 0; });
  EXPECT_TRUE(write_ini_keys_whole({{"stations", "in place"}}, file, profile_write));
  filesafe::set_fault_hook({});
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", file), "in place");
  EXPECT_EQ(test::security_text(file), security);
  EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_HIDDEN);

  EXPECT_TRUE(write_ini_keys_whole({{"stations", "renamed"}}, file, profile_write));
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", file), "renamed");
  EXPECT_EQ(read_ini_value("Konfig", "api_base_url", "", file), "http://127.0.0.1:1");
  EXPECT_EQ(test::security_text(file), security);
  EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(test::names_in(dir), std::set<std::string>{"Klangnetz_DesktopTool.ini"});

  // Read-only is refused before anything is made.
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(write_ini_keys_whole({{"stations", "nie"}}, file, profile_write));
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", file), "renamed");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Wine makes no symbolic links, so the host makes this one beside the test:
// settings-links\link.ini, pointing at real\settings.ini.
TEST(SettingsSave, ThroughALinkTheNamedFileChangesAndTheLinkStays) {
  const std::string link = "settings-links\\link.ini";
  const std::string real = "settings-links\\real\\settings.ini";
  if (!test::exists(link)) GTEST_SKIP() << "no link at " << link << " (made by the ctest fixture)";
  std::ofstream(real, std::ios::binary | std::ios::trunc) << kSaved;
  ASSERT_EQ(test::file_identity(link), test::file_identity(real));

  EXPECT_TRUE(write_ini_keys_whole({{"stations", "drei"}}, link, profile_write));
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", real), "drei");
  EXPECT_EQ(read_ini_value("Konfig", "api_base_url", "", real), "http://127.0.0.1:1");
  EXPECT_EQ(test::file_identity(link), test::file_identity(real));
  EXPECT_EQ(test::names_in("settings-links"), (std::set<std::string>{"link.ini", "real"}));
  EXPECT_EQ(test::names_in("settings-links\\real"), std::set<std::string>{"settings.ini"});
}

TEST(SettingsSave, AFileWithAnotherNameKeepsItUpToDate) {
  const std::string dir = test::make_temp_folder("save_hardlink");
  const std::string file = dir + "\\Klangnetz_DesktopTool.ini", other = dir + "\\copy.ini";
  std::ofstream(file, std::ios::binary) << kSaved;
  ASSERT_TRUE(CreateHardLinkA(other.c_str(), file.c_str(), nullptr));
  EXPECT_TRUE(write_ini_keys_whole({{"stations", "drei"}}, file, profile_write));
  EXPECT_EQ(read_ini_value("Konfig", "stations", "", other), "drei");
  EXPECT_EQ(test::read_file(other), test::read_file(file));
  EXPECT_EQ(test::names_in(dir), (std::set<std::string>{"Klangnetz_DesktopTool.ini", "copy.ini"}));
}

}  // namespace
}  // namespace kn
