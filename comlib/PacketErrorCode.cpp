// The SMBus packet error code: CRC-8 with the polynomial x^8 + x^2 + x + 1,
// initial value 0, most significant bit first, no final inversion. Worked bit by
// bit: each bit's feedback flips bits 0, 1 and 2 of the shifted register.
#include <cmath>

#include "BlockTransfers.h"
#include "CommunicationsProcedures.h"
#include "com/convert.h"

namespace quorlink {

namespace {
constexpr int16_t kRunningValues = sizeof CommunicationsProcedures::PECData / sizeof CommunicationsProcedures::PECData[0];
}  // namespace

uint8_t BlockTransfers::CalculatePEC(std::span<const float> message) {
  PECRegister = 0;
  PECFeedback = 0;
  for (PECIndex = 0; PECIndex < static_cast<int16_t>(message.size()); ++PECIndex) {
    FoldIn(comrt::ToUInt8(message[PECIndex]));
  }
  FinalPEC = PECRegister;
  return static_cast<uint8_t>(PECRegister);
}

void BlockTransfers::FoldIn(uint8_t byte) {
  for (int bit = 7; bit >= 0; --bit) {
    const auto in = static_cast<int32_t>(ShiftRight(byte, static_cast<uint8_t>(bit)));
    const auto top = static_cast<int32_t>(ShiftRight(static_cast<uint8_t>(PECRegister), 7));
    PECFeedback = static_cast<int16_t>((in ^ top) & 1);
    PECRegister = static_cast<int16_t>(ShiftLeft(PECRegister, 1));
    for (PECStep = 1; PECStep <= 3; ++PECStep) {
      PECRegister ^= PECFeedback;
      if (PECStep < 3) PECFeedback = static_cast<int16_t>(ShiftLeft(PECFeedback, 1));
    }
  }
  // A message longer than the array keeps the running values of its first bytes.
  if (PECIndex < kRunningValues) CommunicationsProcedures::PECData[PECIndex] = PECRegister;
  PECFeedback = 0;
}

int32_t BlockTransfers::ShiftLeft(int16_t Value, int16_t Bits) {
  return comrt::ToInt32(std::ldexp(static_cast<double>(Value), Bits)) & 0xFF;
}

double BlockTransfers::ShiftRight(uint8_t Value, uint8_t Bits) { return std::floor(std::ldexp(static_cast<double>(Value), -Bits)); }

}  // namespace quorlink
