// The parallel-port access library parport2k, bound by name at first use, with
// the record, prototypes and error numbers of its own header. I/O addresses are
// the library's signed 16-bit addresses widened with their sign.
#pragma once
#include <cstdint>
#include <optional>

#include "OutsideLibrary.h"
#include "parport2k.h"

namespace parport2k {

using ::ParallelPortInfo;

extern quorlink::OutsideRoutine<decltype(::GetParallelPortCount)> GetParallelPortCount;
extern quorlink::OutsideRoutine<decltype(::GetParallelPortInfo)> GetParallelPortInfo;
extern quorlink::OutsideRoutine<decltype(::ClaimParallelPort)> ClaimParallelPort;
extern quorlink::OutsideRoutine<decltype(::ReleaseParallelPort)> ReleaseParallelPort;

// An information record as the library expects it: cleared, with Size 12.
inline ParallelPortInfo InfoRecord() {
  ParallelPortInfo info{};
  info.Size = sizeof info;
  return info;
}

// The base the library reports for port `number`, as its low 16 bits (a base of
// 0x8000 or above becomes negative); empty when the information call returns 0.
// The caller's record (InfoRecord) may serve several calls.
inline std::optional<int16_t> BaseOf(int32_t number, ParallelPortInfo& info) {
  if (static_cast<int16_t>(GetParallelPortInfo(number, &info)) == 0) return std::nullopt;
  return static_cast<int16_t>(info.BaseAddress);
}

namespace detail {
extern quorlink::OutsideRoutine<decltype(::OutByte)> OutByte;
extern quorlink::OutsideRoutine<decltype(::InByte)> InByte;
extern quorlink::LastError LastError;
}  // namespace detail

// OutByte and InByte answer 0 when they refuse an access; only then is the
// library asked why, so the port writes of a transaction cost one call each.
inline void OutByte(int32_t address, int32_t value) {
  if (detail::OutByte(address, value) == 0) [[unlikely]] detail::LastError.Raise();
}

inline int32_t InByte(int32_t address) {
  const int32_t value = detail::InByte(address);
  if (value == 0) [[unlikely]] detail::LastError.Raise();
  return value;
}

}  // namespace parport2k
