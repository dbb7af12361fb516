#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "stats/frm_graph.h"
#include "stats/gdi_surface_win.h"
#include "stats/history_plot.h"
#include "stats/win_stats_util.h"
#include "win/win_handle.h"

namespace kn {
namespace {

constexpr COLORREF kGreen = RGB(0, 255, 0), kTeal = RGB(0, 128, 128), kRed = RGB(255, 0, 0);

std::wstring combo_entry(HWND combo, int i) {
  wchar_t buf[256] = {};
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
  return buf;
}

// Column of vertical grid line k on a plot of the given width.
int grid_x(const GdiSurface* pic, int k) { return static_cast<int>(pic->inner_width() / 20.0 * k + 0.5); }

SIZE outer_size(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void choose(FrmGraph& g, int index) {
  SendMessageW(g.combo(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(100, CBN_SELCHANGE), reinterpret_cast<LPARAM>(g.combo()));
}

// Hands out this thread's messages, the window's fill timer among them, until the
// fill has ended or the window is gone.
void run_fill_to_end(FrmGraph& g) {
  MSG msg;
  while (g.is_open() && g.view().filling() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class GraphWindowTest : public ::testing::Test {
 protected:
  GraphWindowTest() {
    for (const char* name : {"nachtradio", "frueh", "leer"}) {
      StationEntry s;
      s.name = name;
      app.station_list.push_back(s);
    }
    for (int i = 1; i <= 12; ++i) {
      record_count(app.station_list[0], 2 + i, app.history);
      record_count(app.station_list[1], 60, app.history);
    }
  }
  AppState app;
};

TEST(GdiSurface, DrawsTheGraphIntoItsPicture) {
  unique_hwnd parent(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
  GdiSurface pic(parent.get(), GetModuleHandleW(nullptr), 1);
  pic.move(0, 0, 202, 102);
  ASSERT_EQ(pic.inner_width(), 200);  // the single-line frame takes one pixel each side
  ASSERT_EQ(pic.inner_height(), 100);
  EXPECT_EQ(pic.border_style(), 1);

  clsLineGraph g;
  g.Surface(&pic);
  for (int i = 0; i < 3; ++i) g.add_value(50);
  g.PicForeground(kGreen);
  g.GridColor(kTeal);
  g.GridVisible(true);
  g.BorderColor(kRed);
  g.BorderSize(2);
  g.Draw();
  EXPECT_EQ(pic.pixel(0, 50), kRed);
  EXPECT_EQ(pic.pixel(1, 50), kRed);
  EXPECT_EQ(pic.pixel(2, 50), kTeal);    // the grid's frame starts at B, over the border
  EXPECT_EQ(pic.pixel(197, 40), kRed);   // the innermost border's right edge, W - (2 + s)
  EXPECT_EQ(pic.pixel(196, 40), kTeal);  // the grid ends at W - 2B
  EXPECT_EQ(pic.pixel(49, 30), kTeal);   // fifth vertical grid line: 196 / 20 * 5
  EXPECT_EQ(pic.pixel(120, 29), kTeal);  // third horizontal one: 96 / 10 * 3 = 28.8
  EXPECT_EQ(pic.pixel(100, 55), RGB(0, 0, 0));
  // Value 50 of 100 over a plot of 96: y = 48; x from 2 to 5.92 (clamped start at B + 2 = 4).
  EXPECT_EQ(pic.pixel(4, 48), kGreen);
  EXPECT_EQ(pic.pixel(-1, 0), CLR_INVALID);
}

TEST(GdiSurface, FarOffLinesAreClippedNotDrawnWrapped) {
  unique_hwnd parent(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
  GdiSurface pic(parent.get(), GetModuleHandleW(nullptr), 0);
  pic.move(0, 0, 100, 100);
  pic.clear();
  pic.line(50, 50, 50, 3.0e9f, kGreen);    // straight down, far out
  pic.line(10, 1.0e9f, 20, 1.0e9f, kRed);  // wholly outside
  EXPECT_EQ(pic.pixel(50, 99), kGreen);
  EXPECT_EQ(pic.pixel(50, 50), kGreen);
  for (int x = 0; x < 100; ++x) EXPECT_NE(pic.pixel(x, 99), kRed);
}

// Labels in the small font the plot's layout expects, over what is drawn already.
TEST(GdiSurface, TextIsDrawnSeeThroughInTheSmallFont) {
  unique_hwnd parent(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
  GdiSurface pic(parent.get(), GetModuleHandleW(nullptr), 0);
  pic.move(0, 0, 200, 60);
  pic.set_background(RGB(0, 0, 0));
  pic.line(0, 17, 200, 17, kTeal);
  const std::string label = "M\xC3\xA4r 2026";  // 8 characters
  const int before = test::gdi_object_count();
  for (int i = 0; i < 20; ++i) pic.text(10, 10, label, kGreen);
  EXPECT_LE(test::gdi_object_count(), before);

  int green = 0, teal_in_box = 0, white = 0, right = 0, bottom = 0;
  for (int x = 0; x < 200; ++x) {
    for (int y = 0; y < 60; ++y) {
      const COLORREF c = pic.pixel(x, y);
      if (c == kGreen) {
        ++green;
        right = std::max(right, x);
        bottom = std::max(bottom, y);
        EXPECT_TRUE(x >= 10 && y >= 10) << x << "," << y;
      }
      if (c == RGB(255, 255, 255)) ++white;
      if (c == kTeal && y == 17 && x >= 10 && x < 10 + 8 * HistoryPlot::kCharWidth) ++teal_in_box;
    }
  }
  EXPECT_GT(green, 20);
  EXPECT_EQ(white, 0);        // no box behind the text
  EXPECT_GT(teal_in_box, 0);  // the line shows between the letters
  EXPECT_LT(right, 10 + 8 * HistoryPlot::kCharWidth);
  EXPECT_LT(bottom, 10 + HistoryPlot::kTextHeight);
}

TEST(GdiSurface, AHistoryPlotDrawsAgainAndAgainWithoutGdiObjectsLeft) {
  unique_hwnd parent(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 700, 300, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
  GdiSurface pic(parent.get(), GetModuleHandleW(nullptr), 0);
  pic.move(0, 0, 600, 250);
  const int64_t to = 1'800'000'000, from = to - 86400;
  std::vector<HistorySample> samples;
  for (int64_t t = from; t < to; t += 60) samples.push_back({t, static_cast<int32_t>(t / 60 % 50), 60});
  HistoryPlot plot;
  plot.set_data(samples, from, to, 120, 60);
  plot.draw(pic);
  const int before = test::gdi_object_count();
  for (int i = 0; i < 10; ++i) plot.draw(pic);
  EXPECT_LE(test::gdi_object_count(), before);
  const auto& area = plot.area();
  int green = 0;
  for (int y = area.top; y < area.top + area.height; ++y) green += pic.pixel(area.left + 300, y) == kGreen;
  EXPECT_GT(green, 0);
}

TEST_F(GraphWindowTest, OpensAsABlackToolWindowWithTheStationsToChooseFrom) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr));
  ASSERT_TRUE(g.open());
  if (test::dpi_awareness() >= 0) {
    EXPECT_EQ(test::dpi_awareness(g.hwnd()), 1) << "laid out at the system's scale";
  }
  EXPECT_EQ(test::window_text(g.hwnd()), L"Statistik");
  LONG style = GetWindowLongW(g.hwnd(), GWL_STYLE), ex = GetWindowLongW(g.hwnd(), GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(GetWindow(g.hwnd(), GW_OWNER), nullptr);
  ASSERT_EQ(SendMessageW(g.combo(), CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(combo_entry(g.combo(), 0), L"Bitte eine Station ausw\u00E4hlen:");
  EXPECT_EQ(combo_entry(g.combo(), 3), L"leer");
  EXPECT_EQ(SendMessageW(g.combo(), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(test::window_text(g.label_min()), L"0");
  EXPECT_EQ(test::window_text(g.label_max()), L"0");
  // Empty graph: black with the teal grid, no data.
  GdiSurface* pic = g.surface();
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->pixel(grid_x(pic, 3), 5), kTeal);
  EXPECT_EQ(pic->pixel(pic->inner_width() / 40, pic->inner_height() / 20), RGB(0, 0, 0));
  g.close();
  EXPECT_FALSE(g.is_open());
}

TEST_F(GraphWindowTest, ChoosingAStationShowsItsExtremesAndDrawsItsSamples) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr));
  ASSERT_TRUE(g.open());
  choose(g, 1);
  // The choice is handled at once, its fill goes on on the window's timer.
  EXPECT_EQ(test::window_text(g.label_max()), L"14");
  EXPECT_EQ(g.view().graph_data().size(), 1u);
  ASSERT_TRUE(g.view().filling());
  run_fill_to_end(g);
  EXPECT_FALSE(g.view().filling());
  EXPECT_EQ(test::window_text(g.label_min()), L"3");
  EXPECT_EQ(test::window_text(g.label_max()), L"14");
  EXPECT_EQ(g.view().graph_data().size(), 12u);
  GdiSurface* pic = g.surface();
  int green = 0;
  for (int x = 0; x < pic->inner_width(); ++x)
    for (int y = 0; y < pic->inner_height(); ++y) green += pic->pixel(x, y) == kGreen ? 1 : 0;
  EXPECT_GT(green, 10);

  choose(g, 3);  // never polled
  EXPECT_FALSE(g.view().filling());
  EXPECT_EQ(test::window_text(g.label_min()), L"999999");
  EXPECT_EQ(test::window_text(g.label_max()), L"0");
  EXPECT_TRUE(g.view().graph_data().empty());
  g.close();
}

TEST_F(GraphWindowTest, ClosingDuringAFillStopsItAndTheWindowOpensAgainEmpty) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr));
  ASSERT_TRUE(g.open());
  PostMessageW(g.hwnd(), WM_CLOSE, 0, 0);  // handled at the fill's first pause
  choose(g, 1);
  run_fill_to_end(g);
  EXPECT_FALSE(g.is_open());
  EXPECT_EQ(g.view().graph_data().size(), 1u);
  EXPECT_EQ(g.surface(), nullptr);

  ASSERT_TRUE(g.open());
  EXPECT_TRUE(g.view().graph_data().empty());
  EXPECT_EQ(test::window_text(g.label_max()), L"0");
  // Another station chosen during a fill takes over from an empty graph.
  PostMessageW(g.combo(), CB_SETCURSEL, 2, 0);
  PostMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(100, CBN_SELCHANGE), reinterpret_cast<LPARAM>(g.combo()));
  choose(g, 1);
  run_fill_to_end(g);
  EXPECT_EQ(g.view().graph_data(), std::vector<double>(12, 60));
  EXPECT_EQ(test::window_text(g.label_max()), L"60");
  g.close();
}

TEST_F(GraphWindowTest, ResizingKeepsTheMinimumSizeAndFitsTheGraph) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr));
  ASSERT_TRUE(g.open());
  SetWindowPos(g.hwnd(), nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER);
  test::pump_messages();
  SIZE s = outer_size(g.hwnd());
  EXPECT_EQ(s.cx, 5550 / 15);
  EXPECT_EQ(s.cy, 3100 / 15);

  SetWindowPos(g.hwnd(), nullptr, 0, 0, 800, 400, SWP_NOMOVE | SWP_NOZORDER);
  test::pump_messages();
  RECT pr{};
  GetWindowRect(g.surface()->hwnd(), &pr);
  EXPECT_EQ(pr.right - pr.left, 800 - 500 / 15);
  EXPECT_EQ(pr.bottom - pr.top, 400 - 1320 / 15 - 700 / 15);
  EXPECT_EQ(g.surface()->inner_width(), pr.right - pr.left - 2);
  EXPECT_EQ(g.surface()->pixel(grid_x(g.surface(), 7), 3), kTeal);  // redrawn in the new size
  g.close();
}

TEST_F(GraphWindowTest, OpeningAndClosingLeavesNoGdiObjectsBehind) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr));
  ASSERT_TRUE(g.open());
  choose(g, 2);
  run_fill_to_end(g);
  g.close();
  test::pump_messages();
  const int before = test::gdi_object_count();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(g.open());
    choose(g, 2);
    run_fill_to_end(g);
    SetWindowPos(g.hwnd(), nullptr, 0, 0, 700 + i * 10, 300, SWP_NOMOVE | SWP_NOZORDER);
    g.close();
    test::pump_messages();
  }
  EXPECT_LE(test::gdi_object_count(), before);
}

}  // namespace
}  // namespace kn
