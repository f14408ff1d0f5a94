#include "CommunicationsProcedures.h"

#include "PortClaim.h"

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

void SetBitsToStayHigh(uint8_t Value) {
  CommonGlobals::BitsToStayHigh = Value;
  if (!quorlink::ClaimFirst()) return;
  // The value alone, without a line code: its bits 0 and 1 drive SCL and SDA
  // until the next line write.
  PortOutByte(CommonGlobals::PortAddress, Value);
  quorlink::ReleaseUnlessLocked();
}

void SetDataInverted(quorlink::Boolean Value) {
  CommonGlobals::DataInverted = static_cast<uint8_t>(Value);
  if (Value == quorlink::kTrue) CommonGlobals::InvertedLineCodes();
  if (Value == quorlink::kFalse) CommonGlobals::PlainLineCodes();
}

}  // namespace CommunicationsProcedures
