// The release as a user gets it: unpacked from its zip into a folder whose path has
// a blank and an umlaut, started with a settings file beside the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

TEST(Release, UnpackedItRunsFromItsFolderAndLeavesOnlyItsOwnFiles) {
  const char* unpacked = std::getenv("KN_RELEASE_DIR");
  if (!unpacked || !*unpacked) GTEST_SKIP() << "no unpacked release: scripts/test.sh makes and unpacks one";
  const std::string folder = wine_path(unpacked);
  const std::set<std::string> shipped{
      "Inivault.dll", "Inivault.dll.a", "Inivault.lib", "Klangnetz_DesktopTool.exe",
      "LICENSE",      "LIESMICH.txt",   "inivault.h"};
  ASSERT_EQ(names_in(folder), shipped) << folder;

  Program p("release", "stations=fixed-81;fixed-82\r\n", sim_base_url(), folder);
  ASSERT_TRUE(p.start());
  HWND overlay = nullptr;
  ASSERT_TRUE(wait_until([&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr; }, 30000));
  // The counts can only come from the settings file beside the program.
  EXPECT_TRUE(wait_until([&] { return window_text(overlay) == L"FIXED-81 : 0081\r\nFIXED-82: 0082"; }, 30000,
                         [&] { return "overlay " + shown(window_text(overlay)); }));
  EXPECT_TRUE(IsWindowVisible(overlay));
  ASSERT_TRUE(p.choose_menu_entry(3));  // "Beenden"
  DWORD code = 99;
  ASSERT_TRUE(p.ended_within(10000, &code));
  EXPECT_EQ(code, 0u);
  std::set<std::string> expected = shipped;
  expected.insert("Klangnetz_DesktopTool.ini");
  EXPECT_EQ(names_in(folder), expected);
}

}  // namespace
