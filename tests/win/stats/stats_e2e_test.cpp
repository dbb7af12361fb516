#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/win_test_util.h"

namespace {

using kn::test::children;

using kn::test::wine_path;

bool wait_until(const std::function<bool()>& done, DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

std::string text_of(HWND h) {
  char buf[256] = {};
  GetWindowTextA(h, buf, sizeof buf);
  return buf;
}

int requests_for(const std::string& station) {
  const std::string log = kn::test::sim_request_log(), what = "GET /station/" + station + "/listeners\n";
  int n = 0;
  for (size_t p = log.find(what); p != std::string::npos; p = log.find(what, p + 1)) ++n;
  return n;
}

struct WindowSearch {
  DWORD pid;
  const char* cls;
  HWND found;
};

BOOL CALLBACK find_top(HWND h, LPARAM lp) {
  auto* f = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  if (pid != f->pid || std::string(name) != f->cls) return TRUE;
  f->found = h;
  return FALSE;
}

// The program in a folder of its own, reached through its windows.
class Program {
 public:
  explicit Program(const std::string& stations) {
    folder_ = kn::test::make_temp_folder("stats");
    CopyFileA(wine_path(KN_PROGRAM_EXE).c_str(), (folder_ + "\\Klangnetz_DesktopTool.exe").c_str(), FALSE);
    std::ofstream(folder_ + "\\Klangnetz_DesktopTool.ini", std::ios::binary)
        << "[Konfig]\r\napi_base_url=" << kn::test::sim_base_url() << "\r\nstations=" << stations << "\r\n";
  }
  ~Program() {
    if (pi_.hProcess) {
      TerminateProcess(pi_.hProcess, 0);
      WaitForSingleObject(pi_.hProcess, 5000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  bool start() {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + folder_ + "\\Klangnetz_DesktopTool.exe\"";
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &si, &pi_))
      return false;
    return wait_until([&] { return top_window("Klangnetz_frmMain") != nullptr; }, 20000) &&
           wait_until([&] { return child("Klangnetz_frmMain", "Klangnetz_Picture1") != nullptr; }, 5000);
  }
  bool running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

  HWND top_window(const char* cls) const {
    WindowSearch f{pi_.dwProcessId, cls, nullptr};
    EnumWindows(find_top, reinterpret_cast<LPARAM>(&f));
    return f.found;
  }
  HWND child(const char* parent_cls, const char* cls) const {
    HWND parent = top_window(parent_cls);
    return parent ? FindWindowExA(parent, nullptr, cls, nullptr) : nullptr;
  }

  // Right-click on the tray icon, then the menu entry at this position.
  bool choose_menu_entry(int position) {
    HWND tray = child("Klangnetz_frmMain", "Klangnetz_Picture1");
    PostMessageA(tray, 512, 0, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!wait_until([&] { return (menu = top_window("#32768")) != nullptr && IsWindowVisible(menu); }, 5000))
      return false;
    for (int i = 0; i <= position; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    return true;
  }

 private:
  std::string folder_;
  PROCESS_INFORMATION pi_{};
};

// The window as it is on screen, as a 24-bit BMP file.
bool save_screenshot(HWND w, const std::string& path) {
  RECT r{};
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((width * 3 + 3) / 4) * 4, image = stride * height;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + image;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
  out.write(static_cast<const char*>(bits), image);
  const bool ok = out.good() && width > 0 && height > 0;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

TEST(StatisticsFromTheTray, ShowsAFilledGraphAndTheAboutDialogShowsTheVersion) {
  Program p("nachtradio;fruehschicht");
  ASSERT_TRUE(p.start());
  SetCursorPos(1200, 780);  // no stray mouse messages
  HWND tray = p.child("Klangnetz_frmMain", "Klangnetz_Picture1");
  ASSERT_TRUE(wait_until([&] { return requests_for("fruehschicht") >= 1; }, 30000));
  for (int poll = 0; poll < 40; ++poll) {
    int before = requests_for("fruehschicht");
    // A poll answers a double-click at once; repeat it only if none came at all.
    bool polled = false;
    for (int attempt = 0; attempt < 5 && !polled; ++attempt) {
      PostMessageA(tray, 512, 0, WM_LBUTTONDBLCLK);
      polled = wait_until([&] { return requests_for("fruehschicht") > before; }, 3000);
    }
    ASSERT_TRUE(polled) << "poll " << poll << ", program running: " << p.running();
  }
  Sleep(300);

  ASSERT_TRUE(p.choose_menu_entry(1));  // "Statistik"
  HWND graph = nullptr;
  ASSERT_TRUE(wait_until([&] { return (graph = p.top_window("Klangnetz_frmGraph")) && IsWindowVisible(graph); },
                         30000));
  EXPECT_EQ(text_of(graph), "Statistik");
  HWND combo = FindWindowExA(graph, nullptr, "ComboBox", nullptr);
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  PostMessageA(graph, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  Sleep(41 * 10 + 1500);  // 10 ms per sample and more

  // Minimum and maximum of a random walk, min <= max, both set by the polls.
  std::vector<std::string> texts;
  for (HWND c : children(graph)) texts.push_back(text_of(c));
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(texts[1], "H\xF6rerzahl Minimum:");
  const long min = std::stol(texts[2]), max = std::stol(texts[4]);
  EXPECT_LE(min, max);
  EXPECT_LT(max, 999999);
  EXPECT_TRUE(save_screenshot(graph, KN_SCREENSHOT_BMP));

  PostMessageA(graph, WM_CLOSE, 0, 0);
  EXPECT_TRUE(wait_until([&] { return p.top_window("Klangnetz_frmGraph") == nullptr; }, 5000));

  ASSERT_TRUE(p.choose_menu_entry(2));  // "Über"
  HWND about = nullptr;
  ASSERT_TRUE(wait_until([&] { return (about = p.top_window("Klangnetz_frmAbout")) && IsWindowVisible(about); },
                         30000));
  EXPECT_EQ(text_of(about), "Info zu Klangnetz DesktopTool");
  bool version_shown = false;
  for (HWND c : children(about)) version_shown = version_shown || text_of(c) == "Version 1.0.29";
  EXPECT_TRUE(version_shown);
  HWND ok = FindWindowExA(about, nullptr, "Button", "OK");
  ASSERT_NE(ok, nullptr);
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  EXPECT_TRUE(wait_until([&] { return p.top_window("Klangnetz_frmAbout") == nullptr; }, 5000));
  EXPECT_TRUE(p.running());
}

}  // namespace
