// A fake system behind GetVersionExA: any platform, version and build, or a query
// that fails. Like the real one it fills only a record whose size field is 148.
#pragma once
#include <cstdint>

#include "qel/system.h"

namespace porttest {

struct SystemRecord {
  DWORD platform, major, minor, build;
};

inline SystemRecord g_system{2, 10, 0, 1381};
inline bool g_queryFails = false;

inline BOOL FakeVersionEx(OSVERSIONINFOA* info) {
  if (g_queryFails || info->dwOSVersionInfoSize != sizeof *info) return 0;
  info->dwPlatformId = g_system.platform;
  info->dwMajorVersion = g_system.major;
  info->dwMinorVersion = g_system.minor;
  info->dwBuildNumber = g_system.build;
  return 1;
}

inline void PresentSystem(SystemRecord record) {
  g_system = record;
  g_queryFails = false;
  qelsys::SetVersionSource(FakeVersionEx);
}

}  // namespace porttest
