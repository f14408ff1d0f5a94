#include "QELSMBus.h"

#include "OutsideLibrary.h"
#include "com/error.h"

namespace QELSMBus {

namespace {

constinit quorlink::OutsideLibrary library(kFileName);
constinit quorlink::OutsideRoutine<int32_t(int32_t, int32_t, int32_t, int32_t)> readPCI(library, "ReadPCI");
constinit quorlink::OutsideRoutine<void(int32_t, int32_t, int32_t, int32_t, int32_t)> writePCI(library, "WritePCI");
constinit quorlink::OutsideRoutine<int32_t(int32_t)> readByBase(library, "ReadByBase");
constinit quorlink::OutsideRoutine<void(int32_t, int32_t)> writeByBase(library, "WriteByBase");

using LastErrorFunction = int32_t (*)();

// The error the latest routine ended with. A replacement library need offer only
// the four routines; without this export every call counts as having succeeded.
void RaiseLastError() {
  static const LastErrorFunction lastError = []() -> LastErrorFunction {
    try {
      return reinterpret_cast<LastErrorFunction>(library.Lookup("QELSMBusLastError"));
    } catch (const comrt::Error&) {
      return nullptr;
    }
  }();
  if (lastError == nullptr) return;
  const int32_t number = lastError();
  if (number == comrt::kPermissionDenied) comrt::ThrowPermissionDenied();
  if (number != 0) throw comrt::Error(number, "Device I/O error");
}

}  // namespace

int32_t ReadPCI(int32_t bus, int32_t device, int32_t function, int32_t reg) {
  const int32_t value = readPCI(bus, device, function, reg);
  RaiseLastError();
  return value;
}

void WritePCI(int32_t bus, int32_t device, int32_t function, int32_t reg, int32_t value) {
  writePCI(bus, device, function, reg, value);
  RaiseLastError();
}

int32_t ReadByBase(int32_t address) {
  const int32_t value = readByBase(address);
  RaiseLastError();
  return value;
}

void WriteByBase(int32_t address, int32_t value) {
  writeByBase(address, value);
  RaiseLastError();
}

}  // namespace QELSMBus
