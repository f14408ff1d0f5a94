// The three ways an operation claims the selected port and gives it back.
// An operation that ends with an error before its release keeps the claim; the next
// ClaimPort releases it and claims again.
#pragma once
#include "CommonGlobals.h"

namespace quorlink {

// Claim first: false means the operation does nothing and its reads give 0.
inline bool ClaimFirst() { return CommonGlobals::ClaimPort() != 0; }

// Claim unless locked: a port held open needs no claim.
inline bool ClaimUnlessLocked() { return CommonGlobals::LockPortOpen || ClaimFirst(); }

// The end of an operation of either form above.
inline void ReleaseUnlessLocked() {
  if (!CommonGlobals::LockPortOpen) CommonGlobals::ReleasePort();
}

// Claim unless claimed, the form of the single line steps: `step` runs at once on a
// port that is claimed or locked open (as inside a transaction); otherwise the port
// is claimed for the step alone. False when the claim failed and nothing ran.
template <typename Step>
bool ClaimUnlessClaimed(Step&& step) {
  const bool claimHere = !(CommonGlobals::PortClaimed || CommonGlobals::LockPortOpen);
  if (claimHere && !ClaimFirst()) return false;
  step();
  if (claimHere) ReleaseUnlessLocked();
  return true;
}

}  // namespace quorlink
