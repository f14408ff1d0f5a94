// What the library's routines stand on: PCI configuration space and the 16-bit
// I/O port space of one machine, real or virtual.
#pragma once
#include <cstdint>
#include <memory>

#include "qelsmbus/qelsmbus.h"

namespace qelsmbus {

// Error numbers the routines report through QELSMBusLastError.
inline constexpr int32_t kNoError = QELSMBUS_ERROR_NONE;
inline constexpr int32_t kPermissionDenied = QELSMBUS_ERROR_PERMISSION_DENIED;

// Every function's configuration space is read and written as bytes; a function
// lies at bus 0-255, device 0-31, function 0-7.
struct PciAddress {
  uint32_t bus;
  uint32_t device;
  uint32_t function;
  bool Valid() const { return bus <= 255 && device <= 31 && function <= 7; }
};

class Backend {
 public:
  virtual ~Backend() = default;
  // 32 bits at offset `reg`, low byte first; 0xFFFFFFFF for a function that is absent.
  virtual uint32_t ReadConfig(PciAddress at, uint32_t reg) = 0;
  virtual void WriteConfig(PciAddress at, uint32_t reg, uint32_t value) = 0;
  // Port access returns an error number (kNoError when it was done).
  virtual int32_t ReadPort(uint16_t port, uint8_t& value) = 0;
  virtual int32_t WritePort(uint16_t port, uint8_t value) = 0;
};

std::unique_ptr<Backend> MakeHostBackend();
std::unique_ptr<Backend> MakeVirtualBackend();

}  // namespace qelsmbus
