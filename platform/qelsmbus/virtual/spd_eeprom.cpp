#include "spd_eeprom.h"

#include <numeric>

namespace qelsmbus {

// A 128 MB PC133 SDRAM module: the first bytes describe it, byte 63 is their checksum.
SpdEeprom::SpdEeprom() {
  constexpr uint8_t kDescription[] = {0x80, 0x08, 0x04, 0x0C, 0x09, 0x01, 0x40, 0x00, 0x01, 0x75, 0x54, 0x00,
                                      0x80, 0x08, 0x00, 0x01, 0x8F, 0x04, 0x06, 0x01, 0x01, 0x00, 0x0E};
  std::copy(std::begin(kDescription), std::end(kDescription), memory_.begin());
  memory_[62] = 0x12;
  memory_[63] = static_cast<uint8_t>(std::accumulate(memory_.begin(), memory_.begin() + 63, 0u));
}

}  // namespace qelsmbus
