#include "Parport2k.h"

#include "com/error.h"

namespace parport2k {

static_assert(PARPORT_ERROR_PERMISSION_DENIED == comrt::kPermissionDenied, "LastError raises it as permission denied");
static_assert(PARPORT_ERROR_DEVICE_IO == comrt::kDeviceIo, "LastError raises it as the runtime's Device I/O error");

namespace {
constinit quorlink::OutsideLibrary library("libparport2k.so");
}  // namespace

constinit quorlink::OutsideRoutine<decltype(::GetParallelPortCount)> GetParallelPortCount(library, "GetParallelPortCount",
    [](auto... args) { return GetParallelPortCount.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::GetParallelPortInfo)> GetParallelPortInfo(library, "GetParallelPortInfo",
    [](auto... args) { return GetParallelPortInfo.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::ClaimParallelPort)> ClaimParallelPort(library, "ClaimParallelPort",
    [](auto... args) { return ClaimParallelPort.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::ReleaseParallelPort)> ReleaseParallelPort(library, "ReleaseParallelPort",
    [](auto... args) { return ReleaseParallelPort.Bind()(args...); });

namespace detail {
constinit quorlink::OutsideRoutine<decltype(::OutByte)> OutByte(library, "OutByte",
    [](auto... args) { return OutByte.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::InByte)> InByte(library, "InByte",
    [](auto... args) { return InByte.Bind()(args...); });
constinit quorlink::LastError LastError(library, "ParPortLastError", [] { return LastError.Bind()(); });
}  // namespace detail

}  // namespace parport2k
