// Fixture controls of the virtual board (qelboard_control.h).
#include "qelboard_control.h"

#include "export.h"
#include "virtual_board.h"

using parport2k::TheVirtualBoard;

namespace {
bool InEeprom(int32_t address) {
  return address >= 0 && static_cast<std::uint32_t>(address) < TheVirtualBoard().eeprom().size();
}
}  // namespace

extern "C" {

PARPORT2K_EXPORT void QelBoard_Reset(void) { TheVirtualBoard().Reset(); }

PARPORT2K_EXPORT int32_t QelBoard_GetSwitchByte(void) { return TheVirtualBoard().zqs472().switches(); }

PARPORT2K_EXPORT void QelBoard_SetSwitchByte(int32_t Value) {
  TheVirtualBoard().zqs472().set_switches(static_cast<std::uint8_t>(Value));
}

PARPORT2K_EXPORT int32_t QelBoard_ReadEeprom(int32_t Address) {
  if (!InEeprom(Address)) return -1;
  return TheVirtualBoard().eeprom().Peek(static_cast<std::uint32_t>(Address));
}

PARPORT2K_EXPORT int32_t QelBoard_WriteEeprom(int32_t Address, int32_t Value) {
  if (!InEeprom(Address)) return 0;
  TheVirtualBoard().eeprom().Poke(static_cast<std::uint32_t>(Address), static_cast<std::uint8_t>(Value));
  return 1;
}

PARPORT2K_EXPORT int32_t QelBoard_TraceTo(const char* Path) {
  try {
    return TheVirtualBoard().TraceTo(Path) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
