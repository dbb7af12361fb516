#include "platform/taskbar_win.h"

#include <gtest/gtest.h>

#include <memory>

#include "overlay/frm_text.h"

namespace kn {
namespace {

// A stand-in for the shell's taskbar: a top-level window of its class with an
// empty title, placed where a test wants it.
class FakeTaskbar {
 public:
  FakeTaskbar(int left, int top, int right, int bottom) {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = DefWindowProcA;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "Shell_TrayWnd";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    // Topmost, so the lookup meets it before any hidden one of the desktop process.
    hwnd_ = CreateWindowExA(WS_EX_TOPMOST, "Shell_TrayWnd", "", WS_POPUP, left, top, right - left,
                            bottom - top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~FakeTaskbar() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

TEST(TaskbarInfo, ReadsTheTaskbarWindow) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  FakeTaskbar bar(0, h - 40, w, h);
  ASSERT_NE(bar.hwnd(), nullptr);
  if (FindWindowA("Shell_traywnd", "") != bar.hwnd()) GTEST_SKIP() << "another taskbar comes first";
  EXPECT_EQ(taskbar_info("HEIGHT"), 40);
  EXPECT_EQ(taskbar_info(" width "), w);
  EXPECT_EQ(taskbar_info("top"), h - 40);
  EXPECT_EQ(taskbar_info("LEFT"), 0);
  EXPECT_EQ(taskbar_info("Align"), kEdgeBottom);
  EXPECT_EQ(taskbar_info("BOTTOM"), 0);
  EXPECT_EQ(taskbar_info(""), 0);
  EXPECT_EQ(taskbar_info("   "), 0);
}

TEST(TaskbarInfo, OverlayStandsBesideARightHandTaskbar) {
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  FakeTaskbar bar(w - 62, 0, w, h);
  if (FindWindowA("Shell_traywnd", "") != bar.hwnd()) GTEST_SKIP() << "another taskbar comes first";
  ASSERT_EQ(taskbar_info("ALIGN"), kEdgeRight);

  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  AppState app;
  {
    FrmText frm(app);
    // The height taken at start is the full screen height for a side taskbar.
    ASSERT_TRUE(frm.create(owner, taskbar_info("HEIGHT")));
    std::string text = "ABC : 0005";
    frm.set_Print_Text(text);
    RECT r{};
    GetWindowRect(frm.hwnd(), &r);
    EXPECT_GT(r.bottom - r.top, 0);
    EXPECT_EQ(r.bottom, h);
    EXPECT_LE(r.right, w - 62);
    EXPECT_GE(r.right, w - 62 - 1);
  }
  DestroyWindow(owner);
}

}  // namespace
}  // namespace kn
