// The line steps: one routine per bus element (BusElements.h), each on a port it
// claims for itself unless the port is claimed or locked open.
#include "BusElements.h"
#include "CommunicationsProcedures.h"
#include "PortClaim.h"
#include "qel/system.h"

namespace CommunicationsProcedures {

namespace {

using quorlink::lines::Elements;

// `element` runs on the step's lines, compiled for a bit delay that waits and for
// one that does not.
template <typename Element>
void Step(Element element) {
  quorlink::ClaimUnlessClaimed([&element] {
    if (quorlink::Waits(Delay)) {
      Elements<true> lines;
      element(lines);
    } else {
      Elements<false> lines;
      element(lines);
    }
  });
}

}  // namespace

void SendStartCondition() {
  Step([](auto& lines) { lines.Start(); });
}

void SendStopCondition() {
  Step([](auto& lines) { lines.Stop(); });
}

void SendPreStart() {
  Step([](auto& lines) { lines.PreStart(); });
}

void SendDataByte(float Value) {
  BitIndex = 8;
  Step([Value](auto& lines) { lines.Byte(Value); });
}

float ReceiveDataByte() {
  quorlink::lines::ClearReception();
  Step([](auto& lines) { lines.Receive(); });
  return DataByte;
}

void ClockSlaveAck() {
  Step([](auto& lines) { lines.SlaveAck(); });
}

std::optional<quorlink::Boolean> ClockAckAndSample() {
  std::optional<quorlink::Boolean> acknowledged;
  Step([&acknowledged](auto& lines) { acknowledged = lines.AckAndSample(); });
  return acknowledged;
}

// Measured on the timer in seconds whatever RelativeDelayOn says; the mark is
// taken before the claim, so the claim and the first two writes count into it.
// The hold yields, whatever the bit delay.
void ClockAckWithHold() {
  const float mark = WaitMark = Timer();
  quorlink::ClaimUnlessClaimed([mark] { Elements<true>().AckWithHold(mark); });
}

void SendMasterAck() {
  Step([](auto& lines) { lines.MasterAck(); });
}

void SendMasterNAck() {
  Step([](auto& lines) { lines.MasterNAck(); });
}

}  // namespace CommunicationsProcedures
