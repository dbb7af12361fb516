// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <string>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

constexpr int kTextSizeSlider = 1006;  // the text-size slider's control id
constexpr int kTextSizeLabel = 1007;
constexpr int kCancelButton = 1020;

TEST(SettingsDialogEndToEnd, OpensFromTheTrayMenuAndCancelsALiveChange) {
  Program p("konfig_e2e", "stations=fixed-71;fixed-72\r\n");
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(wait_until(
      [&] {
        HWND overlay = p.window("Klangnetz_frmText");
        return overlay && IsWindowVisible(overlay);
      },
      30000))
      << "(the overlay shown)";

  HWND dialog = p.open_from_menu(0, "Klangnetz_frmKonfig");  // "Einstellungen"
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(window_text(dialog), L"Einstellungen");
  int sliders = 0;
  bool save = false, cancel = false, side_by_side = false, stations_field = false;
  for (HWND c : children(dialog)) {
    const std::wstring cls = class_name(c);
    const std::wstring text = window_text(c);
    if (_wcsicmp(cls.c_str(), L"msctls_trackbar32") == 0) ++sliders;
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      save |= text == L"&Speichern";
      cancel |= text == L"&Abbrechen";
      side_by_side |= text == L"Ausgabe nebeneinander";
    }
    if (_wcsicmp(cls.c_str(), L"Edit") == 0) stations_field |= text == L"fixed-71;fixed-72";
  }
  EXPECT_EQ(sliders, 4);
  EXPECT_TRUE(save);
  EXPECT_TRUE(cancel);
  EXPECT_TRUE(side_by_side);
  EXPECT_TRUE(stations_field);

  HWND slider = GetDlgItem(dialog, kTextSizeSlider);
  ASSERT_NE(slider, nullptr);
  SendMessageW(slider, TBM_SETPOS, TRUE, 26);
  SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 26), reinterpret_cast<LPARAM>(slider));
  EXPECT_EQ(window_text(GetDlgItem(dialog, kTextSizeLabel)), L"Textgr\u00F6\u00DFe: 26");

  PostMessageW(GetDlgItem(dialog, kCancelButton), BM_CLICK, 0, 0);
  EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }, 10000));
  EXPECT_TRUE(p.running());
}

}  // namespace
