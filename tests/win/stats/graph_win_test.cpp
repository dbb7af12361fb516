#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/history_log.h"
#include "filesafe/filesafe.h"
#include "platform/history_store_win.h"
#include "stats/frm_graph.h"
#include "stats/gdi_surface_win.h"
#include "stats/history_plot.h"
#include "stats/win_stats_util.h"
#include "win/ansi_win.h"
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

// A history file of two runs of the program for "nachtradio": ten polls a minute
// apart, twenty minutes off, then ten more up to a minute before `now`.
class HistoryWindowTest : public GraphWindowTest {
 protected:
  HistoryWindowTest() {
    folder = test::make_temp_folder("history");
    store.set_program_folder(folder);
    HistoryLog log(store);
    for (int i = 0; i < 20; ++i) {
      const int64_t minutes_ago = i < 10 ? 50 - i : 20 - (i - 10) * 2;
      const int64_t local = now.local - minutes_ago * 60;
      const std::optional<int32_t> count = i == 15 ? std::nullopt : std::optional<int32_t>(10 + i);
      log.add({{local, now.offset_minutes, "nachtradio", count, "Nena", "Lied " + std::to_string(i / 4)},
               {local, now.offset_minutes, "frueh", 5}});
    }
    disk.kept = [this] { return kept; };
    disk.samples = [this](const std::string& station, int64_t from, int64_t to) {
      return store.read_range(station, from, to);
    };
    disk.now = [this] { return now; };
    disk.update_interval = [] { return 1; };
    disk.program_start_utc = now.utc() - 15 * 60;
  }
  void choose_range(FrmGraph& g, HistoryRange range) {
    SendMessageW(g.range_combo(), CB_SETCURSEL, static_cast<WPARAM>(range), 0);
    SendMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(101, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(g.range_combo()));
  }
  bool column_has(const FrmGraph& g, int x, COLORREF colour) {
    for (int y = 0; y < g.surface()->inner_height(); ++y)
      if (g.surface()->pixel(x, y) == colour) return true;
    return false;
  }

  std::string folder;
  HistoryStore store;
  LocalMoment now{civil_seconds(2026, 12, 9, 12, 0, 0), 60};
  bool kept = true;
  GraphHistory disk;
};

TEST_F(HistoryWindowTest, WithoutAHistoryTheWindowIsAsBefore) {
  kept = false;
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr), disk);
  ASSERT_TRUE(g.open());
  EXPECT_EQ(g.range_combo(), nullptr);
  EXPECT_EQ(g.export_button(), nullptr);
  RECT pr{};
  GetWindowRect(g.surface()->hwnd(), &pr);
  POINT top_left{pr.left, pr.top};
  ScreenToClient(g.hwnd(), &top_left);
  EXPECT_EQ(top_left.y, 1320 / 15);
  g.close();
}

TEST_F(HistoryWindowTest, TheLastHourShowsBothRunsWithAGapAndTheirFigures) {
  std::ofstream(folder + "\\hoerer_verlauf\\nachtradio_2026-12.csv", std::ios::binary | std::ios::app)
      << "von Hand bearbeitet\r\n";
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr), disk);
  ASSERT_TRUE(g.open());
  ASSERT_NE(g.range_combo(), nullptr);
  ASSERT_EQ(SendMessageW(g.range_combo(), CB_GETCOUNT, 0, 0), 6);
  EXPECT_EQ(combo_entry(g.range_combo(), 0), L"seit Programmstart");
  EXPECT_EQ(combo_entry(g.range_combo(), 5), L"letztes Jahr");
  EXPECT_EQ(test::window_text(g.export_button()), L"Exportieren \u2026");
  // The picture moved down by the new row of labels, and kept its size.
  RECT pr{};
  GetWindowRect(g.surface()->hwnd(), &pr);
  POINT top_left{pr.left, pr.top};
  ScreenToClient(g.hwnd(), &top_left);
  EXPECT_EQ(top_left.y, (1320 + 240) / 15);
  RECT client{};
  GetClientRect(g.hwnd(), &client);
  EXPECT_EQ(client.bottom - top_left.y, (3105 - 1320) / 15);

  choose(g, 1);
  run_fill_to_end(g);  // "seit Programmstart": the samples in memory, as before
  EXPECT_EQ(test::window_text(g.label_min()), L"3");
  EXPECT_EQ(test::window_text(g.label_max()), L"14");
  choose_range(g, HistoryRange::kHour);
  EXPECT_FALSE(g.view().filling());
  // Both runs' answered samples: 10..19 and 20..29 without the missed one (25).
  EXPECT_EQ(test::window_text(g.label_min()), L"10");
  EXPECT_EQ(test::window_text(g.label_max()), L"29");
  EXPECT_EQ(test::window_text(g.label_mean()), L"19,2");
  EXPECT_EQ(test::window_text(g.label_unreadable()), L"1 unlesbare Zeile \u00FCbersprungen");
  EXPECT_TRUE(IsWindowVisible(g.label_mean()));

  // A line over each run, nothing between them.
  const HistoryPlot::Area& a = g.plot().area();
  const auto x_of = [&](int minutes_ago) { return a.left + (60 - minutes_ago) * a.width / 60; };
  EXPECT_TRUE(column_has(g, x_of(45), kGreen));
  EXPECT_FALSE(column_has(g, x_of(30), kGreen));
  EXPECT_TRUE(column_has(g, x_of(4), kGreen));
  int gaps = 0;
  for (const HistoryColumn& c : g.plot().columns()) gaps += c.gap_before ? 1 : 0;
  EXPECT_GE(gaps, 2);  // the program's pause and the missed answer

  // The pointer over a sample names its time and count.
  bool found = false;
  for (int x = a.left; x < a.left + a.width && !found; ++x) {
    SendMessageW(g.surface()->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(x, a.top + a.height / 2));
    found = g.tip_text().find(L"09.12.2026 11:10") != std::wstring::npos;
  }
  EXPECT_TRUE(found);
  EXPECT_NE(g.tip_text().find(L"10 H\u00F6rer \u2013 Nena \u2013 Lied 0"), std::wstring::npos)
      << wide_to_utf8(g.tip_text());
  SendMessageW(g.surface()->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(x_of(30), a.top + 2));
  EXPECT_EQ(g.tip_text(), L"");

  // Back to the view in memory.
  choose_range(g, HistoryRange::kSinceStart);
  run_fill_to_end(g);
  EXPECT_EQ(test::window_text(g.label_max()), L"14");
  EXPECT_EQ(test::window_text(g.label_mean()), L"");
  EXPECT_FALSE(IsWindowVisible(g.label_mean()));  // "seit Programmstart" has no mean
  g.close();
}

TEST_F(HistoryWindowTest, ExportWritesTheRangesRowsUnderTheSuggestedName) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr), disk);
  std::wstring suggested;
  const std::string target = folder + "\\export.csv";
  g.set_save_prompt([&](HWND, const std::wstring& name) -> std::optional<std::wstring> {
    suggested = name;
    return std::wstring(target.begin(), target.end());
  });
  ASSERT_TRUE(g.open());
  choose(g, 1);
  choose_range(g, HistoryRange::kDay);
  SendMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(102, BN_CLICKED),
               reinterpret_cast<LPARAM>(g.export_button()));
  EXPECT_EQ(suggested, L"hoerer_nachtradio_2026-12-09_2026-12-09.csv");
  const std::string bytes = test::read_file(target);
  const std::vector<HistoryRow> rows = read_history(bytes);
  EXPECT_EQ(bytes.rfind(history_header(), 0), 0u);
  ASSERT_EQ(rows.size(), 20u);  // the other station's rows stay out
  EXPECT_EQ(rows[0], (HistoryRow{now.local - 50 * 60, 60, "nachtradio", 10, "Nena", "Lied 0"}));  // with its song
  EXPECT_EQ(rows[15].count, std::nullopt);
  // "seit Programmstart": only what came since the program started.
  choose_range(g, HistoryRange::kSinceStart);
  SendMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(102, BN_CLICKED),
               reinterpret_cast<LPARAM>(g.export_button()));
  EXPECT_EQ(read_history(test::read_file(target)).size(), 7u);
  g.close();
}

// The text of a cell of a list that asks its owner for it.
std::wstring cell(HWND list, int row, int column) {
  wchar_t text[256] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

TEST_F(HistoryWindowTest, TheTitlesOfARangeListItsPlaysAndAHeaderSortsThem) {
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr), disk);
  ASSERT_TRUE(g.open());
  ASSERT_NE(g.titles_button(), nullptr);
  EXPECT_EQ(test::window_text(g.titles_button()), L"Titel \u2026");
  EXPECT_FALSE(IsWindowEnabled(g.titles_button()));  // "seit Programmstart" has no songs
  choose(g, 1);
  choose_range(g, HistoryRange::kHour);
  ASSERT_TRUE(IsWindowEnabled(g.titles_button()));
  SendMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(103, BN_CLICKED), reinterpret_cast<LPARAM>(g.titles_button()));
  ASSERT_TRUE(g.plays_window().is_open());
  HWND list = g.plays_window().list();
  const auto expected = plays_of(store.read_range("nachtradio", now.utc() - 3600, now.utc() + 1));
  ASSERT_GE(expected.size(), 4u);
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), static_cast<LRESULT>(expected.size()));
  EXPECT_EQ(cell(list, 0, 0), L"09.12.2026 11:10");
  EXPECT_EQ(cell(list, 0, 1), L"Nena");
  EXPECT_EQ(cell(list, 0, 2), L"Lied 0");
  EXPECT_EQ(cell(list, 0, 3), L"10");
  EXPECT_EQ(cell(list, 0, 5), L"+3");  // 10 to 13 over the play's four polls

  // A click on "Hörer zu Beginn": ascending, then descending.
  const auto click = [&](int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(g.plays_window().hwnd(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
  };
  const int last = static_cast<int>(expected.size()) - 1;
  click(5);
  click(3);
  EXPECT_LE(std::stoi(cell(list, 0, 3)), std::stoi(cell(list, last, 3)));
  EXPECT_TRUE(std::is_sorted(g.plays_window().plays().begin(), g.plays_window().plays().end(),
                             [](const Play& a, const Play& b) { return a.count_at_begin < b.count_at_begin; }));
  click(3);
  EXPECT_GT(std::stoi(cell(list, 0, 3)), std::stoi(cell(list, last, 3)));
  g.close();
  EXPECT_FALSE(g.plays_window().is_open());
}

TEST_F(HistoryWindowTest, AnOpenRangeFollowsAHeardPollWithoutReadingTheFiles) {
  int reads = 0;
  GraphHistory counted = disk;
  counted.samples = [this, &reads](const std::string& station, int64_t from, int64_t to) {
    ++reads;
    return store.read_range(station, from, to);
  };
  FrmGraph g(app.station_list, app.history, GetModuleHandleW(nullptr), counted);
  ASSERT_TRUE(g.open());
  choose(g, 1);
  choose_range(g, HistoryRange::kDay);
  SendMessageW(g.hwnd(), WM_COMMAND, MAKEWPARAM(103, BN_CLICKED), reinterpret_cast<LPARAM>(g.titles_button()));
  const LRESULT plays = SendMessageW(g.plays_window().list(), LVM_GETITEMCOUNT, 0, 0);
  const int before = reads;
  now.local += 60;
  g.poll_heard({{now.local, now.offset_minutes, "nachtradio", 99, "Kraftwerk", "Das Model"},
                {now.local, now.offset_minutes, "frueh", 1000}});
  EXPECT_EQ(reads, before);
  EXPECT_EQ(test::window_text(g.label_max()), L"99");
  EXPECT_EQ(SendMessageW(g.plays_window().list(), LVM_GETITEMCOUNT, 0, 0), plays + 1);
  g.close();
}

TEST_F(HistoryWindowTest, AHeldFileMakesRowsWaitAndAMissingFolderFailsOnce) {
  const std::string path = folder + "\\hoerer_verlauf\\nachtradio_2026-12.csv";
  HistoryLog log(store);
  {
    // As a spreadsheet holds it: reading shared, writing not.
    unique_file held(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(log.add({{now.local, 60, "nachtradio", 1}}));
    EXPECT_EQ(log.waiting().size(), 1u);
    EXPECT_FALSE(log.failing());
    // We never keep others from reading, even while we write.
    EXPECT_EQ(store.read_range("nachtradio", 0, now.utc() + 1).samples.size(), 20u);
  }
  EXPECT_FALSE(log.add({{now.local + 60, 60, "nachtradio", 2}}));
  EXPECT_TRUE(log.waiting().empty());
  EXPECT_EQ(store.read_range("nachtradio", 0, now.utc() + 120).samples.size(), 22u);

  // A folder that is not there (as one gone read-only or a full disk): told once.
  HistoryStore gone;
  const std::string sub = folder + "\\sub";
  gone.set_program_folder(sub);
  HistoryLog failing(gone);
  EXPECT_TRUE(failing.add({{now.local + 120, 60, "nachtradio", 3}}));
  EXPECT_FALSE(failing.add({{now.local + 180, 60, "nachtradio", 4}}));
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
  EXPECT_FALSE(failing.add({{now.local + 240, 60, "nachtradio", 5}}));
  EXPECT_FALSE(failing.failing());
  EXPECT_EQ(gone.read_range("nachtradio", 0, now.utc() + 300).samples.size(), 3u);
}

// An earlier version's single file, as it wrote it: four fields.
constexpr const char* kEarlierFile =
    "Zeit;UTC-Versatz;Station;H\xF6rer\r\n"
    "2025-01-15 10:00:00;+01:00;nachtradio;3\r\n"
    "2026-11-30 23:59:00;+01:00;nachtradio;7\r\n"
    "2026-11-30 23:59:00;+01:00;frueh;\r\n";

TEST_F(HistoryWindowTest, UpkeepCarriesAnEarlierFileOverAndDropsTheMonthsLongEnded) {
  const std::string earlier = folder + "\\hoerer_verlauf.csv";
  std::ofstream(earlier, std::ios::binary) << kEarlierFile;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  store.maintain(now.local, 400, [done] { SetEvent(done); });
  ASSERT_EQ(WaitForSingleObject(done, 60000), WAIT_OBJECT_0);
  store.join();
  CloseHandle(done);
  EXPECT_FALSE(store.busy());
  EXPECT_FALSE(test::exists(earlier));
  const std::string months = folder + "\\hoerer_verlauf\\";
  // January 2025 ended more than 400 days ago: carried over, then deleted whole.
  EXPECT_FALSE(test::exists(months + "nachtradio_2025-01.csv"));
  EXPECT_EQ(read_history(test::read_file(months + "nachtradio_2026-11.csv")).size(), 1u);
  EXPECT_EQ(read_history(test::read_file(months + "frueh_2026-11.csv")).size(), 1u);
  EXPECT_EQ(read_history(test::read_file(months + "nachtradio_2026-12.csv")).size(), 20u);
  // A range across the month's edge finds both months.
  EXPECT_EQ(store.read_range("nachtradio", civil_seconds(2026, 11, 30, 0, 0, 0), now.utc() + 1).samples.size(),
            21u);
}

TEST_F(HistoryWindowTest, ACarryOverThatFailsAtAnyStepLosesNoRowAndTheNextOneEndsIt) {
  const std::string earlier = folder + "\\hoerer_verlauf.csv";
  const std::string november = folder + "\\hoerer_verlauf\\nachtradio_2026-11.csv";
  for (const filesafe::FileStep step :
       {filesafe::FileStep::kCreateTemp, filesafe::FileStep::kWrite, filesafe::FileStep::kSetOwner,
        filesafe::FileStep::kFlush, filesafe::FileStep::kRename}) {
    std::ofstream(earlier, std::ios::binary) << kEarlierFile;
    filesafe::set_fault_hook([step](filesafe::FileStep now) { return now == step ? ERROR_DISK_FULL : 0; });
    store.maintain(now.local, 400, {});
    store.join();
    filesafe::set_fault_hook({});
    // Either the earlier file is still there, or every month it fed is whole.
    if (!test::exists(earlier)) {
      EXPECT_EQ(read_history(test::read_file(november)).size(), 1u) << "step " << static_cast<int>(step);
    }
    store.maintain(now.local, 400, {});
    store.join();
    EXPECT_FALSE(test::exists(earlier)) << "step " << static_cast<int>(step);
    // Carried over again and again: each row once.
    EXPECT_EQ(read_history(test::read_file(november)).size(), 1u) << "step " << static_cast<int>(step);
  }
}

}  // namespace
}  // namespace kn
