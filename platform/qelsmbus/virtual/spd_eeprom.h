// The serial presence-detect EEPROM of a memory module: 256 bytes, one-byte
// memory address, byte-data reads and writes.
#pragma once
#include <array>

#include "smbus_segment.h"

namespace qelsmbus {

inline constexpr uint8_t kSpdAddress = 0x50;

class SpdEeprom final : public SmbusDevice {
 public:
  SpdEeprom();
  uint8_t ReadByteData(uint8_t command) override { return memory_[command]; }
  void WriteByteData(uint8_t command, uint8_t data) override { memory_[command] = data; }

 private:
  std::array<uint8_t, 256> memory_{};
};

}  // namespace qelsmbus
