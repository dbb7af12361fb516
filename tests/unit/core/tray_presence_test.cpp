#include "core/tray_presence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kn {
namespace {

// A notification area that may not be there yet and refuses a second add.
struct FakeShell : TrayShell {
  int unavailable_adds = 0;  // adds refused before the shell is up
  bool has_icon = false;
  int adds = 0;
  int modifies = 0;
  bool add() override {
    ++adds;
    if (unavailable_adds > 0) {
      --unavailable_adds;
      return false;
    }
    if (has_icon) return false;
    return has_icon = true;
  }
  bool modify() override {
    ++modifies;
    return has_icon;
  }
  std::vector<std::string> balloons;
  bool balloon(const std::string& text) override {
    if (has_icon) balloons.push_back(text);
    return has_icon;
  }
};

TEST(TrayPresence, ShellThatComesLaterGetsTheIconOnTheRetryTicks) {
  FakeShell shell;
  shell.unavailable_adds = 2;
  TrayPresence tray(shell);
  EXPECT_FALSE(tray.ensure());
  for (int i = 1; i < TrayPresence::kRetrySeconds; ++i) tray.tick();
  EXPECT_EQ(shell.adds, 1);  // no try on every tick
  tray.tick();
  EXPECT_EQ(shell.adds, 2);
  EXPECT_FALSE(tray.present());
  for (int i = 0; i < TrayPresence::kRetrySeconds; ++i) tray.tick();
  EXPECT_TRUE(tray.present());
  EXPECT_TRUE(shell.has_icon);
  const int modifies = shell.modifies;
  tray.changed();  // tooltips go on
  EXPECT_EQ(shell.modifies, modifies + 1);
  EXPECT_TRUE(tray.present());
}

TEST(TrayPresence, AShellThatStillHasTheIconIsNotAskedAgainAndAgain) {
  FakeShell shell;
  TrayPresence tray(shell);
  ASSERT_TRUE(tray.ensure());
  tray.shell_restarted();  // the broadcast reached a shell that kept the icon
  EXPECT_TRUE(tray.present());
  for (int i = 0; i < 100; ++i) tray.tick();
  EXPECT_EQ(shell.adds, 2);
}

TEST(TrayPresence, AnIconTheShellLostIsAddedAgain) {
  FakeShell shell;
  TrayPresence tray(shell);
  ASSERT_TRUE(tray.ensure());
  EXPECT_TRUE(tray.balloon("eins"));
  shell.has_icon = false;  // the shell went away and came back without telling
  EXPECT_FALSE(tray.balloon("zwei"));
  EXPECT_FALSE(tray.present());
  EXPECT_FALSE(tray.balloon("drei"));  // no balloon without an icon, and no retry now
  EXPECT_EQ(shell.adds, 1);
  for (int i = 0; i < TrayPresence::kRetrySeconds; ++i) tray.tick();
  EXPECT_TRUE(tray.present());
  EXPECT_EQ(shell.adds, 2);
  EXPECT_TRUE(tray.balloon("vier"));
  EXPECT_EQ(shell.balloons, (std::vector<std::string>{"eins", "vier"}));
}

}  // namespace
}  // namespace kn
