// The parallel-port access library parport2k, bound by name at first use.
// Every argument travels as 32 bits; I/O addresses are the library's signed 16-bit
// addresses widened with their sign.
#pragma once
#include <cstdint>

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
extern quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> OutByte;
extern quorlink::OutsideRoutine<int32_t(int32_t)> InByte;

}  // namespace parport2k
