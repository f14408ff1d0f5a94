// The program's version, shown by the about box.
#pragma once

namespace Version {
inline constexpr int kMajor = 1;
inline constexpr int kMinor = 0;
inline constexpr int kRevision = 0;
}  // namespace Version
