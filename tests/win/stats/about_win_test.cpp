#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialogs/frm_about.h"
#include "stats/win_stats_util.h"

namespace kn {
namespace {

std::wstring own_exe() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  return exe;
}

BOOL CALLBACK collect_text(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<std::wstring>*>(lp)->push_back(test::window_text(h));
  return TRUE;
}

struct Opened {
  HWND owner;
  std::string address;
  std::string folder;
};

class AboutTest : public ::testing::Test {
 protected:
  AboutTest() : about(GetModuleHandleW(nullptr), "C:\\Programme\\Klangnetz", 1) {
    about.set_opener([this](HWND owner, const std::string& a, const std::string& f) {
      opened.push_back({owner, a, f});
    });
  }
  void mouse(UINT msg, int x, int y) { SendMessageW(about.link(), msg, 0, MAKELPARAM(x, y)); }

  FrmAbout about;
  std::vector<Opened> opened;
};

TEST(ProgramVersion, IsReadFromTheVersionResource) {
  EXPECT_EQ(program_version_text(own_exe()), "Version 2.3.45");  // this test's own resource
  EXPECT_EQ(program_version_text(L"C:\\windows\\system32\\does_not_exist.exe"), "");
}

TEST_F(AboutTest, ShowsNameVersionAndDescription) {
  ASSERT_TRUE(about.open());
  if (test::dpi_awareness() >= 0) {
    EXPECT_EQ(test::dpi_awareness(about.hwnd()), 1) << "laid out at the system's scale";
  }
  EXPECT_EQ(test::window_text(about.hwnd()), L"Info zu Klangnetz DesktopTool");
  EXPECT_EQ(test::window_text(about.version_label()), L"Version 2.3.45");
  EXPECT_EQ(test::window_text(about.link()), L"https://klangnetz.de/desktoptool");
  EXPECT_FALSE(GetWindowLongW(about.hwnd(), GWL_STYLE) & WS_THICKFRAME);
  std::vector<std::wstring> texts;
  EnumChildWindows(about.hwnd(), collect_text, reinterpret_cast<LPARAM>(&texts));
  auto has = [&](const std::wstring& t) { return std::find(texts.begin(), texts.end(), t) != texts.end(); };
  EXPECT_TRUE(has(L"Klangnetz DesktopTool"));
  EXPECT_TRUE(has(L"Diese Programm zeigt die H\u00F6rerzahlen ein oder mehrere Klangnetz Stationen auf dem "
                  L"Desktop an."));
  EXPECT_TRUE(has(L"Homepage:"));
  EXPECT_TRUE(has(L"Auf der Webseite gibt es auch einen Spende-Button :)"));
  EXPECT_TRUE(has(L"OK"));

  SendMessageW(about.hwnd(), WM_COMMAND, IDOK, 0);  // the OK button
  EXPECT_FALSE(about.is_open());
  EXPECT_TRUE(opened.empty());
}

TEST_F(AboutTest, LinkIsUnderlinedOnlyWhileThePointerIsOverIt) {
  ASSERT_TRUE(about.open());
  EXPECT_FALSE(about.link_underlined());
  mouse(WM_MOUSEMOVE, 5, 5);
  EXPECT_TRUE(about.link_underlined());
  mouse(WM_MOUSEMOVE, 30, 6);
  EXPECT_TRUE(about.link_underlined());
  mouse(WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(about.link_underlined());
  EXPECT_TRUE(opened.empty());
  about.close();
}

TEST_F(AboutTest, ClickOnTheLinkOpensTheHomePageOnce) {
  ASSERT_TRUE(about.open());
  mouse(WM_MOUSEMOVE, 5, 5);
  mouse(WM_LBUTTONDOWN, 5, 5);
  mouse(WM_LBUTTONUP, 6, 5);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].owner, about.hwnd());
  EXPECT_EQ(opened[0].address, "https://klangnetz.de/desktoptool");
  EXPECT_EQ(opened[0].folder, "C:\\Programme\\Klangnetz");
  EXPECT_FALSE(about.link_underlined());
  mouse(WM_LBUTTONUP, 6, 5);  // a stray release is no click
  EXPECT_EQ(opened.size(), 1u);
  about.close();
}

TEST_F(AboutTest, ReleasingElsewhereOpensNothingAndClearsTheUnderline) {
  ASSERT_TRUE(about.open());
  mouse(WM_MOUSEMOVE, 5, 5);
  mouse(WM_LBUTTONDOWN, 5, 5);
  mouse(WM_MOUSEMOVE, -40, 200);  // dragged off, button still held
  EXPECT_FALSE(about.link_underlined());
  mouse(WM_LBUTTONUP, -40, 200);
  EXPECT_TRUE(opened.empty());
  EXPECT_FALSE(about.link_underlined());
  about.close();
}

TEST_F(AboutTest, OpeningAndClosingLeavesNoGdiObjectsBehind) {
  ASSERT_TRUE(about.open());
  about.close();
  test::pump_messages();
  const int before = test::gdi_object_count();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(about.open());
    mouse(WM_MOUSEMOVE, 5, 5);
    UpdateWindow(about.link());
    about.close();
    test::pump_messages();
  }
  EXPECT_LE(test::gdi_object_count(), before);
}

}  // namespace
}  // namespace kn
