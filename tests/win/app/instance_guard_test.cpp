// A second copy from the same folder that cannot reach the first.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <string>

#include "app/instance_guard_win.h"
#include "common/program.h"
#include "common/wait.h"
#include "common/win_test_util.h"
#include "core/settings.h"
#include "win/ansi_win.h"

namespace kn {
namespace {

// The folder's mutex held out of everyone's reach (an empty access list), as a first
// copy at a higher integrity level holds it: the second copy ends, saying so itself.
TEST(InstanceGuard, AMutexOutOfReachEndsTheSecondCopyWithAMessageOfItsOwn) {
  test::Program p("guard", "stations=fixed-95\r\n");
  PSECURITY_DESCRIPTOR empty = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &empty, nullptr));
  SECURITY_ATTRIBUTES sa{sizeof sa, empty, FALSE};
  const std::wstring name = InstanceGuard::mutex_name(folder_hash(p.folder));
  const unique_kernel_handle held(CreateMutexW(&sa, FALSE, name.c_str()));
  LocalFree(empty);
  ASSERT_TRUE(held);
  const unique_kernel_handle again(CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_FALSE(again);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  ASSERT_TRUE(p.launch());
  HWND box = nullptr;
  ASSERT_TRUE(test::wait_until([&] { return (box = p.window("#32770")) != nullptr && IsWindowVisible(box); },
                               30000, {}, 1))
      << "no message box";
  EXPECT_EQ(test::window_text(box), utf8_to_wide(kProgramTitle));
  EXPECT_EQ(
      test::window_text(FindWindowExW(box, nullptr, L"Static", utf8_to_wide(kAlreadyRunningText).c_str())),
      utf8_to_wide(kAlreadyRunningText));
  EXPECT_EQ(p.window("Klangnetz_frmMain"), nullptr) << "it runs beside the first";
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  DWORD code = 99;
  ASSERT_TRUE(p.ended_within(30000, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace kn
