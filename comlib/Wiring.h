// The wiring of the bus on the parallel port, in one table: the data-register
// value of each line state in either polarity, and the status bits the bus code
// senses. It depends on nothing else of the library.
#pragma once
#include <cstdint>

namespace quorlink::lines {

// One value for each line state (first SDA, second SCL).
struct LineCodes {
  uint8_t sdaHighSclHigh, sdaLowSclHigh, sdaLowSclLow, sdaHighSclLow;
};

inline constexpr struct Wiring {
  LineCodes plain{3, 1, 0, 2};     // a set data bit puts its line high
  LineCodes inverted{0, 2, 3, 1};  // a set data bit pulls its line low
  uint8_t statusSDA = 0x10;        // received bits and acknowledges
  uint8_t statusSDAVideo = 0x08;   // received bits with VideoSoftware
  uint8_t statusAck = 0x02;        // the sampled acknowledge
} kWiring{};

}  // namespace quorlink::lines
