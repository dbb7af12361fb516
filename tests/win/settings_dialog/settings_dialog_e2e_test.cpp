// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/win_test_util.h"

namespace {

using kn::test::children;

using kn::test::wine_path;

constexpr int kScrollFontSize = 1006;  // the text-size slider's control id
constexpr int kLabelTextgroesse = 1007;
constexpr int kCommandCancel = 1020;

bool wait_until(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

std::wstring text_of(HWND h) {
  wchar_t buffer[256] = {};
  GetWindowTextW(h, buffer, 256);
  return buffer;
}

std::wstring class_of(HWND h) {
  wchar_t buffer[64] = {};
  GetClassNameW(h, buffer, 64);
  return buffer;
}

struct Search {
  DWORD pid;
  std::wstring cls;
  bool visible_only;
  HWND found;
};

BOOL CALLBACK match_top(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == s->pid && class_of(h) == s->cls && (!s->visible_only || IsWindowVisible(h))) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND top_window(DWORD pid, const std::wstring& cls, bool visible_only = false) {
  Search s{pid, cls, visible_only, nullptr};
  EnumWindows(match_top, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND tray_window(DWORD pid) {
  HWND main = top_window(pid, L"Klangnetz_frmMain");
  return main ? FindWindowExW(main, nullptr, L"Klangnetz_Picture1", nullptr) : nullptr;
}

// The whole screen as a 24-bit BMP file.
bool save_screen(const std::string& path) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bmp && mem) {
    HGDIOBJ old = SelectObject(mem, bmp);
    ok = BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY) != FALSE;
    SelectObject(mem, old);
    GdiFlush();
    const DWORD stride = ((w * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + stride * h;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
    out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(stride) * h);
    ok = ok && out.good();
  }
  if (bmp) DeleteObject(bmp);
  if (mem) DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

void press(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

TEST(SettingsDialogEndToEnd, OpensFromTheTrayMenuAndCancelsALiveChange) {
  const std::string folder = kn::test::make_temp_folder("konfig_e2e");
  ASSERT_TRUE(
      CopyFileA(wine_path(KN_PROGRAM_EXE).c_str(), (folder + "\\Klangnetz_DesktopTool.exe").c_str(), FALSE));
  std::ofstream(folder + "\\Klangnetz_DesktopTool.ini", std::ios::binary)
      << "[Konfig]\r\napi_base_url=" << kn::test::sim_base_url() << "\r\nstations=fixed-71;fixed-72\r\n";

  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + folder + "\\Klangnetz_DesktopTool.exe\"";
  ASSERT_TRUE(
      CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi));
  struct Stop {
    PROCESS_INFORMATION& pi;
    ~Stop() {
      TerminateProcess(pi.hProcess, 0);
      WaitForSingleObject(pi.hProcess, 5000);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  } stop{pi};
  const DWORD pid = pi.dwProcessId;
  ASSERT_TRUE(wait_until([&] { return tray_window(pid) != nullptr; }, 20000));
  ASSERT_TRUE(wait_until([&] { return top_window(pid, L"Klangnetz_frmText", true) != nullptr; }, 30000));

  // Right button up on the tray icon opens the menu; its first item is "Einstellungen".
  PostMessageW(tray_window(pid), 512, 0, WM_RBUTTONUP);
  HWND menu = nullptr;
  ASSERT_TRUE(wait_until([&] { return (menu = top_window(pid, L"#32768", true)) != nullptr; }, 5000));
  PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  HWND dialog = nullptr;
  auto dialog_shown = [&] { return (dialog = top_window(pid, L"Klangnetz_frmKonfig", true)) != nullptr; };
  if (!wait_until(dialog_shown, 3000)) {
    press(VK_DOWN);
    press(VK_RETURN);
  }
  ASSERT_TRUE(wait_until(dialog_shown, 5000)) << "the settings dialog did not open";

  EXPECT_EQ(text_of(dialog), L"Einstellungen");
  int sliders = 0;
  bool save = false, cancel = false, side_by_side = false, stations_field = false;
  for (HWND c : children(dialog)) {
    const std::wstring cls = class_of(c);
    const std::wstring text = text_of(c);
    if (_wcsicmp(cls.c_str(), L"msctls_trackbar32") == 0) ++sliders;
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      save |= text == L"&Speichern";
      cancel |= text == L"&Abbrechen";
      side_by_side |= text == L"Ausgabe nebeneinander";
    }
    if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
      // Another process's edit text comes only through WM_GETTEXT.
      wchar_t content[64] = {};
      SendMessageW(c, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(content));
      stations_field |= std::wstring(content) == L"fixed-71;fixed-72";
    }
  }
  EXPECT_EQ(sliders, 4);
  EXPECT_TRUE(save);
  EXPECT_TRUE(cancel);
  EXPECT_TRUE(side_by_side);
  EXPECT_TRUE(stations_field);

  HWND slider = GetDlgItem(dialog, kScrollFontSize);
  ASSERT_NE(slider, nullptr);
  SendMessageW(slider, TBM_SETPOS, TRUE, 26);
  SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 26), reinterpret_cast<LPARAM>(slider));
  EXPECT_EQ(text_of(GetDlgItem(dialog, kLabelTextgroesse)), L"Textgr\u00F6\u00DFe: 26");

  Sleep(500);
  CreateDirectoryA(
      wine_path(std::string(KN_SCREENSHOT).substr(0, std::string(KN_SCREENSHOT).rfind('/'))).c_str(),
      nullptr);
  EXPECT_TRUE(save_screen(wine_path(KN_SCREENSHOT)));

  PostMessageW(GetDlgItem(dialog, kCommandCancel), BM_CLICK, 0, 0);
  EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }, 5000));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the program keeps running";
}

}  // namespace
