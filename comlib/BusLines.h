// The wiring of the bus on the parallel port, in one table: the data-register
// value of each line state in either polarity, and the status bits the bus code
// senses. Below it, the values of the four line states in force (first letter
// SDA, second SCL; H high, L low) with the always-high bits, and the registers of
// the selected port. Polarity lives in the line codes alone. Last, the line
// writes of the line steps.
#pragma once
#include <cstdint>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "Parport2k.h"
#include "Waits.h"

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

// The line writes and bit delays of one line step, by PortOutByte's rule (only
// while the port is claimed or locked open), with what they depend on read once:
// the four codes and the registers. A step starts on a port that acts (claimed or
// locked open). With a bit delay that does not wait and no hold, only the port
// library runs between its writes, so all of them hold for the whole step:
// `kMayYield` false is that case, compiled without tests. A wait yields to the
// host's message loop, and what that runs may change any of them, so with
// `kMayYield` they are read again after every wait and each write asks whether
// the port still acts.
template <bool kMayYield>
class StepLines {
 public:
  StepLines() { Read(); }
  StepLines(const StepLines&) = delete;
  StepLines& operator=(const StepLines&) = delete;

  void HH() const { Write(hh_); }
  void LH() const { Write(lh_); }
  void LL() const { Write(ll_); }
  void HL() const { Write(hl_); }
  // One bit delay.
  void D() {
    if constexpr (kMayYield) {
      CommonGlobals::BitDelay();
      Read();
    }
  }
  // SCL held from `mark` until `seconds` have passed on the timer.
  void HoldUntil(float mark, double seconds) {
    static_assert(kMayYield);
    quorlink::HoldUntil(mark, seconds);
    Read();
  }
  uint8_t Status() const { return Acts() ? static_cast<uint8_t>(parport2k::InByte(StatusRegister())) : 0; }

 private:
  void Read() {
    if constexpr (kMayYield) acts_ = CommonGlobals::PortClaimed || CommonGlobals::LockPortOpen;
    data_ = DataRegister();
    hh_ = CodeHH();
    lh_ = CodeLH();
    ll_ = CodeLL();
    hl_ = CodeHL();
  }
  bool Acts() const { return !kMayYield || acts_; }
  void Write(uint8_t code) const {
    if (Acts()) parport2k::OutByte(data_, code);
  }

  bool acts_ = true;
  int16_t data_;
  uint8_t hh_, lh_, ll_, hl_;
};

}  // namespace quorlink::lines
