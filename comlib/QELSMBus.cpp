#include "QELSMBus.h"

#include "com/error.h"

namespace QELSMBus {

static_assert(QELSMBUS_ERROR_PERMISSION_DENIED == comrt::kPermissionDenied, "LastError raises it as permission denied");

namespace {
constinit quorlink::OutsideLibrary library("libQELSMBus.so");
}  // namespace

namespace detail {
constinit quorlink::OutsideRoutine<decltype(::ReadPCI)> ReadPCI(library, "ReadPCI");
constinit quorlink::OutsideRoutine<decltype(::WritePCI)> WritePCI(library, "WritePCI");
constinit quorlink::OutsideRoutine<decltype(::ReadByBase)> ReadByBase(library, "ReadByBase");
constinit quorlink::OutsideRoutine<decltype(::WriteByBase)> WriteByBase(library, "WriteByBase");
constinit quorlink::LastError LastError(library, "QELSMBusLastError");
}  // namespace detail

}  // namespace QELSMBus
