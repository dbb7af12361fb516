// Weeks on a desktop in a few minutes: many layouts and polls in one process must
// leave GDI objects and private memory where they were.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/poll_wait.h"
#include "common/win_test_util.h"
#include "app/program.h"
#include "core/poll.h"
#include "overlay/text_renderer_win.h"

namespace {

constexpr int kLayouts = 10000;
constexpr int kPolls = 2000;
constexpr int kGdiTolerance = 3;
constexpr size_t kMemoryTolerance = 1024 * 1024;

struct Reading {
  int gdi;
  size_t memory;
};

Reading read_now() { return {kn::test::gdi_object_count(), kn::test::private_bytes()}; }

long long kib(size_t bytes) { return static_cast<long long>(bytes / 1024); }

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(kn::test::sim_base_url().empty()) << "simulator not running";
    ASSERT_TRUE(frm_.startup(GetModuleHandleA(nullptr)));
    kn::AppState& app = frm_.app();
    // A folder of its own for downloads and title files.
    app.program_folder = kn::test::make_temp_folder("soak");
    app.settings.api_base_url = kn::test::sim_base_url();
    app.settings.write_title2file = true;
    app.settings.stations = "soakeins;soakzwei";
    kn::build_station_list(app.settings.stations, app.station_list);
  }

  kn::Program frm_;
};

// Under Wine every move or resize of a window keeps about 100 bytes (measured with
// bare windows, whoever moves them). The same updates on a bare layered window
// measure that cost here, so the program is held only to what it adds on top.
size_t platform_growth_per_update() {
  HWND w = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1,
                           nullptr, nullptr, nullptr, nullptr);
  HDC screen = GetDC(nullptr);
  const size_t before = kn::test::private_bytes();
  for (int i = 0; i < kLayouts; ++i) {
    const int width = 120 + (i % 5) * 40, height = 30 + (i % 3) * 30;
    kn::Frame frame(screen, width, height);
    POINT dst{1000 - width, 700 - height}, src{0, 0};
    SIZE size{width, height};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(w, screen, &dst, &size, frame.dc(), &src, 0, &blend, ULW_ALPHA);
    SetWindowPos(w, HWND_TOPMOST, dst.x, dst.y, width, height, SWP_NOACTIVATE);
  }
  const size_t after = kn::test::private_bytes();
  ReleaseDC(nullptr, screen);
  DestroyWindow(w);
  return after > before ? (after - before) / kLayouts : 0;
}

TEST_F(Soak, LayoutsAndPollsKeepGdiObjectsAndMemoryFlat) {
  const size_t platform_per_update = platform_growth_per_update();
  std::string text;
  for (int i = 0; i < 50; ++i) {
    text = "WARM : " + std::to_string(i);
    frm_.set_Print_Text(text);
  }
  const Reading layouts_start = read_now();
  const DWORD started = GetTickCount();
  for (int i = 0; i < kLayouts; ++i) {
    // Changing widths, line counts and layouts, now and then nothing at all.
    switch (i % 5) {
      case 0: text = "SOAKEINS : " + std::to_string(i) + "\r\nSOAKZWEI: 0042"; break;
      case 1: text = "SOAKEINS : " + std::to_string(i * 37) + " -- SOAKZWEI: " + std::to_string(i); break;
      case 2: text.clear(); break;
      case 3: text = "SCHOENE LIEDER : " + std::to_string(i % 100) + "\r\nB: 1\r\nC: 2"; break;
      default: text = std::string(static_cast<size_t>(i % 60) + 1, 'W'); break;
    }
    frm_.set_Print_Text(text);
  }
  const Reading layouts_end = read_now();
  const DWORD layouts_ms = GetTickCount() - started;

  Reading capped{};
  for (int i = 1; i <= kPolls; ++i) {
    frm_.check_stations();
    kn::test::run_poll_to_end(frm_);
    // The history holds its newest 1,000 samples per station from here on.
    if (i == 1000) capped = read_now();
  }
  const Reading polls_end = read_now();
  const DWORD polls_ms = GetTickCount() - started - layouts_ms;

  const kn::AppState& app = frm_.app();
  ASSERT_EQ(app.station_list.size(), 2u);
  EXPECT_GT(app.station_list[0].current_hoerer, 0);  // the polls really reached the simulator
  EXPECT_FALSE(kn::test::exists(app.program_folder + "\\file_from_web.txt"));

  ASSERT_GT(layouts_start.gdi, 0);
  ASSERT_GT(layouts_start.memory, 0u);
  EXPECT_LE(layouts_end.gdi - layouts_start.gdi, kGdiTolerance);
  EXPECT_LE(polls_end.gdi - capped.gdi, kGdiTolerance);
  // A layout moves or resizes the window at most twice (an empty text first
  // pushes one transparent pixel, then shrinks the window); a third is margin.
  const size_t per_layout = 3 * platform_per_update;
  EXPECT_LE(layouts_end.memory, layouts_start.memory + per_layout * kLayouts + kMemoryTolerance);
  EXPECT_LE(polls_end.memory, capped.memory + per_layout * (kPolls - 1000) + kMemoryTolerance);

  // One line for the README's figures (scripts/reliability.sh collects it).
  char line[512];
  std::snprintf(line, sizeof line, "SOAK layouts=%d (%lu ms) polls=%d (%lu ms) gdi_layouts=%d->%d gdi_polls=%d->%d private_kib_layouts=%lld->%lld "
              "private_kib_polls=%lld->%lld platform_bytes_per_update=%lu\n",
              kLayouts, static_cast<unsigned long>(layouts_ms), kPolls, static_cast<unsigned long>(polls_ms),
              layouts_start.gdi, layouts_end.gdi, capped.gdi, polls_end.gdi,
              kib(layouts_start.memory), kib(layouts_end.memory), kib(capped.memory), kib(polls_end.memory),
              static_cast<unsigned long>(platform_per_update));
  std::fputs(line, stdout);
  std::ofstream(kn::test::wine_path(KN_SOAK_FIGURES), std::ios::binary) << line;
}

}  // namespace
