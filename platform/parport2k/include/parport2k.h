/* The parallel-port access library libparport2k.so: enumerates the PC's parallel
 * ports, claims one, and reads and writes single bytes at I/O addresses. Every
 * argument and result is 32 bits; ports are numbered from 1.
 *
 * Backend, chosen at the first call by the environment variable QEL_BOARD:
 *   unset (or anything but "virtual"): the ports of the Linux ppdev driver,
 *     /dev/parportN with their base addresses from /proc/sys/dev/parport/parportN/base-addr,
 *     in the order of N, read at each GetParallelPortCount; GetParallelPortInfo
 *     and the claims use the list of the last count. A port's device is opened
 *     at its first claim and stays open until the library is unloaded, shared
 *     with the printer driver and other programs, which may use the port while
 *     this process does not hold it claimed. QEL_PARPORT_DEV_ROOT and
 *     QEL_PARPORT_PROC_ROOT replace "/dev" and "/proc" (read at each use, for
 *     test trees).
 *   "virtual": port 1 at 0x378 with the virtual evaluation board cabled to it,
 *     port 2 at 0x278 with nothing attached (see qelboard_control.h).
 *
 * Bad input never crashes: a port number no port has, a null record or one whose
 * Size is below 12 gives 0 and writes nothing; releasing a port that is not
 * claimed does nothing. Calls are made from one thread at a time.
 *
 * A child made by fork() inherits none of its parent's claims: it neither uses
 * nor releases them (its OutByte and InByte at the registers of a port the
 * parent held fail with PARPORT_ERROR_DEVICE_IO until the child claims that port
 * itself, its ReleaseParallelPort and its unload leave them standing) and opens
 * a device of its own at its first claim.
 *
 * Signals: a claim of a ppdev port may have to wait for another holder, and the
 * kernel's wait is ended by a signal. At its first claim the library takes the
 * highest real-time signal (SIGRTMAX downwards) whose action is the default,
 * installs a handler of its own that does nothing and restarts interrupted
 * calls, and sends it to the claiming thread only while that thread waits in
 * the kernel's claim (the signal unblocked there meanwhile): 10 ms into the
 * wait, then every millisecond until the claim returns. Before each claim it
 * checks that the handler is still its own: a caller that has since set that
 * signal to anything else keeps it, and the library takes the next free one.
 * When no real-time signal is free, claims are refused rather than left to wait
 * without a limit. When the library is unloaded, its signal, if the handler is
 * still the library's, is set to be ignored. The virtual board uses no signal. */
#ifndef PARPORT2K_H
#define PARPORT2K_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 12 bytes, little-endian. The caller clears it and sets Size to 12; a successful
 * GetParallelPortInfo writes BaseAddress only. */
typedef struct ParallelPortInfo {
  uint32_t Size;
  uint32_t BaseAddress;
  uint32_t Reserved; /* never read or written by the library */
} ParallelPortInfo;

/* Number of ports; 0 when there is none. */
int32_t GetParallelPortCount(void);

/* 1 and the port's base I/O address in Info->BaseAddress; 0 on bad input. */
int32_t GetParallelPortInfo(int32_t PortNumber, ParallelPortInfo* Info);

/* 1 when this process now holds the port; 0 when it does not (no such port,
 * the device cannot be opened, refused by the driver, still held by another
 * program or driver after half a second, or no real-time signal free to limit
 * the wait). A refusal is told on standard error with its reason and remedy,
 * once per port and reason: a later refusal for another reason (another errno,
 * another holder) is told again. Mode is not used; callers pass -1. Claiming a
 * port this process already holds succeeds and keeps the one claim: one release
 * gives it up. The port's registers keep their values from a release to the
 * next claim, also when a refused claim came between them. */
int32_t ClaimParallelPort(int32_t PortNumber, int32_t Mode);

/* Gives the port up: 1 when it was claimed, 0 (and no effect) otherwise. */
int32_t ReleaseParallelPort(int32_t PortNumber);

/* I/O address: the low 16 bits count, so a signed 16-bit address widened with
 * its sign reaches the same register. The data (base+0), status (base+1) and
 * control (base+2) registers of a port this process has claimed go through the
 * driver; a write to the status register changes nothing. In the control
 * register the driver writes bits 0-3 and bit 5 (data lines turned to input);
 * bit 4 (interrupt enable) stays the driver's, and bits 4, 6 and 7 read 0. Every other address
 * goes through /dev/port. OutByte returns 1 when written, 0 when refused; InByte
 * returns the byte in its low 8 bits, or 0 when refused. */
int32_t OutByte(int32_t Address, int32_t Value);
int32_t InByte(int32_t Address);

/* Why the calling thread's last OutByte or InByte was refused; 0 after one that
 * succeeded. A caller that raises errors checks it after every OutByte and InByte.
 *   PARPORT_ERROR_PERMISSION_DENIED (70, the runtime's "Permission denied"): this
 *     user may not make the access (no access to /dev/port, or the driver refusing
 *     a claimed port's register for want of rights).
 *   PARPORT_ERROR_DEVICE_IO (57, the runtime's "Device I/O error"): the device
 *     failed the access for another reason (the driver answering EINVAL, as for a
 *     descriptor that no longer holds its claim, ENODEV for a port that is gone,
 *     or EIO; a transfer through /dev/port that failed).
 * The virtual board never refuses. */
#define PARPORT_ERROR_NONE 0
#define PARPORT_ERROR_PERMISSION_DENIED 70
#define PARPORT_ERROR_DEVICE_IO 57
int32_t ParPortLastError(void);

#ifdef __cplusplus
}
static_assert(sizeof(ParallelPortInfo) == 12, "ParallelPortInfo is a 12-byte record");
#endif

#endif
