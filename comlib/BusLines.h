// The data-register values of the four line states (first letter SDA, second SCL;
// H high, L low) with the always-high bits, and the registers of the selected port.
// Polarity lives in the line codes alone.
#pragma once
#include <cstdint>

#include "CommonGlobals.h"

namespace quorlink::lines {

inline uint8_t CodeHH() { return CommonGlobals::CodeSDAHighSCLHigh | CommonGlobals::BitsToStayHigh; }
inline uint8_t CodeLH() { return CommonGlobals::CodeSDALowSCLHigh | CommonGlobals::BitsToStayHigh; }
inline uint8_t CodeLL() { return CommonGlobals::CodeSDALowSCLLow | CommonGlobals::BitsToStayHigh; }
inline uint8_t CodeHL() { return CommonGlobals::CodeSDAHighSCLLow | CommonGlobals::BitsToStayHigh; }

inline int16_t DataRegister() { return CommonGlobals::PortAddress; }
// Register addresses wrap at 65536 like the 16-bit base they are added to.
inline int16_t StatusRegister() {
  return static_cast<int16_t>(static_cast<uint16_t>(CommonGlobals::PortAddress) + 1);
}

// Status bits sensed by the bus code.
inline constexpr uint8_t kStatusSDA = 0x10;
inline constexpr uint8_t kStatusSDAVideo = 0x08;
inline constexpr uint8_t kStatusAck = 0x02;

}  // namespace quorlink::lines
