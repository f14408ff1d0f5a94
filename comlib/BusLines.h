// The wiring (Wiring.h) as it stands: the values of the four line states in force
// (first letter SDA, second SCL; H high, L low) with the always-high bits, and the
// registers of the selected port. Polarity lives in the line codes alone. Then the
// four line writes, written once for every routine that drives the lines, and the
// lines of one line step.
#pragma once
#include <cstdint>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "Parport2k.h"
#include "Waits.h"
#include "Wiring.h"

namespace quorlink::lines {

// What HH, LH, LL and HL write: the line codes in force ORed with the always-high bits.
inline LineCodes InForce() {
  const uint8_t high = CommonGlobals::BitsToStayHigh;
  return {static_cast<uint8_t>(CommonGlobals::CodeSDAHighSCLHigh | high),
          static_cast<uint8_t>(CommonGlobals::CodeSDALowSCLHigh | high),
          static_cast<uint8_t>(CommonGlobals::CodeSDALowSCLLow | high),
          static_cast<uint8_t>(CommonGlobals::CodeSDAHighSCLLow | high)};
}

inline int16_t DataRegister() { return CommonGlobals::RegisterAddress(CommonGlobals::kDataRegister); }
inline int16_t StatusRegister() { return CommonGlobals::RegisterAddress(CommonGlobals::kStatusRegister); }

// The four line writes, each one byte, its state's value, to the data register
// through `Out`, whose guard decides whether the port is written: PortOutByte
// (claimed or locked open) for the line steps, OutputByte (claimed) for the
// acknowledge wait. The values and the register are read when the writes are
// made, and again by Read(): after anything that yields to the host's message
// loop, whose handlers may change them.
template <void (*Out)(int16_t, uint8_t)>
class LineWrites {
 public:
  LineWrites() { Read(); }
  LineWrites(const LineWrites&) = delete;
  LineWrites& operator=(const LineWrites&) = delete;

  void HH() const { Out(data_, codes_.sdaHighSclHigh); }
  void LH() const { Out(data_, codes_.sdaLowSclHigh); }
  void LL() const { Out(data_, codes_.sdaLowSclLow); }
  void HL() const { Out(data_, codes_.sdaHighSclLow); }

  void Read() {
    data_ = DataRegister();
    codes_ = InForce();
  }

 private:
  int16_t data_;
  LineCodes codes_;
};

// A line step's write: by PortOutByte's guard where the step may yield, unguarded
// where the port is known to act throughout.
template <bool kMayYield>
void StepWrite(int16_t port, uint8_t value) {
  if constexpr (kMayYield) {
    CommunicationsProcedures::PortOutByte(port, value);
  } else {
    parport2k::OutByte(port, value);
  }
}

// The lines of one line step, which starts on a port that acts (claimed or locked
// open), with its bit delays and status readings. With a bit delay that does not
// wait and no hold, only the port library runs between its writes, so what they
// depend on holds for the whole step: `kMayYield` false is that case, compiled
// without tests. A wait yields to the host's message loop, and what that runs may
// change any of it, so with `kMayYield` the lines are read again after every wait
// and each access asks whether the port still acts.
template <bool kMayYield>
class StepLines : public LineWrites<StepWrite<kMayYield>> {
 public:
  // One bit delay.
  void D() {
    if constexpr (kMayYield) {
      CommonGlobals::BitDelay();
      this->Read();
    }
  }
  // SCL held from `mark` until `seconds` have passed on the timer.
  void HoldUntil(float mark, double seconds) {
    static_assert(kMayYield);
    quorlink::HoldUntil(mark, seconds);
    this->Read();
  }
  uint8_t Status() const {
    if constexpr (kMayYield) {
      return CommunicationsProcedures::PortInByte(StatusRegister());
    } else {
      return static_cast<uint8_t>(parport2k::InByte(StatusRegister()));
    }
  }
};

}  // namespace quorlink::lines
