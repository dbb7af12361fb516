#include "core/autostart.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/autostart_win.h"

namespace kn {
namespace {

struct RunValue {
  bool present = false;
  DWORD type = 0;
  std::string data;
};

RunValue query(const std::string& name) {
  RunValue v;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return v;
  char buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &v.type, reinterpret_cast<BYTE*>(buffer), &size) ==
      ERROR_SUCCESS) {
    v.present = true;
    v.data.assign(buffer, size > 0 ? size - 1 : 0);  // without the terminating zero
  }
  RegCloseKey(key);
  return v;
}

int values_named(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  int n = 0;
  char value_name[512];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof value_name;
    if (RegEnumValueA(key, i, value_name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (lstrcmpiA(value_name, name.c_str()) == 0) ++n;
  }
  RegCloseKey(key);
  return n;
}

class Autostart : public ::testing::Test {
 protected:
  void SetUp() override {
    // The Run key exists on a real system; a fresh prefix may lack it.
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key) RegCloseKey(key);
  }
  void TearDown() override { remove_autostart(name); }
  const std::string name = "Klangnetz_AutostartTest_" + std::to_string(GetCurrentProcessId());
};

TEST_F(Autostart, AddingTwiceLeavesOneValueWithTheQuotedProgram) {
  const std::string command = autostart_command("C:\\Program Files\\Klangnetz");
  EXPECT_TRUE(add_autostart(name, command));
  EXPECT_TRUE(add_autostart(name, command));
  EXPECT_EQ(values_named(name), 1);
  const RunValue v = query(name);
  ASSERT_TRUE(v.present);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.data, "\"C:\\Program Files\\Klangnetz\\Klangnetz_DesktopTool.exe\"");
}

TEST_F(Autostart, RemovingDeletesAndAMissingValueIsQuiet) {
  ASSERT_TRUE(add_autostart(name, autostart_command("C:\\K")));
  EXPECT_TRUE(remove_autostart(name));
  EXPECT_FALSE(query(name).present);
  EXPECT_FALSE(remove_autostart(name)) << "reports the missing value, changes nothing";
  EXPECT_EQ(values_named(name), 0);
}

TEST_F(Autostart, OwnValueIsNamedAfterTheRunningExecutable) {
  set_own_autostart(true);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string own = autostart_value_name(path);
  EXPECT_EQ(own, "settings_dialog_win_tests");
  const RunValue v = query(own);
  ASSERT_TRUE(v.present);
  EXPECT_NE(v.data.find("\\Klangnetz_DesktopTool.exe\""), std::string::npos);
  EXPECT_EQ(v.data.front(), '"');
  set_own_autostart(false);
  EXPECT_FALSE(query(own).present);
}

}  // namespace
}  // namespace kn
