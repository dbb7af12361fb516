#include "common/screen.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "common/win_test_util.h"

namespace kn::test {

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

std::string save_screen_if_failed() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (!test || !::testing::Test::HasFailure()) return {};
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  static std::set<std::string> saved;
  if (!saved.insert(name).second) return {};
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string program = exe;
  program = program.substr(program.find_last_of("\\/") + 1);
  program = program.substr(0, program.rfind('.'));
  const std::string base = wine_path(KN_TEST_OUTPUT_DIR);
  CreateDirectoryA(base.c_str(), nullptr);
  CreateDirectoryA((base + "\\" + program).c_str(), nullptr);
  const std::string path = base + "\\" + program + "\\" + name + ".bmp";
  if (!save_screen(path)) return {};
  std::printf("screen at the failure: %s\n", path.c_str());
  return path;
}

}  // namespace kn::test
