// The timing of the bus code. Every wait yields once per pass to the host's
// message loop. The system timer restarts at 0 at midnight; the waits count time
// across the restart, so none lasts longer because of it.
#pragma once

namespace quorlink {

// Readings of the system timer on the scale of a mark taken earlier: each restart
// seen since the mark adds a day, so the reading keeps growing across midnight.
class TimerSince {
 public:
  explicit TimerSince(float mark) : last_(mark) {}
  double Reading();

 private:
  float last_;
  double days_ = 0;
};

// The wait of a delay that is neither 0 nor not a number.
void PauseFor(float delay);

// The one wait behind BitDelay and WaitFrameDelay: `delay` seconds on the timer, or
// that many yields (the next whole number up) with RelativeDelayOn. A delay of 0 or
// not a number returns at once, before any timer reading.
inline void Pause(float delay) {
  if (delay == 0 || delay != delay) return;
  PauseFor(delay);
}

// Yields until `seconds` have passed on the timer since `mark`.
void HoldUntil(float mark, double seconds);

}  // namespace quorlink
