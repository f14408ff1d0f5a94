// The line steps: one routine per bus element, each a short sequence of line
// writes. HH, LH, LL and HL write one line state (SDA first, SCL second); D is one
// bit delay.
#include "BusLines.h"
#include "CommunicationsProcedures.h"
#include "PortClaim.h"
#include "Waits.h"
#include "com/convert.h"
#include "com/error.h"
#include "qel/system.h"

namespace CommunicationsProcedures {

namespace {

using namespace quorlink::lines;

[[gnu::always_inline]] inline void HH() { PortOutByte(DataRegister(), CodeHH()); }
[[gnu::always_inline]] inline void LH() { PortOutByte(DataRegister(), CodeLH()); }
[[gnu::always_inline]] inline void LL() { PortOutByte(DataRegister(), CodeLL()); }
[[gnu::always_inline]] inline void HL() { PortOutByte(DataRegister(), CodeHL()); }
[[gnu::always_inline]] inline void D() { CommonGlobals::BitDelay(); }
uint8_t Status() { return PortInByte(StatusRegister()); }

void SendOneBit() {
  D(); HL(); D(); HH(); D(); HL(); D(); LL();
}

// SDA goes low while SCL is low, so the doubled LL at the end is harmless.
void SendZeroBit() {
  D(); LL(); LH(); D(); LL(); LL();
}

// Reception ignores port errors: a write that fails is skipped, and a reading
// that fails keeps the previous status.
void WriteIgnoringErrors(void (*write)()) {
  try {
    write();
  } catch (const comrt::Error&) {
  }
}

void ReadStatusIgnoringErrors() {
  try {
    StatusByte = Status();
  } catch (const comrt::Error&) {
  }
}

}  // namespace

void SendStartCondition() {
  quorlink::ClaimUnlessClaimed([] { HH(); D(); LH(); D(); LL(); });
}

void SendStopCondition() {
  quorlink::ClaimUnlessClaimed([] { LL(); D(); LH(); D(); HH(); });
}

// SDA rises while SCL is low, so the return to idle makes no stop condition.
void SendPreStart() {
  quorlink::ClaimUnlessClaimed([] { LL(); D(); HL(); HL(); D(); HH(); });
}

void SendDataByte(float Value) {
  BitIndex = 8;
  quorlink::ClaimUnlessClaimed([Value] {
    int32_t integer = 0;
    for (BitCount = 0; BitCount < 8; ++BitCount) {
      --BitIndex;
      // The value is the caller's copy, so the first pass's conversion stands for
      // every pass; an overflow strikes there, before the first write.
      if (BitCount == 0) integer = comrt::ToInt32(Value);
      const int32_t mask = 1 << BitIndex;
      if ((integer & mask) > 0) {
        SendOneBit();
      } else {
        SendZeroBit();
      }
    }
  });
}

float ReceiveDataByte() {
  BitIndex = 7;
  StatusByte = 0;
  DataByte = 0;
  quorlink::ClaimUnlessClaimed([] {
    WriteIgnoringErrors(LL);
    const uint8_t sda = VideoSoftware ? kWiring.statusSDAVideo : kWiring.statusSDA;
    for (BitCount = 0; BitCount < 8; ++BitCount) {
      D();
      WriteIgnoringErrors(HL);
      WriteIgnoringErrors(HH);
      D();
      ReadStatusIgnoringErrors();
      WriteIgnoringErrors(HL);
      if (StatusByte & sda) DataByte |= static_cast<uint8_t>(1u << BitIndex);
      if (BitIndex > 0) --BitIndex;
    }
    // A set status bit is a low SDA: a 0 data bit, whatever DataInverted says.
    DataByte = static_cast<uint8_t>(~DataByte);
  });
  return DataByte;
}

void ClockSlaveAck() {
  quorlink::ClaimUnlessClaimed([] { D(); HL(); HH(); D(); HL(); LL(); });
}

std::optional<quorlink::Boolean> ClockAckAndSample() {
  std::optional<quorlink::Boolean> acknowledged;
  quorlink::ClaimUnlessClaimed([&acknowledged] {
    HL(); HH();
    const bool bitSet = (Status() & kWiring.statusAck) != 0;
    acknowledged = quorlink::ToBoolean(CommonGlobals::DataInverted ? bitSet : !bitSet);
    D(); HL(); LL();
  });
  return acknowledged;
}

// Measured on the timer in seconds whatever RelativeDelayOn says; the mark is
// taken before the claim, so the claim and the first two writes count into it.
void ClockAckWithHold() {
  const float mark = WaitMark = Timer();
  quorlink::ClaimUnlessClaimed([mark] {
    HL(); HH();
    quorlink::HoldUntil(mark, 0.1);
    HL(); LL();
  });
}

void SendMasterAck() {
  quorlink::ClaimUnlessClaimed([] { LL(); LH(); D(); LL(); });
}

void SendMasterNAck() {
  quorlink::ClaimUnlessClaimed([] { HL(); HH(); D(); HL(); LL(); });
}

}  // namespace CommunicationsProcedures
