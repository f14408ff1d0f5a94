#include "PrecisionTimer.h"

#include "qel/system.h"

namespace PrecisionTimer {

namespace {
constexpr DWORD kWindows9x = 1;
constexpr DWORD kWindowsNT = 2;
}  // namespace

int16_t GetWindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);  // a failed query leaves platform 0, which gives -1
  switch (info.dwPlatformId) {
    case kWindows9x:
      if (info.dwMinorVersion == 0) return 95;
      if (info.dwMinorVersion == 10) return 98;
      return 0;
    case kWindowsNT:
      if (info.dwMajorVersion == 3) return 351;
      if (info.dwMajorVersion == 4) return 400;
      if (info.dwMajorVersion == 5) return 2000;
      return 0;
    default:
      return -1;
  }
}

}  // namespace PrecisionTimer
