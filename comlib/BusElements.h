// The bus elements the line steps and the transactions are made of, each a short
// sequence of line writes on one step's lines (BusLines.h). HH, LH, LL and HL write
// one line state (SDA first, SCL second); D is one bit delay.
#pragma once
#include <cstdint>

#include "Boolean.h"
#include "BusLines.h"
#include "CommunicationsProcedures.h"
#include "com/convert.h"
#include "com/error.h"

namespace quorlink::lines {

// What reception starts from, set before the step claims the port.
inline void ClearReception() {
  CommunicationsProcedures::BitIndex = 7;
  CommunicationsProcedures::StatusByte = 0;
  CommunicationsProcedures::DataByte = 0;
}

// On one step's lines; without kMayYield the caller has made sure that the bit
// delay does not wait.
template <bool kMayYield>
class Elements : StepLines<kMayYield> {
  using Base = StepLines<kMayYield>;

 public:
  using Base::D, Base::HH, Base::LH, Base::LL, Base::HL, Base::Status;

  void Start() { HH(); D(); LH(); D(); LL(); }
  void Stop() { LL(); D(); LH(); D(); HH(); }
  // SDA rises while SCL is low, so the return to idle makes no stop condition.
  void PreStart() { LL(); D(); HL(); HL(); D(); HH(); }
  void OneBit() { D(); HL(); D(); HH(); D(); HL(); D(); LL(); }
  // SDA goes low while SCL is low, so the doubled LL at the end is harmless.
  void ZeroBit() { D(); LL(); LH(); D(); LL(); LL(); }
  void SlaveAck() { D(); HL(); HH(); D(); HL(); LL(); }
  void MasterAck() { LL(); LH(); D(); LL(); }
  void MasterNAck() { HL(); HH(); D(); HL(); LL(); }

  // The low 8 bits of the nearest integer, MSB first.
  void Byte(float value) {
    // BitCount and BitIndex stand at the first bit should the conversion overflow.
    CommunicationsProcedures::BitCount = 0;
    CommunicationsProcedures::BitIndex = 7;
    Bits(comrt::ToInt32(value));
  }
  // A byte the library holds as a byte: nothing to convert.
  void Byte(uint8_t value) { Bits(value); }

  // A written byte and its acknowledge clock, as quorlink::Write.
  template <typename Value>
  void Write(Value value) {
    Byte(value);
    SlaveAck();
  }

  // Sampled on each rising clock into StatusByte, collected into DataByte; starts
  // from what ClearReception leaves.
  void Receive() {
    using namespace CommunicationsProcedures;
    IgnoringErrors([this] { LL(); });
    const uint8_t sda = VideoSoftware ? kWiring.statusSDAVideo : kWiring.statusSDA;
    for (BitCount = 0; BitCount < 8; ++BitCount) {
      D();
      IgnoringErrors([this] { HL(); });
      IgnoringErrors([this] { HH(); });
      D();
      IgnoringErrors([this] { StatusByte = Status(); });
      IgnoringErrors([this] { HL(); });
      if (StatusByte & sda) DataByte |= static_cast<uint8_t>(1u << BitIndex);
      if (BitIndex > 0) --BitIndex;
    }
    // A set status bit is a low SDA: a 0 data bit, whatever DataInverted says.
    DataByte = static_cast<uint8_t>(~DataByte);
  }
  float ReceiveByte() {
    ClearReception();
    Receive();
    return CommunicationsProcedures::DataByte;
  }

  Boolean AckAndSample() {
    HL(); HH();
    const bool bitSet = (Status() & kWiring.statusAck) != 0;
    const Boolean acknowledged = ToBoolean(CommonGlobals::DataInverted ? bitSet : !bitSet);
    D(); HL(); LL();
    return acknowledged;
  }

  void AckWithHold(float mark) {
    HL(); HH();
    Base::HoldUntil(mark, 0.1);
    HL(); LL();
  }

 private:
  // The low 8 bits of `integer`, MSB first; BitCount and BitIndex follow the bit
  // being sent.
  void Bits(int32_t integer) {
    using CommunicationsProcedures::BitCount, CommunicationsProcedures::BitIndex;
    for (int index = 7; index >= 0; --index) {
      BitCount = static_cast<uint8_t>(7 - index);
      BitIndex = static_cast<uint8_t>(index);
      if (integer >> index & 1) {
        OneBit();
      } else {
        ZeroBit();
      }
    }
    BitCount = 8;
  }

  // Reception ignores port errors: a write that fails is skipped, and a reading
  // that fails keeps the previous status.
  template <typename Access>
  static void IgnoringErrors(Access access) {
    try {
      access();
    } catch (const comrt::Error&) {
    }
  }
};

}  // namespace quorlink::lines
