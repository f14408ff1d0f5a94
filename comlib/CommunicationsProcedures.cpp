#include "CommunicationsProcedures.h"

#include "BusOperation.h"

namespace CommunicationsProcedures {

constinit Variables variables;

void Reset() { variables = Variables{}; }

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
