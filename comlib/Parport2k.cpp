#include "Parport2k.h"

#include "com/error.h"

namespace parport2k {

static_assert(PARPORT_ERROR_PERMISSION_DENIED == comrt::kPermissionDenied, "LastError raises it as permission denied");

namespace {
constinit quorlink::OutsideLibrary library("libparport2k.so");
}  // namespace

constinit quorlink::OutsideRoutine<decltype(::GetParallelPortCount)> GetParallelPortCount(library, "GetParallelPortCount");
constinit quorlink::OutsideRoutine<decltype(::GetParallelPortInfo)> GetParallelPortInfo(library, "GetParallelPortInfo");
constinit quorlink::OutsideRoutine<decltype(::ClaimParallelPort)> ClaimParallelPort(library, "ClaimParallelPort");
constinit quorlink::OutsideRoutine<decltype(::ReleaseParallelPort)> ReleaseParallelPort(library, "ReleaseParallelPort");

namespace detail {
constinit quorlink::OutsideRoutine<decltype(::OutByte)> OutByte(library, "OutByte");
constinit quorlink::OutsideRoutine<decltype(::InByte)> InByte(library, "InByte");
constinit quorlink::LastError LastError(library, "ParPortLastError");
}  // namespace detail

}  // namespace parport2k
