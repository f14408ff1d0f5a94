// The program's state and the only code that moves the switch byte between the
// program and the ZQS472. Bit i of the switch byte is switch S(i+1), 1 = on.
#pragma once
#include <cstdint>

namespace Comms {

extern uint8_t DeviceAddress;  // the chip's 7-bit address shifted left by one
extern bool VerifyWrites;      // read the switches back after every write
extern uint8_t SwitchState;    // the program's picture of the chip's switch byte

// Start-up: sets the defaults and shows the main window; touches no hardware.
void Main();

void WriteSwitchByte(uint8_t data);
uint8_t ReadSwitchByte();
void WriteSwitchState();
// Replaces SwitchState with the chip's byte, then sets the eight toggles from it.
void ReadSwitchState();

}  // namespace Comms
