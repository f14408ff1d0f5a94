#include "Waits.h"

#include <algorithm>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "qel/system.h"

namespace quorlink {

namespace {
constexpr double kSecondsPerDay = 86400.0;
// Counted delays stop at this many yields, so that +infinity ends too; the frame
// delay's setter keeps it within the same bound.
constexpr double kMaxPasses = 1e10;
}  // namespace

double TimerSince::Reading() {
  const float reading = Timer();
  if (reading < last_) days_ += kSecondsPerDay;
  last_ = reading;
  return days_ + reading;
}

void HoldUntil(float mark, double seconds) {
  TimerSince timer(mark);
  const double end = static_cast<double>(mark) + seconds;
  while (timer.Reading() < end) DoEvents();
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
  const double passes = std::min(static_cast<double>(delay), kMaxPasses);
  double count = 0;
  do {
    count += 1;
    WaitMark = static_cast<float>(count);
    DoEvents();
  } while (count < passes);
}

}  // namespace quorlink
