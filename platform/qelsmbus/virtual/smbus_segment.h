// The SMBus segment behind a virtual host controller: a two-wire bus with a memory
// module's SPD EEPROM (a 24C02 at 0x50) on it. The controller runs whole byte-data
// transactions; the segment clocks them onto the lines bit by bit, so the chip
// model decodes them as a real chip would.
#pragma once
#include <cstdint>
#include <optional>

#include "board/serial_eeprom.h"
#include "board/two_wire_bus.h"

namespace qelsmbus {

inline constexpr uint8_t kSpdAddress = 0x50;

class SmbusSegment {
 public:
  SmbusSegment();
  SmbusSegment(const SmbusSegment&) = delete;
  SmbusSegment& operator=(const SmbusSegment&) = delete;

  // Nothing when the device does not acknowledge.
  std::optional<uint8_t> ReadByteData(uint8_t address, uint8_t command);
  // False when the device does not acknowledge.
  bool WriteByteData(uint8_t address, uint8_t command, uint8_t data);

 private:
  void Start();
  void Stop();
  void SendBit(bool bit);
  bool ReceiveBit();
  bool SendByte(uint8_t byte);  // true when acknowledged
  uint8_t ReceiveByte(bool acknowledge);

  qelboard::TwoWireBus bus_;
  qelboard::SerialEeprom spd_{kSpdAddress, qelboard::k24C02};
};

}  // namespace qelsmbus
