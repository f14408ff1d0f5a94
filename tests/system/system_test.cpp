#include <gtest/gtest.h>

#include "qel/system.h"

namespace {

int g_yields = 0;
void CountYield() { ++g_yields; }
float FixedClock() { return 86399.5f; }
BOOL Win98(OSVERSIONINFOA* info) {
  info->dwPlatformId = 1;
  info->dwMajorVersion = 4;
  info->dwMinorVersion = 10;
  info->dwBuildNumber = 2222;
  return 1;
}

TEST(SystemServices, DoEventsCallsTheInstalledHookOnly) {
  g_yields = 0;
  DoEvents();
  EXPECT_EQ(g_yields, 0);
  qelsys::SetYieldHook(CountYield);
  DoEvents();
  DoEvents();
  EXPECT_EQ(g_yields, 2);
  qelsys::SetYieldHook(nullptr);
  DoEvents();
  EXPECT_EQ(g_yields, 2);
}

TEST(SystemServices, TimerReadsSecondsSinceMidnightOrTheReplacedClock) {
  const float now = Timer();
  EXPECT_GE(now, 0.0f);
  EXPECT_LT(now, 86400.0f);
  qelsys::SetClock(FixedClock);
  EXPECT_EQ(Timer(), 86399.5f);
  qelsys::SetClock(nullptr);
  EXPECT_LT(Timer(), 86400.0f);
}

TEST(SystemServices, VersionPresentsLinuxAsNtAndCanBeReplaced) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_NE(GetVersionExA(&info), 0);
  EXPECT_EQ(info.dwPlatformId, 2u);
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_NE(info.szCSDVersion[0], '\0');

  qelsys::SetVersionSource(Win98);
  OSVERSIONINFOA replaced{};
  replaced.dwOSVersionInfoSize = sizeof replaced;
  ASSERT_NE(GetVersionExA(&replaced), 0);
  EXPECT_EQ(replaced.dwPlatformId, 1u);
  EXPECT_EQ(replaced.dwBuildNumber, 2222u);
  qelsys::SetVersionSource(nullptr);

  OSVERSIONINFOA wrongSize{};
  wrongSize.dwOSVersionInfoSize = 12;
  EXPECT_EQ(GetVersionExA(&wrongSize), 0);
  EXPECT_EQ(GetVersionExA(nullptr), 0);
}

}  // namespace
