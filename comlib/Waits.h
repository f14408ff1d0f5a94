// The timing of the bus code and of the host SMBus. Every wait yields once per
// pass to the host's message loop and measures its time on the system timer
// through one Deadline, so that all of them read the timer by the same rule.
#pragma once
#include <cmath>

namespace quorlink {

// A wait's end on the system timer, on the scale of the reading `mark` it starts
// from. The timer restarts at 0 at midnight and the clock may be stepped (as time
// synchronisation does): a reading more than 12 hours below the previous one is
// midnight and counts a day on; a smaller drop is a step back, and the wait goes
// on from the new reading as though no time had passed. A step forward counts as
// time passed.
class Deadline {
 public:
  Deadline(float mark, double end) : last_(mark), end_(end) {}

  // Whether `reading`, taken now, is at or past the end.
  bool Reached(float reading) { return Carried(reading) >= end_; }
  // Reads the timer: at or past the end; strictly past it.
  bool Reached();
  bool Passed();

 private:
  double Carried(float reading);

  float last_;
  double offset_ = 0;  // what the carried readings add to the timer's
  double end_;
};

// The longest delay the waits count: a counted delay stops at this many yields, so
// that +infinity ends too. Exact as a float.
inline constexpr float kLongestDelay = 1e10f;

// A frame delay as its setters store it: negative or not a number gives 0, above
// kLongestDelay gives kLongestDelay.
constexpr float ClampedFrameDelay(float delay) {
  if (!(delay >= 0)) return 0;
  return delay > kLongestDelay ? kLongestDelay : delay;
}

// Whether a delay waits: one that is neither 0 nor not a number.
inline bool Waits(float delay) { return std::fabs(delay) > 0; }

// The wait of a delay that waits.
void PauseFor(float delay);

// The one wait behind BitDelay and WaitFrameDelay: `delay` seconds on the timer, or
// that many yields (the next whole number up) with RelativeDelayOn. A delay of 0 or
// not a number returns at once, before any timer reading.
inline void Pause(float delay) {
  if (Waits(delay)) PauseFor(delay);
}

// Yields until `seconds` have passed on the timer since `mark`.
void HoldUntil(float mark, double seconds);

}  // namespace quorlink
