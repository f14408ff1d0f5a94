#include <gtest/gtest.h>

#include "PrecisionTimer.h"
#include "version_record.h"

namespace {

struct VersionCase {
  VersionRecord record;
  int16_t code;
};

TEST(WindowsVersion, ClassifiesFamilyAndVersion) {
  const VersionCase cases[] = {
      {{1, 4, 0}, 95},    {{1, 4, 10}, 98},  {{1, 4, 90}, 0},    {{1, 5, 0}, 95},  // family 1: minor version only
      {{2, 3, 51}, 351},  {{2, 4, 0}, 400},  {{2, 5, 0}, 2000},  {{2, 5, 2}, 2000},
      {{2, 6, 0}, 0},     {{2, 10, 0}, 0},   {{2, 4, 10}, 400},  // family 2: major version only
      {{0, 4, 0}, -1},    {{3, 5, 0}, -1},   {{0xFFFFFFFF, 4, 0}, -1},
  };
  for (const auto& c : cases) {
    g_versionRecord = c.record;
    qelsys::SetVersionSource(FakeVersion);
    EXPECT_EQ(PrecisionTimer::GetWindowsVersion(), c.code)
        << c.record.platform << " " << c.record.major << "." << c.record.minor;
    EXPECT_EQ(g_versionSizeSeen, 148u);
    EXPECT_TRUE(g_versionRecordWasCleared);
  }
  qelsys::SetVersionSource(nullptr);
}

TEST(WindowsVersion, ThisSystemCountsAsAnotherVersionOfTheNtFamily) {
  qelsys::SetVersionSource(nullptr);
  EXPECT_EQ(PrecisionTimer::GetWindowsVersion(), 0);
}

}  // namespace
