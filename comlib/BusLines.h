// The wiring of the bus on the parallel port, in one table: the data-register
// value of each line state in either polarity, and the status bits the bus code
// senses. Below it, the values of the four line states in force (first letter
// SDA, second SCL; H high, L low) with the always-high bits, and the registers of
// the selected port. Polarity lives in the line codes alone.
#pragma once
#include <cstdint>

#include "CommonGlobals.h"

namespace quorlink::lines {

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

inline uint8_t CodeHH() { return CommonGlobals::CodeSDAHighSCLHigh | CommonGlobals::BitsToStayHigh; }
inline uint8_t CodeLH() { return CommonGlobals::CodeSDALowSCLHigh | CommonGlobals::BitsToStayHigh; }
inline uint8_t CodeLL() { return CommonGlobals::CodeSDALowSCLLow | CommonGlobals::BitsToStayHigh; }
inline uint8_t CodeHL() { return CommonGlobals::CodeSDAHighSCLLow | CommonGlobals::BitsToStayHigh; }

inline int16_t DataRegister() { return CommonGlobals::PortAddress; }
// Register addresses wrap at 65536 like the 16-bit base they are added to.
inline int16_t StatusRegister() {
  return static_cast<int16_t>(static_cast<uint16_t>(CommonGlobals::PortAddress) + 1);
}

}  // namespace quorlink::lines
