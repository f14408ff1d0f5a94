#include "qel/system.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

float RealClock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_nsec / 1e9;
  return static_cast<float>(seconds);
}

BOOL RealVersion(OSVERSIONINFOA* info) {
  utsname names{};
  if (uname(&names) != 0) return 0;
  unsigned major = 0, minor = 0, patch = 0;
  std::sscanf(names.release, "%u.%u.%u", &major, &minor, &patch);
  info->dwMajorVersion = 10;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = patch;
  info->dwPlatformId = 2;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::strncpy(info->szCSDVersion, names.release, sizeof info->szCSDVersion - 1);
  return 1;
}

qelsys::YieldHook g_yield = nullptr;
qelsys::Clock g_clock = RealClock;
qelsys::VersionSource g_version = RealVersion;

}  // namespace

float Timer() { return g_clock(); }

void DoEvents() {
  if (g_yield) g_yield();
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return 0;
  return g_version(info);
}

namespace qelsys {

YieldHook SetYieldHook(YieldHook hook) {
  YieldHook previous = g_yield;
  g_yield = hook;
  return previous;
}

Clock SetClock(Clock clock) {
  Clock previous = g_clock;
  g_clock = clock ? clock : RealClock;
  return previous;
}

VersionSource SetVersionSource(VersionSource source) {
  VersionSource previous = g_version;
  g_version = source ? source : RealVersion;
  return previous;
}

}  // namespace qelsys
