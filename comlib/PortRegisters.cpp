#include "PortRegisters.h"

#include "BusOperation.h"
#include "CommonGlobals.h"
#include "Parport2k.h"

namespace quorlink {

using CommonGlobals::RegisterAddress;

// A register access is a bus operation: made from a yield inside a transaction it
// would write between the transaction's line steps and release the port under it.
// An access error ends the call before the release, leaving the claim standing.
void WriteRegister(int16_t offset, Claim claim, uint8_t value) {
  OnBus(claim, Close::Release, [&] { parport2k::OutByte(RegisterAddress(offset), value); });
}

uint8_t ReadRegister(int16_t offset, Claim claim) {
  uint8_t value = 0;
  OnBus(claim, Close::Release,
        [&] { value = static_cast<uint8_t>(parport2k::InByte(RegisterAddress(offset))); });
  return value;
}

}  // namespace quorlink
