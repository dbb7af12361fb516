#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/win_test_util.h"
#include "core/settings.h"
#include "dialogs/frm_about.h"
#include "win/ansi_win.h"

namespace kn {
namespace {

// This test's own version resource: one the program does not have, so a match shows
// it is read from the file.
constexpr const wchar_t* kVersionText = L"Version 2.3.45";

void pump_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

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
  EXPECT_EQ(utf8_to_wide(program_version_text(own_exe())), kVersionText);
  EXPECT_EQ(program_version_text(L"C:\\windows\\system32\\does_not_exist.exe"), "");
}

TEST_F(AboutTest, ShowsNameVersionAndDescription) {
  ASSERT_TRUE(about.open());
  if (test::dpi_awareness() >= 0) {
    EXPECT_EQ(test::dpi_awareness(about.hwnd()), 1) << "laid out at the system's scale";
  }
  EXPECT_EQ(test::window_text(about.hwnd()), utf8_to_wide(std::string(kAboutCaptionPrefix) + kProgramTitle));
  EXPECT_EQ(test::window_text(about.version_label()), kVersionText);
  EXPECT_EQ(test::window_text(about.link()), utf8_to_wide(kHomePage));
  EXPECT_FALSE(GetWindowLongW(about.hwnd(), GWL_STYLE) & WS_THICKFRAME);
  // One control for each text, and nothing else.
  std::vector<std::wstring> texts;
  EnumChildWindows(about.hwnd(), collect_text, reinterpret_cast<LPARAM>(&texts));
  std::vector<std::wstring> expected{kVersionText};
  for (const char* text : kAboutControlTexts) expected.push_back(utf8_to_wide(text));
  std::sort(texts.begin(), texts.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(texts, expected);

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
  EXPECT_EQ(opened[0].address, kHomePage);
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
  pump_messages();
  const int before = test::gdi_object_count();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(about.open());
    mouse(WM_MOUSEMOVE, 5, 5);
    UpdateWindow(about.link());
    about.close();
    pump_messages();
  }
  EXPECT_LE(test::gdi_object_count(), before);
}

}  // namespace
}  // namespace kn
