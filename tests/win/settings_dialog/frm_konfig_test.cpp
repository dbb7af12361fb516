#include "settings_dialog/frm_konfig.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/win_test_util.h"
#include "overlay/frm_text.h"
#include "overlay/layout.h"
#include "overlay/overlay_test_util.h"
#include "settings_dialog/fake_host.h"
#include "win/ansi_win.h"

namespace kn {
namespace {

using test::FakeHost;
using test::window_text;

HINSTANCE self() { return GetModuleHandleW(nullptr); }

void click(HWND control) { SendMessageW(control, BM_CLICK, 0, 0); }

void move_slider(FrmKonfig& dialog, int id, int pos) {
  HWND slider = dialog.control(id);
  SendMessageW(slider, TBM_SETPOS, TRUE, pos);
  SendMessageW(dialog.hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos),
               reinterpret_cast<LPARAM>(slider));
}

int slider_pos(FrmKonfig& dialog, int id) {
  return static_cast<int>(SendMessageW(dialog.control(id), TBM_GETPOS, 0, 0));
}

bool is_checked(FrmKonfig& dialog, int id) {
  return SendMessageW(dialog.control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::wstring w(const std::string& utf8) { return utf8_to_wide(utf8); }

std::string read_key(const std::string& file, const char* key) {
  char buffer[256] = {};
  GetPrivateProfileStringA("Konfig", key, "<missing>", buffer, sizeof buffer, file.c_str());
  return buffer;
}

TEST(FrmKonfig, CancelAfterLiveTextSizeChangeRestoresAndRedraws) {
  FakeHost host;
  host.state.settings.text_size = 18;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  EXPECT_EQ(window_text(dialog.hwnd()), L"Einstellungen");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kTextSizeLabel)), w("Textgr\xC3\xB6\303\237e: 18"));

  move_slider(dialog, FrmKonfig::kTextSizeSlider, 25);
  EXPECT_EQ(host.state.settings.text_size, 25);
  EXPECT_EQ(host.redraw_sizes, (std::vector<int16_t>{25, 25}));  // the second measures at the new size
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kTextSizeLabel)), w("Textgr\xC3\xB6\303\237e: 25"));

  click(dialog.control(FrmKonfig::kCancelButton));
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(dialog.hwnd(), nullptr);
  EXPECT_EQ(host.state.settings.text_size, 18);
  ASSERT_EQ(host.redraw_sizes.size(), 3u);
  EXPECT_EQ(host.redraw_sizes.back(), 18) << "the overlay is redrawn with the restored size";
  EXPECT_EQ(host.loads, 0);
}

// The text-size preview on a real overlay: at each new size the window is as wide as
// the text measured at that size, the whole text is drawn, and it ends where a redraw
// puts it (the text size further right than a new text).
TEST(FrmKonfig, TheTextSizePreviewShowsTheWholeTextAtTheNewSize) {
  struct OverlayHost : FakeHost {
    FrmText* overlay = nullptr;
    void redraw_text() override {
      FakeHost::redraw_text();
      overlay->redraw_text();
    }
  } host;
  HWND owner =
      CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, self(), nullptr);
  ASSERT_NE(owner, nullptr);
  const std::string text = "NACHTRADIO : 0042\r\nROCKWELLE: 0017";
  // A fresh overlay with the text at a size: what the preview has to match.
  struct Drawn {
    test::Snapshot picture;
    int width = 0;
  };
  auto overlay_of = [&](AppState& app, Drawn& last) {
    auto o = std::make_unique<FrmText>(app);
    o->set_frame_observer([&last](const Frame& f) { last.picture = test::Snapshot::of(f); });
    EXPECT_TRUE(o->create(owner, 40));
    o->show();
    return o;
  };
  auto window_width = [](const FrmText& o) {
    RECT r{};
    GetWindowRect(o.hwnd(), &r);
    return static_cast<int>(r.right - r.left);
  };
  host.state.settings.text_size = 20;
  host.state.settings.shadow_on = false;
  Drawn shown;
  auto overlay = overlay_of(host.state, shown);
  host.overlay = overlay.get();
  std::string first = text;
  overlay->set_Print_Text(first);
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  for (const int size : {10, 30}) {
    move_slider(dialog, FrmKonfig::kTextSizeSlider, size);
    shown.width = window_width(*overlay);
    AppState at_size = host.state;
    Drawn fresh;
    auto reference = overlay_of(at_size, fresh);
    std::string again = text;
    reference->set_Print_Text(again);
    fresh.width = window_width(*reference);
    EXPECT_EQ(shown.width, fresh.width) << "at " << size;
    EXPECT_EQ(shown.picture.count_if_alpha(1, 255), fresh.picture.count_if_alpha(1, 255)) << "at " << size;
    const int em = static_cast<int>(em_px(static_cast<int16_t>(size), dpi) + 0.5f);
    EXPECT_EQ(shown.picture.rightmost(1), fresh.picture.rightmost(1) + em) << "at " << size;
  }
  click(dialog.control(FrmKonfig::kCancelButton));
  EXPECT_TRUE(dialog.closed());
  overlay.reset();
  DestroyWindow(owner);
}

TEST(FrmKonfig, OpensWithTheStoredValuesAndTheSecondsFixUp) {
  FakeHost host;
  host.state.settings.changes_visible_in_seconds = 0;
  host.state.settings.update_interval = 1;
  host.state.settings.opacity = 100;
  host.state.settings.horizontal = 2;  // only exactly 1 checks the box
  host.state.settings.autostart = 1;
  host.state.settings.outline_on = false;
  host.state.settings.write_title2file = true;
  host.state.settings.stations = "eins;zwei";
  host.state.settings.window_pos_x = 1500;
  host.state.settings.window_pos_y = 3000;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  if (test::dpi_awareness() >= 0) {
    EXPECT_EQ(test::dpi_awareness(dialog.hwnd()), 1) << "laid out at the system's scale";
  }

  EXPECT_EQ(host.state.settings.changes_visible_in_seconds, 10);
  EXPECT_EQ(slider_pos(dialog, FrmKonfig::kChangeSecondsSlider), 10);
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kChangeSecondsLabel)), L"10 Sekunden");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kIntervalLabel)), L"einmal pro Minute");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kTransparencyLabel)), L"100");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kStations)), L"eins;zwei");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kPositionXField)), L"1500");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kPositionYField)), L"3000");
  EXPECT_FALSE(IsWindowVisible(dialog.control(FrmKonfig::kPositionXField)));
  EXPECT_FALSE(is_checked(dialog, FrmKonfig::kSideBySideCheck));
  EXPECT_TRUE(is_checked(dialog, FrmKonfig::kAutostartCheck));
  EXPECT_FALSE(is_checked(dialog, FrmKonfig::kOutlineCheck));
  EXPECT_TRUE(is_checked(dialog, FrmKonfig::kWriteFilesCheck));

  move_slider(dialog, FrmKonfig::kIntervalSlider, 3);
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kIntervalLabel)), L"aller 3 Minuten");
  move_slider(dialog, FrmKonfig::kChangeSecondsSlider, 1);
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kChangeSecondsLabel)), L"1 Sekunde");
  EXPECT_EQ(host.state.settings.update_interval, 1) << "the interval takes effect only when saving";
  EXPECT_TRUE(host.redraw_sizes.empty());

  click(dialog.control(FrmKonfig::kCancelButton));
  EXPECT_EQ(host.state.settings.changes_visible_in_seconds, 0);
}

TEST(FrmKonfig, LiveChecksPositionResetAndSideBySide) {
  FakeHost host;
  host.state.settings.window_pos_x = 1500;
  host.state.settings.window_pos_y = 3000;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());

  click(dialog.control(FrmKonfig::kOutlineCheck));
  EXPECT_FALSE(host.state.settings.outline_on);
  click(dialog.control(FrmKonfig::kShadowCheck));
  EXPECT_FALSE(host.state.settings.shadow_on);
  EXPECT_EQ(host.redraw_sizes.size(), 2u);

  click(dialog.control(FrmKonfig::kSideBySideCheck));
  EXPECT_EQ(host.state.settings.horizontal, 1);
  EXPECT_EQ(host.polls, 1) << "side-by-side output polls at once";

  move_slider(dialog, FrmKonfig::kTransparencySlider, 40);
  EXPECT_EQ(host.state.settings.opacity, 40);
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kTransparencyLabel)), L"40");

  click(dialog.control(FrmKonfig::kResetPositionButton));
  EXPECT_EQ(host.state.settings.window_pos_x, 0);
  EXPECT_EQ(host.state.settings.window_pos_y, 0);
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kPositionXField)), L"0");
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kPositionYField)), L"0");
  EXPECT_EQ(host.redraw_sizes.size(), 4u);

  // The close box restores like "Abbrechen"; it does not poll again.
  SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(dialog.closed());
  EXPECT_TRUE(host.state.settings.outline_on);
  EXPECT_TRUE(host.state.settings.shadow_on);
  EXPECT_EQ(host.state.settings.horizontal, 0);
  EXPECT_EQ(host.state.settings.opacity, 225);
  EXPECT_EQ(host.state.settings.window_pos_x, 1500);
  EXPECT_EQ(host.state.settings.window_pos_y, 3000);
  EXPECT_EQ(host.polls, 1);
}

TEST(FrmKonfig, SavingWritesTheDialogsKeysTheProfileFunctionsReadBack) {
  FakeHost host;
  const std::string dir = test::make_temp_folder("konfig_save");
  host.state.settings_file = dir + "\\Klangnetz_DesktopTool.ini";
  host.state.settings.fill_colour = "255";
  host.state.settings.changes_visible_in_seconds = 0;
  host.state.settings.window_pos_x = 1500;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());

  SetWindowTextW(dialog.control(FrmKonfig::kStations), L"  Eins;ZW\u00D6LF ");
  move_slider(dialog, FrmKonfig::kTransparencySlider, 200);
  move_slider(dialog, FrmKonfig::kTextSizeSlider, 24);
  move_slider(dialog, FrmKonfig::kIntervalSlider, 5);
  click(dialog.control(FrmKonfig::kAutostartCheck));
  click(dialog.control(FrmKonfig::kOnlyChangesCheck));
  click(dialog.control(FrmKonfig::kWriteFilesCheck));
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kFullscreenCheck)), L"Bei Vollbildanwendungen ausblenden");
  click(dialog.control(FrmKonfig::kFullscreenCheck));
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kNotifyCheck)),
            L"Melden, wenn eine Station nicht antwortet");
  click(dialog.control(FrmKonfig::kNotifyCheck));
  EXPECT_FALSE(host.state.settings.notify_no_answer);  // takes effect on saving
  EXPECT_EQ(window_text(dialog.control(FrmKonfig::kKeepHistoryCheck)), L"H\u00F6rerverlauf dauerhaft speichern");
  click(dialog.control(FrmKonfig::kKeepHistoryCheck));
  EXPECT_FALSE(host.state.settings.keep_history);
  click(dialog.control(FrmKonfig::kSaveButton));

  ASSERT_TRUE(dialog.closed());
  EXPECT_EQ(host.messages, (std::vector<std::string>{kSavedMessage}));
  EXPECT_EQ(host.autostart_calls, (std::vector<bool>{true}));
  EXPECT_EQ(host.loads, 1);

  const std::string& f = host.state.settings_file;
  EXPECT_EQ(read_key(f, "stations"), "eins;zw\xF6lf");  // the file is in the ANSI code page
  EXPECT_EQ(read_key(f, "BackgroundColor"), "255");
  EXPECT_EQ(read_key(f, "OutlineColor"), "0");
  EXPECT_EQ(read_key(f, "UpdateInterval"), "5");
  EXPECT_EQ(read_key(f, "Opaque"), "200");
  EXPECT_EQ(read_key(f, "Text_Ouline"), "1");
  EXPECT_EQ(read_key(f, "Text_Shadow"), "1");
  EXPECT_EQ(read_key(f, "Text_Size"), "24");
  EXPECT_EQ(read_key(f, "autostart"), "1");
  EXPECT_EQ(read_key(f, "only_changes"), "1");
  EXPECT_EQ(read_key(f, "changes_visible_in_seconds"), "10");
  EXPECT_EQ(read_key(f, "write_title2file"), "1");
  EXPECT_EQ(read_key(f, "window_pos_x"), "1500");
  EXPECT_EQ(read_key(f, "window_pos_y"), "0");
  EXPECT_EQ(read_key(f, "horizontal"), "0");
  EXPECT_EQ(read_key(f, "hide_in_fullscreen"), "1");
  EXPECT_EQ(read_key(f, "notify_no_answer"), "1");
  EXPECT_EQ(read_key(f, "keep_history"), "1");
  EXPECT_EQ(read_key(f, "history_days"), "<missing>");  // only for those who edit the file

  // Load_Konfig read the file back into memory.
  EXPECT_EQ(host.state.settings.stations, "eins;zw\xC3\xB6lf");
  EXPECT_EQ(host.state.settings.opacity, 200);
  EXPECT_EQ(host.state.settings.update_interval, 5);
  EXPECT_TRUE(host.state.settings.only_changes);
  EXPECT_TRUE(host.state.settings.write_title2file);
  EXPECT_EQ(host.state.settings.autostart, 1);
}

TEST(FrmKonfig, ASaveThatFailsPartWayChangesNothing) {
  FakeHost host;
  const std::string dir = test::make_temp_folder("konfig_partial");
  host.state.settings_file = dir + "\\Klangnetz_DesktopTool.ini";
  const std::string before =
      "[Konfig]\r\nstations=eins\r\nUpdateInterval=2\r\napi_base_url=http://127.0.0.1:1\r\n";
  { std::ofstream(host.state.settings_file, std::ios::binary) << before; }
  host.Load_Konfig();
  host.keys_until_failure = 1;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  SetWindowTextW(dialog.control(FrmKonfig::kStations), L"zwei");
  move_slider(dialog, FrmKonfig::kIntervalSlider, 5);
  click(dialog.control(FrmKonfig::kAutostartCheck));
  click(dialog.control(FrmKonfig::kWriteFilesCheck));
  click(dialog.control(FrmKonfig::kSaveButton));

  EXPECT_EQ(host.messages, (std::vector<std::string>{kNotSavedMessage}));
  EXPECT_FALSE(dialog.closed());
  EXPECT_EQ(test::read_file(host.state.settings_file), before);
  EXPECT_EQ(test::names_in(dir), std::set<std::string>{"Klangnetz_DesktopTool.ini"});
  EXPECT_TRUE(host.autostart_calls.empty());
  EXPECT_FALSE(host.state.settings.write_title2file);

  // The next try that works writes every key and keeps the keys the dialog does not own.
  host.keys_until_failure = -1;
  click(dialog.control(FrmKonfig::kSaveButton));
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(read_key(host.state.settings_file, "stations"), "zwei");
  EXPECT_EQ(read_key(host.state.settings_file, "UpdateInterval"), "5");
  EXPECT_EQ(read_key(host.state.settings_file, "api_base_url"), "http://127.0.0.1:1");
  EXPECT_EQ(host.autostart_calls, (std::vector<bool>{true}));
  EXPECT_TRUE(host.state.settings.write_title2file);
}

TEST(FrmKonfig, OneDialogOpensAgainWithTheValuesOfNow) {
  FakeHost host;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  click(dialog.control(FrmKonfig::kCancelButton));
  ASSERT_TRUE(dialog.closed());
  host.state.settings.text_size = 27;
  ASSERT_TRUE(dialog.create());
  EXPECT_FALSE(dialog.closed());
  EXPECT_TRUE(IsWindowVisible(dialog.hwnd()));
  EXPECT_EQ(slider_pos(dialog, FrmKonfig::kTextSizeSlider), 27);
  move_slider(dialog, FrmKonfig::kTextSizeSlider, 14);  // live again
  EXPECT_EQ(host.state.settings.text_size, 14);
  click(dialog.control(FrmKonfig::kFullscreenCheck));
  EXPECT_TRUE(host.state.settings.hide_in_fullscreen);
  click(dialog.control(FrmKonfig::kCancelButton));
  EXPECT_EQ(host.state.settings.text_size, 27);
  EXPECT_FALSE(host.state.settings.hide_in_fullscreen);
}

TEST(FrmKonfig, RefusedStationTextWritesNothingAndKeepsTheDialogOpen) {
  FakeHost host;
  const std::string dir = test::make_temp_folder("konfig_refuse");
  host.state.settings_file = dir + "\\Klangnetz_DesktopTool.ini";
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  move_slider(dialog, FrmKonfig::kTextSizeSlider, 12);

  SetWindowTextW(dialog.control(FrmKonfig::kStations), L"HTTP://meinradio.live");
  click(dialog.control(FrmKonfig::kSaveButton));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("ohne 'http' eintragen."), std::string::npos);
  EXPECT_FALSE(dialog.closed());
  EXPECT_FALSE(test::exists(host.state.settings_file));
  EXPECT_TRUE(host.autostart_calls.empty());
  EXPECT_EQ(host.loads, 0);
  EXPECT_EQ(host.state.settings.text_size, 12) << "the live preview stays";

  SetWindowTextW(dialog.control(FrmKonfig::kStations), L"eins, zwei");
  click(dialog.control(FrmKonfig::kSaveButton));
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_NE(host.messages[1].find("bitte ein ; verwenden "), std::string::npos);

  SetWindowTextW(dialog.control(FrmKonfig::kStations), L"");
  click(dialog.control(FrmKonfig::kSaveButton));
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(read_key(host.state.settings_file, "stations"), "");
  EXPECT_EQ(host.autostart_calls, (std::vector<bool>{false}));
}

// Confirms the colour dialog as soon as it shows.
bool g_confirmed = false;
BOOL CALLBACK confirm_if_colour_dialog(HWND h, LPARAM) {
  wchar_t cls[32] = {};
  GetClassNameW(h, cls, 32);
  if (std::wstring(cls) == L"#32770" && IsWindowVisible(h)) {
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, IDOK)));
    g_confirmed = true;
    return FALSE;
  }
  return TRUE;
}
void CALLBACK confirm_colour_dialog(HWND, UINT, UINT_PTR id, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), confirm_if_colour_dialog, 0);
  if (g_confirmed) KillTimer(nullptr, id);
}

TEST(FrmKonfig, ChosenColourGoesToMemoryAndRedraws) {
  FakeHost host;
  FrmKonfig dialog(host, self());
  ASSERT_TRUE(dialog.create());
  g_confirmed = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, confirm_colour_dialog);
  SendMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(FrmKonfig::kOutlineColourSwatch, STN_CLICKED),
               reinterpret_cast<LPARAM>(dialog.control(FrmKonfig::kOutlineColourSwatch)));
  if (!g_confirmed) KillTimer(nullptr, timer);
  ASSERT_TRUE(g_confirmed);
  EXPECT_EQ(host.state.settings.outline_colour, "65280") << "the dialog starts at pure green";
  EXPECT_EQ(host.state.settings.fill_colour, "2131691");
  EXPECT_EQ(host.redraw_sizes.size(), 1u);
  click(dialog.control(FrmKonfig::kCancelButton));
  EXPECT_EQ(host.state.settings.outline_colour, "0");
}

}  // namespace
}  // namespace kn
