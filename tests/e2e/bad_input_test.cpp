// The real program with hand-edited settings and a program folder it cannot write:
// no crash, no hang, nothing written outside the program folder, nothing lost.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "common/program.h"
#include "common/wait.h"

namespace {

using namespace kn::test;

std::string parent_of(const std::string& folder) { return folder.substr(0, folder.rfind('\\')); }

// Shown after the first poll, which may wait for the download limit (15 s).
HWND wait_for_overlay(Program& p) {
  HWND overlay = nullptr;
  EXPECT_TRUE(wait_until(
      [&] { return (overlay = p.window("Klangnetz_frmText")) != nullptr && IsWindowVisible(overlay); },
      60000))
      << "(the overlay shown)";
  return overlay;
}

Describe text_of(const HWND& overlay) {
  return [&overlay] { return "overlay " + shown(window_text(overlay)); };
}

TEST(BadInput, EveryKeyGarbageStillRunsWithDefaults) {
  Program p(
      "garbage",
      "stations=;;fixed-81;;\r\nBackgroundColor=rot\r\nOutlineColor=-\r\nOpaque=9999\r\n"
      "UpdateInterval=-7\r\nText_Ouline=ja\r\nText_Shadow=??\r\nText_Size=100000\r\nautostart=vielleicht\r\n"
      "only_changes=x\r\nchanges_visible_in_seconds=-1\r\nwrite_title2file=1e999\r\nwindow_pos_x=abc\r\n"
      "window_pos_y=1e30\r\nhorizontal=%%%\r\n");
  ASSERT_TRUE(p.start());
  HWND overlay = wait_for_overlay(p);
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(wait_until([&] { return window_text(overlay).find(L"FIXED-81") != std::wstring::npos; }, 30000,
                         text_of(overlay)));
  // A few ticks with the garbage interval.
  EXPECT_TRUE(stays_true([&] { return p.running(); }, 2500));
  RECT r{};
  GetWindowRect(overlay, &r);
  EXPECT_LE(r.right - r.left, 8192);
  EXPECT_LE(r.bottom - r.top, 8192);
}

TEST(BadInput, AHundredKilobyteLineAndTwoHundredStations) {
  Program huge("hugeline", "stations=" + std::string(100 * 1024, 'a') + "\r\n");
  ASSERT_TRUE(huge.start());
  HWND overlay = wait_for_overlay(huge);
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(wait_until(
      [&] { return window_text(overlay).rfind(L"AAAAAAAA", 0) == 0; }, 30000,
      [&] { return "overlay of " + std::to_string(window_text(overlay).size()) + " characters"; }));
  EXPECT_TRUE(huge.running());
  huge.stop();

  std::string stations;
  for (int i = 1; i <= 200; ++i) {
    if (i > 1) stations += ';';
    stations += "fixed-";
    stations += std::to_string(800 + i);
  }
  Program many("many", "stations=" + stations + "\r\n");
  ASSERT_TRUE(many.start());
  overlay = wait_for_overlay(many);
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(
      wait_until([&] { return window_text(overlay).find(L"\r\nFIXED-1000: 1000") != std::wstring::npos; },
                 30000, [&] { return std::to_string(line_count(window_text(overlay))) + " lines shown"; }));
  EXPECT_EQ(line_count(window_text(overlay)), 200);
  EXPECT_GE(requests_for("fixed-1000"), 1);
  EXPECT_TRUE(many.running());
}

TEST(BadInput, StationNamesCannotReachOutsideTheProgramFolder) {
  // "sch\xF6ne" and "stra\xDF" "e" are Windows-1252, as an editor on Windows saves them.
  Program p("names",
            "stations=../../ausserhalb;..;a/b;c\\d;zwei worte;sch\xF6ne;stra\xDF"
            "e;x:y;con\r\n"
            "write_title2file=1\r\n");
  const std::string parent = parent_of(p.folder);
  const std::set<std::string> parent_before = names_in(parent);
  const std::set<std::string> grandparent_before = names_in(parent_of(parent));
  ASSERT_TRUE(p.start());
  HWND overlay = wait_for_overlay(p);
  ASSERT_NE(overlay, nullptr);
  // The text is set when the whole poll, title files included, is done.
  EXPECT_TRUE(wait_until([&] { return window_text(overlay).find(L"\r\nCON: ") != std::wstring::npos; }, 30000,
                         text_of(overlay)));
  EXPECT_TRUE(p.running());
  // Other tests may add their own kn_* folders next to ours meanwhile; nothing else.
  for (const std::string& name : names_in(parent)) {
    if (!parent_before.count(name)) {
      EXPECT_EQ(name.rfind("kn_", 0), 0u) << name;
    }
  }
  EXPECT_EQ(names_in(parent_of(parent)), grandparent_before);
  int title_files = 0;
  for (const std::string& name : names_in(p.folder)) title_files += name.rfind("titel_", 0) == 0;
  EXPECT_GE(title_files, 5);
  // Requests went to the station paths, never elsewhere on the platform.
  EXPECT_EQ(requests_for("../../ausserhalb"), 1);
  EXPECT_EQ(requests_for("a/b"), 1);
}

TEST(BadInput, AProgramFolderThatCannotBeWrittenShowsNoCountsAndGoesOn) {
  Program p("nowrite", "stations=fixed-82\r\nwrite_title2file=1\r\n");
  // Directories in the way of the download file and the title file.
  ASSERT_TRUE(CreateDirectoryA((p.folder + "\\file_from_web.txt").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((p.folder + "\\title_from_web.txt").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((p.folder + "\\titel_fixed-82.txt").c_str(), nullptr));
  ASSERT_TRUE(p.start());
  HWND overlay = wait_for_overlay(p);
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(wait_until([&] { return window_text(overlay) == L"FIXED-82 : "; }, 30000, text_of(overlay)));
  RequestWatch polls("fixed-82");
  p.post_tray(WM_LBUTTONDBLCLK);
  ASSERT_TRUE(polls.wait_for(1, 30000));
  EXPECT_TRUE(stays_true([&] { return p.running() && window_text(overlay) == L"FIXED-82 : "; }, 500,
                         text_of(overlay)));
}

TEST(BadInput, SavingIntoASettingsFileThatCannotBeWrittenSaysSoAndKeepsTheDialog) {
  Program p("readonly", "stations=fixed-83\r\n");
  const std::string ini = p.folder + "\\Klangnetz_DesktopTool.ini";
  const std::string before = read_file(ini);
  ASSERT_TRUE(p.start());
  ASSERT_NE(wait_for_overlay(p), nullptr);
  // Read-only, and held open without sharing (what a read-only attribute alone does
  // not achieve for every user).
  SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE lock = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  HWND dialog = p.open_from_menu(0, "Klangnetz_frmKonfig");  // "Einstellungen"
  ASSERT_NE(dialog, nullptr);
  HWND save = nullptr;
  for (HWND c : children(dialog)) {
    if (window_text(c) == L"&Speichern") save = c;
  }
  ASSERT_NE(save, nullptr);
  PostMessageW(save, BM_CLICK, 0, 0);

  HWND box = nullptr;
  ASSERT_TRUE(
      wait_until([&] { return (box = p.window("#32770")) != nullptr && IsWindowVisible(box); }, 30000));
  std::wstring message;
  for (HWND c : children(box)) message += window_text(c) + L"|";
  EXPECT_NE(message.find(L"konnten nicht gespeichert werden"), std::wstring::npos);
  EXPECT_EQ(message.find(L"wurden gespeichert"), std::wstring::npos);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(wait_until([&] { return !IsWindow(box); }, 5000));
  EXPECT_TRUE(IsWindow(dialog));  // still open, with what the user typed

  CloseHandle(lock);
  SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(read_file(ini), before);
  EXPECT_TRUE(p.running());
}

}  // namespace
