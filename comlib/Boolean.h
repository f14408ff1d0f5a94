// The library's 16-bit Booleans: True is -1, False 0; any nonzero value tests true.
#pragma once
#include <cstdint>

namespace quorlink {

using Boolean = int16_t;
inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

constexpr Boolean ToBoolean(bool value) { return value ? kTrue : kFalse; }

}  // namespace quorlink
