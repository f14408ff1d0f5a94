// The host SMBus access library, libQELSMBus.so: PCI configuration space and byte
// I/O ports, reached by name at run time. Every argument and result is 32 bits.
//
// Backends, chosen at the first call from the environment:
//   QEL_BOARD=virtual         a virtual PCI bus with an SMBus host controller
//   (otherwise)               this machine: sysfs and /dev/port
//   QEL_SYSFS_ROOT=dir        stands in for /sys (host backend)
//   QEL_DEV_ROOT=dir          stands in for /dev (host backend)
//   QEL_SMBUS_CONTROLLER=8086|10B9|none|<hex identifier>
//                             the virtual bus's controller (default 8086)
#pragma once
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

#define QELSMBUS_EXPORT __attribute__((visibility("default")))

// Register `reg` of a function's configuration space: 32 bits from that offset,
// low byte first. A function that does not exist reads 0xFFFFFFFF, and so do bytes
// past the end of its configuration space.
QELSMBUS_EXPORT int32_t ReadPCI(int32_t bus, int32_t device, int32_t function, int32_t reg);

// Writes 32 bits at offset `reg`. A write the user may not make is skipped.
QELSMBUS_EXPORT void WritePCI(int32_t bus, int32_t device, int32_t function, int32_t reg, int32_t value);

// The byte at an I/O port, in the low 8 bits. The port is the address's low 16 bits,
// as on the x86 I/O bus.
QELSMBUS_EXPORT int32_t ReadByBase(int32_t address);

// Writes the low 8 bits of `value` to an I/O port (the address's low 16 bits).
QELSMBUS_EXPORT void WriteByBase(int32_t address, int32_t value);

// The error number the calling thread's latest call of the four routines above
// ended with: QELSMBUS_ERROR_NONE when it succeeded, QELSMBUS_ERROR_PERMISSION_DENIED
// (70, the runtime's "Permission denied") when the I/O ports cannot be reached. The
// configuration-space routines never fail, so a caller that raises errors checks
// it after each I/O call.
#define QELSMBUS_ERROR_NONE 0
#define QELSMBUS_ERROR_PERMISSION_DENIED 70
QELSMBUS_EXPORT int32_t QELSMBusLastError(void);

// Drops the backend and everything it read; the next call chooses again from the
// environment. For tests, while no other thread is in the library.
QELSMBUS_EXPORT void QELSMBusReset(void);

#if defined(__cplusplus)
}
#endif
