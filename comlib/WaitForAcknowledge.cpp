// The acknowledge wait. Unlike the line steps it writes and reads through
// OutputByte and InputByte, which act only while the port is claimed.
#include "BusLines.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "PortClaim.h"
#include "Waits.h"
#include "qel/system.h"

namespace CommonGlobals {

namespace {

using quorlink::lines::kWiring;
using quorlink::lines::StatusRegister;

// Each write reads the lines anew: the wait yields to the host's message loop.
using Lines = quorlink::lines::LineWrites<OutputByte>;

// Reads the status until `acknowledged` holds or the timeout has passed since the
// SDA release; the status is read at least once, and the time-out is tested only
// after a yield.
template <typename Acknowledged>
bool AcknowledgeWithin(int16_t timeout, Acknowledged acknowledged) {
  const float start = Timer();
  CommunicationsProcedures::WaitMark = start + static_cast<float>(timeout);
  quorlink::Deadline deadline(start, CommunicationsProcedures::WaitMark);
  for (;;) {
    if (acknowledged(InputByte(StatusRegister()))) return true;
    DoEvents();
    if (deadline.Passed()) return false;
  }
}

}  // namespace

quorlink::Boolean WaitForAcknowledge(int16_t Timeout) {
  if (PortClaimed) {
    Lines().HL();
    const bool seen = AcknowledgeWithin(Timeout, [](uint8_t status) {
      return ((status & kWiring.statusSDA) != 0) == (DataInverted != 0);
    });
    if (!seen) return quorlink::kFalse;  // lines left at HL, the claim kept
    Lines().LH();
    BitDelay();
    Lines().LL();
    return quorlink::kTrue;
  }
  if (!quorlink::ClaimFirst()) return quorlink::kTrue;  // nothing driven
  Lines().HL();
  // On a port it claims itself the wait takes a set bit as the acknowledge.
  const bool seen = AcknowledgeWithin(Timeout, [](uint8_t status) { return (status & kWiring.statusSDA) != 0; });
  if (!seen) return quorlink::kFalse;
  Lines().HH();
  BitDelay();
  Lines().LL();
  quorlink::ReleaseUnlessLocked();
  return quorlink::kTrue;
}

}  // namespace CommonGlobals
