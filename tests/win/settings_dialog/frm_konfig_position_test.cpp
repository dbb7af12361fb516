#include "settings_dialog/frm_konfig_position.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "units/twips.h"
#include "settings_dialog/fake_host.h"
#include "win/modal_loop_win.h"
#include "win/screen_twips_win.h"

namespace kn {
namespace {

using test::FakeHost;

HINSTANCE self() { return GetModuleHandleW(nullptr); }

RECT rect_of(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  return r;
}

LPARAM at(int x, int y) { return MAKELPARAM(x, y); }

TEST(FrmKonfigPosition, OpensAtTheStoredPlaceWithTheOverlaysSize) {
  FakeHost host;
  const int32_t tx = twips_per_px_x();
  const int32_t ty = twips_per_px_y();
  host.state.settings.window_pos_x = 100 * tx;
  host.state.settings.window_pos_y = 200 * ty;
  host.width_twips = px_to_twips(300, twips_per_px_x());
  host.height_twips = px_to_twips(180, twips_per_px_y());
  const int thread_awareness = test::dpi_awareness();
  FrmKonfigPosition dialog(host, self());
  ASSERT_TRUE(dialog.create(nullptr));
  if (thread_awareness >= 0) {
    EXPECT_EQ(test::dpi_awareness(dialog.hwnd()), 1) << "laid out at the system's scale";
    EXPECT_EQ(test::dpi_awareness(), thread_awareness) << "the thread's own awareness comes back";
  }
  const RECT r = rect_of(dialog.hwnd());
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.bottom - r.top, 180);
  EXPECT_EQ(test::window_text(dialog.control(FrmKonfigPosition::kHintLabel)),
            L"Verschiebe das Fenster an die gew\u00FCnschte Position.");
  EXPECT_EQ(test::window_text(dialog.control(FrmKonfigPosition::kApplyButton)), L"\u00DCbernehmen");
  EXPECT_EQ(GetWindowLongW(dialog.hwnd(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
}

TEST(FrmKonfigPosition, DraggingMovesDialogAndOverlayOnlyWhileTheButtonIsHeld) {
  FakeHost host;
  const int32_t tx = twips_per_px_x();
  const int32_t ty = twips_per_px_y();
  host.state.settings.window_pos_x = 100 * tx;
  host.state.settings.window_pos_y = 200 * ty;
  FrmKonfigPosition dialog(host, self());
  ASSERT_TRUE(dialog.create(nullptr));
  HWND h = dialog.hwnd();

  SendMessageW(h, WM_MOUSEMOVE, 0, at(60, 40));
  EXPECT_TRUE(host.overlay_moves.empty()) << "no drag without a pressed button";

  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at(60, 30));
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, at(80, 45));
  RECT r = rect_of(h);
  EXPECT_EQ(r.left, 120);
  EXPECT_EQ(r.top, 215);
  ASSERT_EQ(host.overlay_moves.size(), 1u);
  EXPECT_EQ(host.overlay_moves[0], (std::pair<int32_t, int32_t>(120 * tx, 215 * ty)));

  SendMessageW(h, WM_LBUTTONUP, 0, at(60, 30));
  SendMessageW(h, WM_MOUSEMOVE, 0, at(10, 10));
  r = rect_of(h);
  EXPECT_EQ(r.left, 120);
  EXPECT_EQ(host.overlay_moves.size(), 1u);
  EXPECT_EQ(host.state.settings.window_pos_x, 100 * tx) << "nothing is stored before applying";

  SendMessageW(h, WM_COMMAND, MAKEWPARAM(FrmKonfigPosition::kApplyImage, BN_CLICKED),
               reinterpret_cast<LPARAM>(dialog.control(FrmKonfigPosition::kApplyImage)));
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(host.state.settings.window_pos_x, 120 * tx);
  EXPECT_EQ(host.state.settings.window_pos_y, 215 * ty);
  EXPECT_EQ(host.redraw_sizes.size(), 1u);
}

TEST(FrmKonfigPosition, DroppedLeftOfThePrimaryOrOnItsEdgeKeepsThatPlace) {
  FakeHost host;
  const double tx = twips_per_px_x();
  const double ty = twips_per_px_y();
  // Partly left of the screen, as on a monitor left of the primary one.
  host.state.settings.window_pos_x = px_to_twips(-100, tx);
  host.state.settings.window_pos_y = px_to_twips(200, ty);
  host.width_twips = px_to_twips(300, tx);
  FrmKonfigPosition dialog(host, self());
  ASSERT_TRUE(dialog.create(nullptr));
  HWND h = dialog.hwnd();
  EXPECT_EQ(rect_of(h).left, -100) << "a place any monitor shows part of stays";

  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at(150, 30));
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, at(130, 30));
  EXPECT_EQ(rect_of(h).left, -120);
  ASSERT_FALSE(host.overlay_moves.empty());
  EXPECT_EQ(host.overlay_moves.back(),
            (std::pair<int32_t, int32_t>(px_to_twips(-120, tx), px_to_twips(200, ty))));

  // On the primary's left edge: 0 twips would read as "no position".
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, at(270, 30));
  EXPECT_EQ(rect_of(h).left, 0);
  EXPECT_EQ(host.overlay_moves.back().first, 1);
  SendMessageW(h, WM_LBUTTONUP, 0, at(270, 30));
  SendMessageW(h, WM_COMMAND, MAKEWPARAM(FrmKonfigPosition::kApplyButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(dialog.control(FrmKonfigPosition::kApplyButton)));
  EXPECT_EQ(host.state.settings.window_pos_x, 1);
  EXPECT_EQ(host.state.settings.window_pos_y, px_to_twips(200, ty));
  EXPECT_EQ(twips_to_px(host.state.settings.window_pos_x, tx), 0);
}

TEST(FrmKonfigPosition, AStoredPlaceNoMonitorShowsOpensOnTheNearestWorkArea) {
  FakeHost host;
  const double tx = twips_per_px_x();
  const double ty = twips_per_px_y();
  host.state.settings.window_pos_x = px_to_twips(5000, tx);  // a monitor that is gone
  host.state.settings.window_pos_y = px_to_twips(200, ty);
  host.width_twips = px_to_twips(300, tx);
  FrmKonfigPosition dialog(host, self());
  ASSERT_TRUE(dialog.create(nullptr));
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
  const RECT r = rect_of(dialog.hwnd());
  EXPECT_EQ(r.right, info.rcWork.right);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(host.state.settings.window_pos_x, px_to_twips(5000, tx)) << "opening stores nothing";
}

TEST(FrmKonfigPosition, ResetClearsThePositionAndEscapeStoresNothing) {
  FakeHost host;
  host.state.settings.window_pos_x = 1500;
  host.state.settings.window_pos_y = 3000;
  {
    FrmKonfigPosition dialog(host, self());
    ASSERT_TRUE(dialog.create(nullptr));
    SendMessageW(dialog.control(FrmKonfigPosition::kResetButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(dialog.closed());
    EXPECT_EQ(host.state.settings.window_pos_x, 0);
    EXPECT_EQ(host.state.settings.window_pos_y, 0);
    EXPECT_EQ(host.redraw_sizes.size(), 1u);
  }
  host.state.settings.window_pos_x = 1500;
  host.state.settings.window_pos_y = 3000;
  {
    // Escape pressed while a button has the focus, through the modal loop.
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, self(), nullptr);
    FrmKonfigPosition dialog(host, self());
    ASSERT_TRUE(dialog.create(owner));
    EXPECT_FALSE(IsWindowEnabled(owner)) << "modal over its owner";
    SendMessageW(dialog.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    SendMessageW(dialog.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, at(25, 5));
    PostMessageW(dialog.control(FrmKonfigPosition::kApplyButton), WM_KEYDOWN, VK_ESCAPE, 0);
    run_modal(dialog);
    EXPECT_TRUE(dialog.closed());
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(host.state.settings.window_pos_x, 1500);
    EXPECT_EQ(host.state.settings.window_pos_y, 3000);
    EXPECT_EQ(host.redraw_sizes.size(), 1u) << "Escape makes no redraw";
    EXPECT_EQ(host.overlay_moves.size(), 1u) << "the overlay stays where it was dragged";
    DestroyWindow(owner);
  }
}

TEST(FrmKonfigPosition, PressOnTheHintDoesNotStartADrag) {
  FakeHost host;
  host.height_twips = px_to_twips(200, twips_per_px_y());  // tall enough to hold the hint
  host.width_twips = px_to_twips(420, twips_per_px_x());
  FrmKonfigPosition dialog(host, self());
  ASSERT_TRUE(dialog.create(nullptr));
  HWND hint = dialog.control(FrmKonfigPosition::kHintLabel);
  ASSERT_NE(hint, nullptr);
  // What a real press on the hint reaches: hit-testing decides who gets it.
  RECT r = rect_of(hint);
  const LRESULT hit = SendMessageW(hint, WM_NCHITTEST, 0, MAKELPARAM(r.left + 5, r.top + 5));
  EXPECT_NE(hit, HTTRANSPARENT);
}

}  // namespace
}  // namespace kn
