// The host SMBus access library QELSMBus, bound by name at first use, with the
// prototypes and error numbers of its own header. The configuration-space routines
// cannot fail: a function that is not there reads all ones and a write the user
// may not make is skipped. No result of the I/O routines can show an error, so the
// library is asked after each of them; a call that ended with one raises it (70,
// "Permission denied", where the I/O ports cannot be reached).
#pragma once
#include <cstdint>

#include "OutsideLibrary.h"
#include "qelsmbus/qelsmbus.h"

namespace QELSMBus {

namespace detail {
extern quorlink::OutsideRoutine<decltype(::ReadPCI)> ReadPCI;
extern quorlink::OutsideRoutine<decltype(::WritePCI)> WritePCI;
extern quorlink::OutsideRoutine<decltype(::ReadByBase)> ReadByBase;
extern quorlink::OutsideRoutine<decltype(::WriteByBase)> WriteByBase;
extern quorlink::LastError LastError;
}  // namespace detail

inline int32_t ReadPCI(int32_t bus, int32_t device, int32_t function, int32_t reg) {
  return detail::ReadPCI(bus, device, function, reg);
}

inline void WritePCI(int32_t bus, int32_t device, int32_t function, int32_t reg, int32_t value) {
  detail::WritePCI(bus, device, function, reg, value);
}

inline int32_t ReadByBase(int32_t address) {
  const int32_t value = detail::ReadByBase(address);
  detail::LastError.Raise();
  return value;
}

inline void WriteByBase(int32_t address, int32_t value) {
  detail::WriteByBase(address, value);
  detail::LastError.Raise();
}

}  // namespace QELSMBus
