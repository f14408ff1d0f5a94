// System services: the system timer, the message-loop yield, the Windows version
// query, the file test and the program start, as the library and the program
// expect them of the platform.
#pragma once
#include <cstdint>
#include <string>

// Seconds since local midnight, single precision. Restarts at 0 at midnight.
float Timer();

// One yield to the host program's message loop: runs the hook the host installed,
// or returns at once when there is none.
void DoEvents();

using DWORD = uint32_t;
using BOOL = int32_t;

// The ANSI version record of GetVersionExA: 148 bytes.
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

// Fills the record. Linux is presented as a current NT-family system: platform 2,
// version 10.0, build number the kernel's patch level, szCSDVersion the kernel release.
// Fails (returns 0, record untouched) when the size field is not 148.
BOOL GetVersionExA(OSVERSIONINFOA* info);

namespace qelsys {

using YieldHook = void (*)();
using Clock = float (*)();
using VersionSource = BOOL (*)(OSVERSIONINFOA* info);

// The host program's yield; nullptr removes it. Returns the hook it replaced.
YieldHook SetYieldHook(YieldHook hook);

// Replaces the real-time clock behind Timer(); nullptr restores it. Returns the previous one.
Clock SetClock(Clock clock);

// Replaces what GetVersionExA reports; nullptr restores the real system. Returns the previous one.
VersionSource SetVersionSource(VersionSource source);

// Paths given to the two functions below may separate folders with '\\' or '/'.

// True only for an existing regular file (a symbolic link counts as what it
// points at) whose name does not start with '.', the mark of a hidden file.
bool IsOrdinaryFile(const std::string& path);

// Starts the program as a new process with no arguments and the caller's
// environment, and returns without waiting for it; a thread of its own reaps
// it when it ends. False, with the reason in *error when given (an errno value),
// when the program cannot be started: missing, not executable, not a program.
bool StartProgram(const std::string& path, int* error = nullptr);

}  // namespace qelsys
