#include "CommunicationsProcedures.h"

#include <algorithm>
#include <iterator>

#include "BusOperation.h"

using quorlink::kFalse;

namespace CommunicationsProcedures {

uint8_t OrBits = 0;
quorlink::Boolean CheckForAck = kFalse;
quorlink::Boolean ThereWasNoAck = kFalse;
float Delay = 0;
uint8_t AddressPointer = 0;
float WaitMark = 0;
quorlink::Boolean RepeatedStart = kFalse;
float FrameDelay = 0;
quorlink::Boolean RelativeDelayOn = kFalse;
quorlink::Boolean VideoSoftware = kFalse;
quorlink::Boolean ActAsMaster = kFalse;
int16_t PECData[38] = {};
uint8_t BitCount = 0;
uint8_t BitIndex = 0;
uint8_t DataByte = 0;
uint8_t StatusByte = 0;

void Reset() {
  OrBits = 0;
  CheckForAck = ThereWasNoAck = kFalse;
  Delay = 0;
  AddressPointer = 0;
  WaitMark = 0;
  RepeatedStart = kFalse;
  FrameDelay = 0;
  RelativeDelayOn = VideoSoftware = ActAsMaster = kFalse;
  std::fill(std::begin(PECData), std::end(PECData), int16_t{0});
  BitCount = BitIndex = DataByte = StatusByte = 0;
}

// Stored before the claim, so also when the port cannot be claimed.
void SetBitsToStayHigh(uint8_t Value) {
  quorlink::OnBus(quorlink::Claim::None, quorlink::Close::Release, [Value] {
    CommonGlobals::BitsToStayHigh = Value;
    // The value alone, without a line code: its bits 0 and 1 drive SCL and SDA
    // until the next line write.
    if (quorlink::ClaimFirst()) PortOutByte(CommonGlobals::PortAddress, Value);
  });
}

void SetDataInverted(quorlink::Boolean Value) {
  CommonGlobals::DataInverted = static_cast<uint8_t>(Value);
  if (Value == quorlink::kTrue) CommonGlobals::InvertedLineCodes();
  if (Value == quorlink::kFalse) CommonGlobals::PlainLineCodes();
}

}  // namespace CommunicationsProcedures
