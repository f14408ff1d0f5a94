// The parallel-port access library parport2k, bound by name at first use.
// Every argument travels as 32 bits; I/O addresses are the library's signed 16-bit
// addresses widened with their sign.
#pragma once
#include <cstdint>
#include <optional>

#include "OutsideLibrary.h"

namespace parport2k {

// The port information record, 12 bytes, passed by address.
struct ParallelPortInfo {
  int32_t Size;         // 12, set by the caller on a cleared record
  int32_t BaseAddress;  // callers use its low 16 bits
  int32_t Reserved;
};
static_assert(sizeof(ParallelPortInfo) == 12);

inline constexpr const char* kFileName = "libparport2k.so";

quorlink::OutsideLibrary& Library();

extern quorlink::OutsideRoutine<int32_t()> GetParallelPortCount;
extern quorlink::OutsideRoutine<int32_t(int32_t, ParallelPortInfo*)> GetParallelPortInfo;
extern quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> ClaimParallelPort;
extern quorlink::OutsideRoutine<int32_t(int32_t)> ReleaseParallelPort;

// The base the library reports for port `number`, as its low 16 bits (a base of
// 0x8000 or above becomes negative); empty when the information call returns 0.
// The caller's record, cleared with Size 12, may serve several calls.
inline std::optional<int16_t> BaseOf(int32_t number, ParallelPortInfo& info) {
  if (static_cast<int16_t>(GetParallelPortInfo(number, &info)) == 0) return std::nullopt;
  return static_cast<int16_t>(info.BaseAddress);
}

namespace detail {
extern quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> OutByte;
extern quorlink::OutsideRoutine<int32_t(int32_t)> InByte;
// Raises the error the library reports for its last refused byte access
// (ParPortLastError: 70, permission denied); a library without that routine
// reports none.
void RaiseRefusal();
}  // namespace detail

// OutByte and InByte answer 0 when they refuse an access; only then is the
// library asked why.
inline int32_t OutByte(int32_t address, int32_t value) {
  const int32_t written = detail::OutByte(address, value);
  if (written == 0) [[unlikely]] detail::RaiseRefusal();
  return written;
}

inline int32_t InByte(int32_t address) {
  const int32_t value = detail::InByte(address);
  if (value == 0) [[unlikely]] detail::RaiseRefusal();
  return value;
}

}  // namespace parport2k
