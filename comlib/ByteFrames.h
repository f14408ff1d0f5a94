// Pieces shared by the byte-level frames of the transactions, the EEPROM and the
// block transfers.
#pragma once
#include <cstdint>

#include "CommunicationsProcedures.h"

namespace quorlink {

// A written byte and its acknowledge clock; the acknowledge is not sensed.
inline void Write(float value) {
  CommunicationsProcedures::SendDataByte(value);
  CommunicationsProcedures::ClockSlaveAck();
}

// The bus address byte of a write phase (bit 0 clear) and of a read phase (bit 0 set).
inline uint8_t WritePhase(uint8_t address) { return address & 0xFE; }
inline uint8_t ReadPhase(uint8_t address) { return address | 0x01; }

// The same for the shared bus address of the EEPROM and the block transfers.
inline uint8_t WriteAddress() { return WritePhase(CommonGlobals::DeviceAddress); }
inline uint8_t ReadAddress() { return ReadPhase(CommonGlobals::DeviceAddress); }

}  // namespace quorlink
