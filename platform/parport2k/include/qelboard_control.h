/* Fixture controls of the virtual evaluation board inside libparport2k.so, for
 * tests that preset or inspect the chips. Nothing in the product calls them.
 *
 * The board: on port 1 (base 0x378) data bit 0 drives SCL and bit 1 drives SDA
 * through inverting open-collector drivers (a set bit pulls its line low); status
 * bits 4, 3 and 1 read set while SDA is low, the other status bits read 0; the
 * control register stores and returns its byte; the data register returns the
 * last byte written. Port 2 (base 0x278) has nothing attached: its status reads 0
 * (lines high). Reads of an address no port has give 0xFF, writes there change
 * nothing. The ports do not insist on a claim.
 * On the bus: the ZQS472 at 7-bit address 0x48 and a 24C32-like EEPROM (4096
 * bytes, two-byte memory address) at 0x50.
 *
 * The functions act on the board model whichever backend is in force; it is only
 * reachable through the ports when QEL_BOARD=virtual. */
#ifndef QELBOARD_CONTROL_H
#define QELBOARD_CONTROL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Board and ports as at load: registers 0, no claims, lines released, switches 0,
 * EEPROM erased to 0xFF with its address counter at 0. A running trace goes on. */
void QelBoard_Reset(void);

int32_t QelBoard_GetSwitchByte(void);
void QelBoard_SetSwitchByte(int32_t Value); /* low 8 bits */

/* EEPROM byte at Address (0 to 4095), or -1 for an address outside it. */
int32_t QelBoard_ReadEeprom(int32_t Address);
/* 1 when written (low 8 bits of Value), 0 for an address outside 0 to 4095. */
int32_t QelBoard_WriteEeprom(int32_t Address, int32_t Value);

/* Starts a VCD trace of SCL and SDA into Path (replacing a running one), one time
 * step per write to port 1; a null Path stops and closes it. 1 on success, 0 when
 * the file cannot be created or its header cannot be written. QEL_BOARD_TRACE=Path starts one when the virtual
 * backend is chosen. */
int32_t QelBoard_TraceTo(const char* Path);

#ifdef __cplusplus
}
#endif

#endif
