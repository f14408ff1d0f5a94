#include "Parport2k.h"

namespace parport2k {

namespace {
constinit quorlink::OutsideLibrary library(kFileName);
}  // namespace

quorlink::OutsideLibrary& Library() { return library; }

constinit quorlink::OutsideRoutine<int32_t()> GetParallelPortCount(library, "GetParallelPortCount");
constinit quorlink::OutsideRoutine<int32_t(int32_t, ParallelPortInfo*)> GetParallelPortInfo(library, "GetParallelPortInfo");
constinit quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> ClaimParallelPort(library, "ClaimParallelPort");
constinit quorlink::OutsideRoutine<int32_t(int32_t)> ReleaseParallelPort(library, "ReleaseParallelPort");
constinit quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> OutByte(library, "OutByte");
constinit quorlink::OutsideRoutine<int32_t(int32_t)> InByte(library, "InByte");

}  // namespace parport2k
