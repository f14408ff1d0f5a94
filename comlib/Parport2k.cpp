#include "Parport2k.h"

#include "com/error.h"

namespace parport2k {

namespace {
constinit quorlink::OutsideLibrary library(kFileName);
constexpr int32_t kPermissionDenied = 70;
}  // namespace

quorlink::OutsideLibrary& Library() { return library; }

constinit quorlink::OutsideRoutine<int32_t()> GetParallelPortCount(library, "GetParallelPortCount");
constinit quorlink::OutsideRoutine<int32_t(int32_t, ParallelPortInfo*)> GetParallelPortInfo(library, "GetParallelPortInfo");
constinit quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> ClaimParallelPort(library, "ClaimParallelPort");
constinit quorlink::OutsideRoutine<int32_t(int32_t)> ReleaseParallelPort(library, "ReleaseParallelPort");

namespace detail {

constinit quorlink::OutsideRoutine<int32_t(int32_t, int32_t)> OutByte(library, "OutByte");
constinit quorlink::OutsideRoutine<int32_t(int32_t)> InByte(library, "InByte");

void RaiseRefusal() {
  using LastError = int32_t (*)();
  // Looked up once; a replacement library may lack it.
  static const LastError lastError = reinterpret_cast<LastError>(library.Find("ParPortLastError"));
  if (lastError != nullptr && lastError() == kPermissionDenied) comrt::ThrowPermissionDenied();
}

}  // namespace detail

}  // namespace parport2k
