// Timing and operating-system checks of the library.
#pragma once
#include <cstdint>

namespace PrecisionTimer {

// The Windows family and version as a code: 95, 98, 351, 400, 2000, 0 for any other
// version of a known family, -1 for an unknown family (or a failed query).
int16_t GetWindowsVersion();

}  // namespace PrecisionTimer
