#include "overlay/frm_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/win_test_util.h"
#include "overlay/layout.h"
#include "overlay_test_util.h"

namespace kn {
namespace {

using test::close_to;
using test::premul;
using test::Snapshot;

constexpr int32_t kTaskbarHeight = 40;

class FrmTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
    frm_ = std::make_unique<FrmText>(app_);
    frm_->set_frame_observer([this](const Frame& f) {
      last_ = Snapshot::of(f);
      ++frames_;
    });
    ASSERT_TRUE(frm_->create(owner_, kTaskbarHeight));
    frm_->show();
    HDC screen = GetDC(nullptr);
    tpp_x_ = 1440.0 / GetDeviceCaps(screen, LOGPIXELSX);
    tpp_y_ = 1440.0 / GetDeviceCaps(screen, LOGPIXELSY);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  void TearDown() override {
    frm_.reset();
    if (owner_) DestroyWindow(owner_);
  }
  Snapshot print(std::string text) {
    frm_->set_Print_Text(text);
    return last_;
  }
  RECT rect() const {
    RECT r{};
    GetWindowRect(frm_->hwnd(), &r);
    return r;
  }
  int screen_w() const { return GetSystemMetrics(SM_CXSCREEN); }
  int screen_h() const { return GetSystemMetrics(SM_CYSCREEN); }
  // What the user sees of the overlay: its place and size, its text, its picture.
  struct Shown {
    RECT rect{};
    std::wstring text;
    Snapshot picture;
  };
  Shown shown() const { return Shown{rect(), test::window_text(frm_->hwnd()), last_}; }
  static void expect_unchanged(const Shown& before, const Shown& after) {
    EXPECT_EQ(after.rect.left, before.rect.left);
    EXPECT_EQ(after.rect.top, before.rect.top);
    EXPECT_EQ(after.rect.right, before.rect.right);
    EXPECT_EQ(after.rect.bottom, before.rect.bottom);
    EXPECT_EQ(after.text, before.text);
    ASSERT_EQ(after.picture.width, before.picture.width);
    ASSERT_EQ(after.picture.height, before.picture.height);
    int differing = 0;
    for (size_t i = 0; i < before.picture.px.size(); ++i)
      differing += after.picture.px[i] != before.picture.px[i] ? 1 : 0;
    EXPECT_EQ(differing, 0) << "pixels that changed";
    // The text stands where it stood, not moved by the text size.
    EXPECT_EQ(after.picture.rightmost(1), before.picture.rightmost(1));
  }
  // Handles what was posted to this thread's windows, as the program's loop would.
  static void dispatch_posted() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  // Windows posts this to every top-level window when a resolution or the set of
  // monitors changes.
  void post_display_change() const {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(PostMessageW(frm_->hwnd(), WM_DISPLAYCHANGE, static_cast<WPARAM>(bits),
                             MAKELPARAM(screen_w(), screen_h())));
    dispatch_posted();
  }

  AppState app_;
  HWND owner_ = nullptr;
  std::unique_ptr<FrmText> frm_;
  Snapshot last_;
  int frames_ = 0;
  double tpp_x_ = 15, tpp_y_ = 15;
  int dpi_ = 96;
  // The letters' em size in pixels at this screen's scale.
  int em() const { return static_cast<int>(em_px(app_.settings.text_size, dpi_) + 0.5f); }
};

// The default fill (red 235, green 134, blue 32) at alpha 225, premultiplied.
bool is_default_fill(uint32_t p) {
  return Snapshot::alpha(p) >= 225 && close_to(Snapshot::red(p), premul(235, 225)) &&
         close_to(Snapshot::green(p), premul(134, 225)) && close_to(Snapshot::blue(p), premul(32, 225));
}

TEST_F(FrmTextTest, StartsEmptyTransparentAndLayered) {
  EXPECT_EQ(frm_->get_text(), "");
  EXPECT_EQ(frames_, 1);
  EXPECT_EQ(last_.count_if_alpha(1, 255), 0);
  const LONG ex = GetWindowLongA(frm_->hwnd(), GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_FALSE(ex & WS_EX_TRANSPARENT);
  EXPECT_FALSE(ex & WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindow(frm_->hwnd(), GW_OWNER), owner_);
  EXPECT_TRUE(IsWindowVisible(frm_->hwnd()));
  EXPECT_FALSE(GetWindowLongA(frm_->hwnd(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));
  if (test::dpi_awareness() >= 0) {
    EXPECT_EQ(test::dpi_awareness(frm_->hwnd()), 2) << "drawn at the scale of its monitor";
  }
}

TEST_F(FrmTextTest, DefaultStyleDrawsFillOutlineAndOffsetShadowOnTransparency) {
  const Snapshot s = print("ABC : 0005");
  ASSERT_GT(s.width, 0);
  ASSERT_GT(s.height, 0);
  int fill = 0, outline = 0, letters = 0, shadow_only = 0;
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      const uint32_t p = s.at(x, y);
      const int a = Snapshot::alpha(p);
      if (a == 0) {
        EXPECT_EQ(p, 0u) << "transparent pixel with colour at " << x << "," << y;
      } else if (a >= 225) {
        ++letters;
        fill += is_default_fill(p) ? 1 : 0;
        // The black outline: darker than the fill in every channel.
        outline += (Snapshot::red(p) <= 2 && Snapshot::green(p) <= 2 && Snapshot::blue(p) <= 2) ? 1 : 0;
      } else {
        ++shadow_only;
        EXPECT_GE(a, 50) << x << "," << y;
        EXPECT_LE(a, 90) << x << "," << y;
        // Shadow shows only where the letters, 2 pixels up and left, are.
        EXPECT_GE(s.alpha_at(x - 2, y - 2), 225) << "stray shadow at " << x << "," << y;
      }
    }
  }
  EXPECT_GT(fill, 20);
  EXPECT_GT(outline, 20);
  EXPECT_GT(shadow_only, 10);
  EXPECT_GT(s.count_if_alpha(0, 0), letters);  // mostly transparent
  // Every letter pixel casts its shadow 2 pixels right and down.
  for (int32_t y = 0; y + 2 < s.height; ++y) {
    for (int32_t x = 0; x + 2 < s.width; ++x) {
      if (s.alpha_at(x, y) >= 225) {
        EXPECT_GT(s.alpha_at(x + 2, y + 2), 0) << x << "," << y;
      }
    }
  }
}

TEST_F(FrmTextTest, OutlineColourOnlyWhenOutlineIsOn) {
  app_.settings.outline_colour = "16711680";  // blue
  app_.settings.shadow_on = false;
  auto blue_outline = [](const Snapshot& s) {
    int n = 0;
    for (uint32_t p : s.px)
      n += (Snapshot::alpha(p) == 225 && Snapshot::red(p) <= 1 && Snapshot::green(p) <= 1 &&
            close_to(Snapshot::blue(p), 225))
               ? 1
               : 0;
    return n;
  };
  const Snapshot with = print("ABC : 0005");
  EXPECT_GT(blue_outline(with), 20);
  app_.settings.outline_on = false;
  const Snapshot without = print("ABC : 0005");
  EXPECT_EQ(blue_outline(without), 0);
  // The outline widens the letters by about one pixel on each side.
  EXPECT_GT(with.count_if_alpha(1, 255), without.count_if_alpha(1, 255));
}

TEST_F(FrmTextTest, WithoutOutlineAndShadowOnlyFilledLetters) {
  app_.settings.outline_on = false;
  app_.settings.shadow_on = false;
  const Snapshot s = print("ABC : 0005");
  int drawn = 0;
  for (uint32_t p : s.px) {
    if (p == 0) continue;
    ++drawn;
    EXPECT_EQ(Snapshot::alpha(p), 225);
    EXPECT_TRUE(is_default_fill(p)) << std::hex << p;
  }
  EXPECT_GT(drawn, 50);
}

TEST_F(FrmTextTest, ShadowWithoutOutlineIsThePlainLettersAtAlpha50) {
  app_.settings.outline_on = false;
  app_.settings.shadow_on = false;
  const Snapshot plain = print("ABC : 0005");
  app_.settings.shadow_on = true;
  const Snapshot s = print("ABC : 0005");
  ASSERT_EQ(plain.width, s.width);
  ASSERT_EQ(plain.height, s.height);
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      const bool letter = plain.alpha_at(x, y) > 0;
      const bool shadow = plain.alpha_at(x - 2, y - 2) > 0;
      const int a = s.alpha_at(x, y);
      if (letter) {
        EXPECT_GE(a, 225);
      } else if (shadow) {
        EXPECT_EQ(a, 50) << x << "," << y;
      } else {
        EXPECT_EQ(a, 0) << x << "," << y;
      }
    }
  }
}

TEST_F(FrmTextTest, OpacityZeroLeavesOnlyTheShadow) {
  app_.settings.opacity = 0;
  const Snapshot s = print("ABC : 0005");
  int stroke_or_fill = 0, both = 0;
  for (uint32_t p : s.px) {
    const int a = Snapshot::alpha(p);
    if (a == 0) continue;
    // Alpha 50 where the shadow is stroked or filled, about 90 where both overlap.
    if (a == 50) {
      ++stroke_or_fill;
    } else {
      EXPECT_TRUE(close_to(a, 90)) << a;
      ++both;
    }
  }
  EXPECT_GT(stroke_or_fill, 50);
  EXPECT_GT(both, 10);
}

TEST_F(FrmTextTest, UmlautsAreRestoredAndHandedBack) {
  std::string text = "SCHOENE LIEDER : 0005";
  frm_->set_Print_Text(text);
  EXPECT_EQ(text, "SCH\xC3\x96NE LIEDER : 0005");
  EXPECT_EQ(frm_->get_text(), text);
  wchar_t title[64] = {};
  GetWindowTextW(frm_->hwnd(), title, 64);
  EXPECT_EQ(std::wstring(title), L"SCH\u00D6NE LIEDER : 0005");

  std::string lower = "Hoerer: 5";
  frm_->set_Print_Text(lower);
  EXPECT_EQ(lower, "Hoerer: 5");
  frm_->redraw_text();
  EXPECT_EQ(frm_->get_text(), "Hoerer: 5");  // a redraw keeps the text
}

TEST_F(FrmTextTest, AutomaticPlacementIsLowerRightAboveTheTaskbar) {
  const Snapshot s = print("ABC : 0005\r\nDEF: 0012");
  const RECT r = rect();
  EXPECT_EQ(r.right - r.left, frm_->measured_width_px());
  EXPECT_EQ(r.bottom - r.top, draw_height_px(2, 18, tpp_y_));
  EXPECT_EQ(s.width, r.right - r.left);
  EXPECT_EQ(s.height, r.bottom - r.top);
  EXPECT_EQ(r.bottom, screen_h() - kTaskbarHeight);
  // 10 twips short of the right edge: under a pixel.
  EXPECT_EQ(r.right, screen_w() - twips_to_px(10, tpp_x_));
}

TEST_F(FrmTextTest, StoredPositionNeedsBothCoordinates) {
  app_.settings.window_pos_x = 1500;
  app_.settings.window_pos_y = 3000;
  print("ABC : 0005");
  RECT r = rect();
  EXPECT_EQ(r.left, twips_to_px(1500, tpp_x_));
  EXPECT_EQ(r.top, twips_to_px(3000, tpp_y_));

  app_.settings.window_pos_x = 0;
  print("ABC : 0005");
  r = rect();
  EXPECT_EQ(r.bottom, screen_h() - kTaskbarHeight);

  app_.settings.window_pos_x = 1500;
  app_.settings.window_pos_y = 0;
  frm_->redraw_text();
  r = rect();
  EXPECT_EQ(r.bottom, screen_h() - kTaskbarHeight);

  // Where no monitor shows it: back whole at the nearest edge, the stored value kept.
  const int32_t beyond = px_to_twips(screen_w() + 100, tpp_x_);
  app_.settings.window_pos_x = beyond;
  app_.settings.window_pos_y = px_to_twips(50, tpp_y_);
  print("ABC : 0005");
  r = rect();
  EXPECT_EQ(r.right, screen_w());
  EXPECT_GT(r.right - r.left, 0);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(app_.settings.window_pos_x, beyond);
  // Partly off the screen is where the user put it.
  app_.settings.window_pos_x = px_to_twips(screen_w() - 10, tpp_x_);
  print("ABC : 0005");
  EXPECT_EQ(rect().left, screen_w() - 10);
}

TEST_F(FrmTextTest, ALineWiderThanTheScreenShowsItsEnd) {
  const Snapshot short_line = print("ENDE : 0009");
  const int margin = short_line.width - 1 - short_line.rightmost(1);
  std::string text;
  while (text.size() < 300) text += "NACHTRADIO : 0042 -- ";
  const Snapshot wide = print(text + "ENDE : 0009");
  ASSERT_EQ(wide.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));  // the window's cap
  // Cut at its start, not in the middle of a glyph at the right.
  EXPECT_NEAR(wide.width - 1 - wide.rightmost(1), margin, 2);
}

TEST_F(FrmTextTest, RedrawMovesTheTextRightByTheTextSize) {
  app_.settings.shadow_on = false;
  const Snapshot first = print("ABC : 0005");
  const RECT r1 = rect();
  frm_->redraw_text();
  const Snapshot second = last_;
  const RECT r2 = rect();
  EXPECT_EQ(r1.left, r2.left);
  EXPECT_EQ(r1.right, r2.right);
  ASSERT_GE(first.rightmost(1), 0);
  EXPECT_EQ(second.rightmost(1), first.rightmost(1) + em());
}

TEST_F(FrmTextTest, LineCountRules) {
  print("keine Stationen hinterlegt.");
  EXPECT_EQ(rect().bottom - rect().top, draw_height_px(1, 18, tpp_y_));
  EXPECT_GT(last_.count_if_alpha(1, 255), 0);
  frm_->redraw_text();
  EXPECT_EQ(rect().bottom - rect().top, 0);

  const Snapshot s = print("A: 1 -- B: 2 -- C: 3");
  const int line = draw_height_px(1, 18, tpp_y_);
  EXPECT_EQ(rect().bottom - rect().top, draw_height_px(3, 18, tpp_y_));
  EXPECT_GT(s.count_if_alpha(1, 255), 0);
  EXPECT_LT(s.bottommost(1), line + 4);  // the text stands in the top line
}

TEST_F(FrmTextTest, EmptyTextBlanksTheOverlay) {
  print("ABC : 0005");
  EXPECT_GT(rect().bottom - rect().top, 0);
  const Snapshot s = print("");
  EXPECT_EQ(s.width * s.height, 0);
  const RECT r = rect();
  EXPECT_EQ(r.bottom - r.top, 0);
  EXPECT_EQ(frm_->get_text(), "");
}

TEST_F(FrmTextTest, EveryLineIsDrawnRightAligned) {
  app_.settings.shadow_on = false;
  const Snapshot s = print("ERSTE STATION : 0001\r\nB: 0002\r\nC: 0003");
  const int spacing = 22 * dpi_ / 96;  // about one line at 18 pixels em size at 96 dpi
  const int r1 = s.rightmost(1, 0, spacing);
  const int r2 = s.rightmost(1, spacing, 2 * spacing);
  const int r3 = s.rightmost(1, 2 * spacing, 3 * spacing);
  ASSERT_GT(r1, 0);
  ASSERT_GT(r2, 0);
  ASSERT_GT(r3, 0);
  EXPECT_LE(std::abs(r1 - r2), 3);
  EXPECT_LE(std::abs(r2 - r3), 3);
  // Right-aligned in a rectangle one text size narrower than the window.
  const int draw_width = s.width - em();
  EXPECT_LT(r1, draw_width);
  EXPECT_GE(r1, draw_width - 6);
}

TEST_F(FrmTextTest, HandEditedValuesAreLimitedOrFallBack) {
  app_.settings.text_size = 32000;
  app_.settings.opacity = 999;
  app_.settings.fill_colour = "not a colour";
  app_.settings.shadow_on = false;
  app_.settings.outline_on = false;
  const Snapshot s = print("A: 1");
  // At most the screen's height (a larger picture could not be seen).
  EXPECT_EQ(rect().bottom - rect().top,
            std::min(draw_height_px(1, kMaxTextSize, tpp_y_), GetSystemMetrics(SM_CYVIRTUALSCREEN)));
  int drawn = 0;
  for (uint32_t p : s.px) {
    if (p == 0) continue;
    ++drawn;
    EXPECT_TRUE(is_default_fill(p)) << std::hex << p;
  }
  EXPECT_GT(drawn, 1000);
}

TEST_F(FrmTextTest, MovingByTwips) {
  print("ABC : 0005");
  frm_->move_to_twips(1500, 3000);
  const RECT r = rect();
  EXPECT_EQ(r.left, twips_to_px(1500, tpp_x_));
  EXPECT_EQ(r.top, twips_to_px(3000, tpp_y_));
  EXPECT_GT(frm_->measured_width_px(), 0);
  EXPECT_GT(frm_->measured_height_px(), 0);
  // The position dialog counts at a scale of its own: the size goes to it in twips.
  EXPECT_EQ(frm_->measured_width_twips(), px_to_twips(frm_->measured_width_px(), tpp_x_));
  EXPECT_EQ(frm_->measured_height_twips(), px_to_twips(frm_->measured_height_px(), tpp_y_));
}

TEST_F(FrmTextTest, AScaleChangeDrawsAnewWhereTheStoredPlaceIs) {
  // One line without a colon: drawn again as a new text, not as a redraw (which would
  // count no line and blank it).
  app_.settings.window_pos_x = 1500;
  app_.settings.window_pos_y = 3000;
  print("keine Stationen hinterlegt.");
  const RECT before = rect();
  ASSERT_GT(before.bottom - before.top, 0);
  const int frames = frames_;
  RECT suggested{0, 0, 10, 10};
  SendMessageW(frm_->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi_, dpi_), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(frames_, frames + 1);
  const RECT after = rect();
  EXPECT_EQ(after.left, twips_to_px(1500, tpp_x_)) << "not at the rectangle Windows suggests";
  EXPECT_EQ(after.top, twips_to_px(3000, tpp_y_));
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  EXPECT_EQ(last_.height, before.bottom - before.top);

  // Dragged in the position dialog, not yet stored: it stays where it was dragged to.
  frm_->move_to_twips(3000, 1500);
  SendMessageW(frm_->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi_, dpi_), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(frames_, frames + 2);
  EXPECT_EQ(rect().left, twips_to_px(3000, tpp_x_));
  EXPECT_EQ(rect().top, twips_to_px(1500, tpp_y_));
}

TEST_F(FrmTextTest, ADisplayChangeKeepsTheStationsTextInPlace) {
  print("ABC : 0005\r\nDEF: 0012");
  const Shown before = shown();
  ASSERT_GT(before.picture.count_if_alpha(225, 255), 0);
  const int frames = frames_;
  post_display_change();
  EXPECT_EQ(frames_, frames + 1) << "laid out again: the place is checked anew";
  expect_unchanged(before, shown());

  // A change of the work area (the taskbar moved or resized) is one too.
  SendMessageW(frm_->hwnd(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  EXPECT_EQ(frames_, frames + 2);
  expect_unchanged(before, shown());

  // Dragged in the position dialog, not yet stored: it stays where it was dragged to.
  frm_->move_to_twips(3000, 1500);
  const Shown dragged = shown();
  ASSERT_EQ(dragged.rect.left, twips_to_px(3000, tpp_x_));
  post_display_change();
  EXPECT_EQ(frames_, frames + 3);
  expect_unchanged(dragged, shown());
}

TEST_F(FrmTextTest, ADisplayChangeKeepsTheNoStationsLineShown) {
  // One line without a colon, at a stored place and at the automatic one.
  for (const int32_t pos : {1500, 0}) {
    app_.settings.window_pos_x = pos;
    app_.settings.window_pos_y = pos * 2;
    print("keine Stationen hinterlegt.");
    const Shown before = shown();
    ASSERT_EQ(before.rect.bottom - before.rect.top, draw_height_px(1, 18, tpp_y_));
    ASSERT_GT(before.picture.count_if_alpha(225, 255), 0);
    const int frames = frames_;
    post_display_change();
    EXPECT_EQ(frames_, frames + 1);
    expect_unchanged(before, shown());
    SendMessageW(frm_->hwnd(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    EXPECT_EQ(frames_, frames + 2);
    expect_unchanged(before, shown());
  }
}

TEST_F(FrmTextTest, ADisplayChangeAfterADialogsRedrawKeepsThatRedraw) {
  print("ABC : 0005");
  frm_->redraw_text();
  const Shown before = shown();
  ASSERT_GT(before.picture.count_if_alpha(225, 255), 0);
  const int frames = frames_;
  post_display_change();
  EXPECT_EQ(frames_, frames + 1);
  expect_unchanged(before, shown());
  // Other settings changes leave the overlay alone.
  SendMessageW(frm_->hwnd(), WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
  EXPECT_EQ(frames_, frames + 1);
}

TEST_F(FrmTextTest, NoGdiObjectsLeakOverManyLayouts) {
  for (int i = 0; i < 20; ++i) print("WARM: " + std::to_string(i));
  const int before = test::gdi_object_count();
  ASSERT_GT(before, 0);
  for (int i = 0; i < 2000; ++i) {
    switch (i % 4) {
      case 0:
        print("STATION EINS : " + std::to_string(i) + "\r\nZWEI: 0001");
        break;
      case 1:
        frm_->redraw_text();
        break;
      case 2:
        print("");
        break;
      default:
        app_.settings.outline_on = !app_.settings.outline_on;
        print("A: 1 -- B: 2");
        break;
    }
  }
  const int after = test::gdi_object_count();
  EXPECT_LE(after - before, 3) << "before " << before << ", after " << after;
  RecordProperty("gdi_objects_before", before);
  RecordProperty("gdi_objects_after", after);
}

}  // namespace
}  // namespace kn
