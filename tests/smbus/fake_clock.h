// A fake system timer that moves only when the library yields, so that waits run
// instantly and their length can be read off the clock. Each reading and each
// yield can leave a mark in the recording library's log. A wait that runs on for
// a minute throws out of the yield, so that a wait which never ends fails its test.
#pragma once
#include <cmath>
#include <stdexcept>
#include <utility>

#include "qel/system.h"
#include "recording.h"

inline double g_clockSeconds = 0.0;  // since the start of the first day, never wrapping
inline double g_clockStep = 0.01;    // per yield
inline bool g_clockMarks = false;
inline double g_clockLimit = 0.0;    // a wait still running then has gone wrong
inline double g_clockJump = 0.0;     // a step of the clock, made once at the first yield

inline float FakeTimer() {
  if (g_clockMarks) RecorderMark(kTimerMark);
  return static_cast<float>(std::fmod(g_clockSeconds, 86400.0));
}

inline void FakeYield() {
  if (g_clockMarks) RecorderMark(kYieldMark);
  g_clockSeconds += g_clockStep + std::exchange(g_clockJump, 0.0);
  if (g_clockSeconds > g_clockLimit) throw std::runtime_error("a wait ran on past the fake clock's limit");
}

class FakeClock {
 public:
  explicit FakeClock(double start, bool marks = false) {
    g_clockSeconds = start;
    g_clockMarks = marks;
    g_clockLimit = start + 60.0;
    g_clockJump = 0.0;
    qelsys::SetClock(FakeTimer);
    qelsys::SetYieldHook(FakeYield);
  }
  ~FakeClock() {
    qelsys::SetClock(nullptr);
    qelsys::SetYieldHook(nullptr);
  }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  double Now() const { return g_clockSeconds; }
};
