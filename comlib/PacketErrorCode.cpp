// The SMBus packet error code: CRC-8 with the polynomial x^8 + x^2 + x + 1,
// initial value 0, most significant bit first, no final inversion. A byte is
// folded in through a table of the register's eight shift steps for each value of
// register XOR byte, which gives the same running values as working bit by bit.
#include <array>

#include "BlockTransfers.h"
#include "CommunicationsProcedures.h"
#include "com/convert.h"

namespace quorlink {

namespace {

constexpr int16_t kRunningValues = sizeof CommunicationsProcedures::PECData / sizeof CommunicationsProcedures::PECData[0];

// Eight steps of the register: each bit shifted out of the top flips bits 0, 1
// and 2 of the shifted register (XOR with the polynomial 0x07).
constexpr std::array<uint8_t, 256> kSteps = [] {
  std::array<uint8_t, 256> steps{};
  for (unsigned value = 0; value < 256; ++value) {
    unsigned reg = value;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x80) ? ((reg << 1) ^ 0x07) : (reg << 1);
    steps[value] = static_cast<uint8_t>(reg);
  }
  return steps;
}();

}  // namespace

uint8_t BlockTransfers::CalculatePEC(std::span<const float> message) {
  PECRegister = 0;
  for (PECIndex = 0; PECIndex < static_cast<int16_t>(message.size()); ++PECIndex) {
    PECRegister = kSteps[static_cast<uint8_t>(PECRegister) ^ comrt::ToUInt8(message[PECIndex])];
    // A message longer than the array keeps the running values of its first bytes.
    if (PECIndex < kRunningValues) CommunicationsProcedures::PECData[PECIndex] = PECRegister;
  }
  FinalPEC = PECRegister;
  return static_cast<uint8_t>(PECRegister);
}

}  // namespace quorlink
