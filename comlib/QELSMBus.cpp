#include "QELSMBus.h"

#include "com/error.h"

namespace QELSMBus {

static_assert(QELSMBUS_ERROR_PERMISSION_DENIED == comrt::kPermissionDenied, "LastError raises it as permission denied");

namespace {
constinit quorlink::OutsideLibrary library("libQELSMBus.so");
}  // namespace

namespace detail {
constinit quorlink::OutsideRoutine<decltype(::ReadPCI)> ReadPCI(library, "ReadPCI",
    [](auto... args) { return ReadPCI.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::WritePCI)> WritePCI(library, "WritePCI",
    [](auto... args) { return WritePCI.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::ReadByBase)> ReadByBase(library, "ReadByBase",
    [](auto... args) { return ReadByBase.Bind()(args...); });
constinit quorlink::OutsideRoutine<decltype(::WriteByBase)> WriteByBase(library, "WriteByBase",
    [](auto... args) { return WriteByBase.Bind()(args...); });
constinit quorlink::LastError LastError(library, "QELSMBusLastError", [] { return LastError.Bind()(); });
}  // namespace detail

}  // namespace QELSMBus
