#include "Waits.h"

#include <algorithm>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "qel/system.h"

namespace quorlink {

namespace {
constexpr double kSecondsPerDay = 86400.0;
constexpr double kMidnightDrop = kSecondsPerDay / 2;
}  // namespace

double Deadline::Carried(float reading) {
  if (reading < last_) {
    const double drop = static_cast<double>(last_) - reading;
    offset_ += drop > kMidnightDrop ? kSecondsPerDay : drop;
  }
  last_ = reading;
  return offset_ + reading;
}

bool Deadline::Reached() { return Reached(Timer()); }

bool Deadline::Passed() { return Carried(Timer()) > end_; }

void HoldUntil(float mark, double seconds) {
  Deadline deadline(mark, static_cast<double>(mark) + seconds);
  while (!deadline.Reached()) DoEvents();
}

void PauseFor(float delay) {
  using CommunicationsProcedures::WaitMark;
  if (!CommunicationsProcedures::RelativeDelayOn) {
    WaitMark = Timer();
    HoldUntil(WaitMark, delay);
    return;
  }
  WaitMark = 0;
  if (delay < 0) return;
  // Counted in double: the float WaitMark stops growing at 2^24 passes.
  const double passes = std::min<double>(delay, kLongestDelay);
  double count = 0;
  do {
    count += 1;
    WaitMark = static_cast<float>(count);
    DoEvents();
  } while (count < passes);
}

}  // namespace quorlink
