#include "Waits.h"

#include <algorithm>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "qel/system.h"

namespace quorlink {

namespace {
constexpr double kSecondsPerDay = 86400.0;
// A count of yields stops here, so a delay of +infinity ends too; the frame delay
// is kept within the same bound by its setter.
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

// A delay that is neither 0 nor a number (Pause has tested that).
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
