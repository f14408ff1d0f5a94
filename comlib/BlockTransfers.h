// The block transfers of the bus master: block write (command 0xA0, a count byte
// and that many data bytes) and block read (command 0xA1, a count byte that must
// be 32 and 32 data bytes), each with an optional SMBus packet error code, and the
// state they leave. The state belongs to one bus master object; the bus address
// and the running values of the last packet error code (PECData) are process-wide.
#pragma once
#include <cstdint>
#include <functional>
#include <span>

#include "Boolean.h"
#include "com/variant.h"

namespace quorlink {

class BlockTransfers {
 public:
  // Cleared when the object is made.
  int16_t FinalPEC = 0;  // the packet error code of the last calculation; clients may overwrite it
  uint8_t ByteCountRead = 0;
  int16_t BlockReadData[38] = {};
  Boolean UsePEC = kFalse;
  Boolean PECOK = kFalse;
  int16_t PECIndex = 0;
  int16_t PECRegister = 0;
  uint8_t BlockReadIndex = 0;
  uint8_t ReceivedPEC = 0;
  Boolean BlockWriteWaitAck = kFalse;

  // Sends the message 0xA0, ByteCount and elements 3 to ByteCount + 2 of the array
  // in Data (any element type that converts to a number, any lower bound; the
  // indices 0 to ByteCount + 2 must exist), then with UsePEC the packet error code.
  // The caller's array is never changed.
  void BlockWrite(uint8_t ByteCount, const VARIANT& Data);

  // Reads a block of 32 bytes into BlockReadData. False when the count byte was not
  // 32: `reportWrongCount` runs while the transfer is still open (its event
  // handlers may drive line steps, never another transfer), then the transfer
  // stops where it stands, with the port still claimed.
  bool BlockRead(const std::function<void()>& reportWrongCount = {});

  // New arrays of 16-bit integers, indices 0 to 37.
  comrt::Variant GetBlockReadData() const;
  static comrt::Variant GetPECData();

  // The packet error code of `message`, each value converted to a byte (nearest,
  // ties to even; outside 0 to 255 an overflow). Leaves it in FinalPEC and the
  // running value after each of the first 38 bytes in PECData.
  uint8_t CalculatePEC(std::span<const float> message);
};

}  // namespace quorlink
