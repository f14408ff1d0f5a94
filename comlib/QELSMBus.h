// The host SMBus access library QELSMBus, bound by name at first use. A routine
// that cannot reach the I/O ports raises the error the library reports (70,
// "Permission denied").
#pragma once
#include <cstdint>

namespace QELSMBus {

inline constexpr const char* kFileName = "libQELSMBus.so";

int32_t ReadPCI(int32_t bus, int32_t device, int32_t function, int32_t reg);
void WritePCI(int32_t bus, int32_t device, int32_t function, int32_t reg, int32_t value);
int32_t ReadByBase(int32_t address);
void WriteByBase(int32_t address, int32_t value);

}  // namespace QELSMBus
