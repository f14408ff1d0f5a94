// A fake version record behind GetVersionExA, for the Windows version codes.
#pragma once
#include <cstdint>

#include "qel/system.h"

struct VersionRecord {
  DWORD platform, major, minor;
};

inline VersionRecord g_versionRecord{2, 10, 0};
inline DWORD g_versionSizeSeen = 0;
inline bool g_versionRecordWasCleared = false;

inline BOOL FakeVersion(OSVERSIONINFOA* info) {
  g_versionSizeSeen = info->dwOSVersionInfoSize;
  g_versionRecordWasCleared = info->dwMajorVersion == 0 && info->dwMinorVersion == 0 && info->dwBuildNumber == 0 &&
                              info->dwPlatformId == 0 && info->szCSDVersion[0] == '\0';
  info->dwPlatformId = g_versionRecord.platform;
  info->dwMajorVersion = g_versionRecord.major;
  info->dwMinorVersion = g_versionRecord.minor;
  return 1;
}

// A record that PrecisionTimer::GetWindowsVersion turns into `code`.
inline VersionRecord RecordFor(int16_t code) {
  switch (code) {
    case 95: return {1, 4, 0};
    case 98: return {1, 4, 10};
    case 351: return {2, 3, 51};
    case 400: return {2, 4, 0};
    case 2000: return {2, 5, 1};
    case 0: return {2, 10, 0};
    default: return {0, 0, 0};
  }
}

inline void PresentVersion(int16_t code) {
  g_versionRecord = RecordFor(code);
  qelsys::SetVersionSource(FakeVersion);
}
