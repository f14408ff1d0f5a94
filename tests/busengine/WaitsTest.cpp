// The waits on a fake system timer: each yield moves the clock on by one step and
// wraps it at midnight, as the real timer does.
#include <cmath>
#include <limits>
#include <utility>

#include "BusFixture.h"

namespace bustest {
namespace {

float g_now = 0;
float g_step = 0;
float g_jump = 0;  // a step of the clock, made once at the first yield
int g_readings = 0;
long g_yields = 0;

float FakeClock() {
  ++g_readings;
  return g_now;
}

void AdvanceClock() {
  ++g_yields;
  g_now += g_step + std::exchange(g_jump, 0.0f);
  if (g_now >= 86400.0f) g_now -= 86400.0f;
  RecorderMark('Y');
}

class WaitTest : public BusTest {
 protected:
  void SetUp() override {
    BusTest::SetUp();
    qelsys::SetClock(FakeClock);
    qelsys::SetYieldHook(AdvanceClock);
    Start(1000, 0.125f);
  }
  static void Start(float now, float step) {
    g_now = now;
    g_step = step;
    g_jump = 0;
    g_readings = 0;
    g_yields = 0;
  }
};

TEST_F(WaitTest, ZeroOrNaNDelayReturnsAtOnceUntouched) {
  for (int16_t counting : {0, -1}) {
    for (float delay : {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN()}) {
      SCOPED_TRACE(testing::Message() << delay << " counting " << counting);
      cp::RelativeDelayOn = counting;
      cp::Delay = cp::FrameDelay = delay;
      cp::WaitMark = 123;
      cg::BitDelay();
      cp::WaitFrameDelay();
      EXPECT_EQ(g_readings, 0);
      EXPECT_EQ(g_yields, 0);
      EXPECT_EQ(cp::WaitMark, 123);
    }
  }
}

TEST_F(WaitTest, TimerModeWaitsItsDurationAlsoAcrossMidnight) {
  struct Case {
    float start, delay;
    long yields;
    float mark;
  } cases[] = {
      {1000, 0.5f, 4, 1000},
      {86399.75f, 0.5f, 4, 86399.75f},   // the clock restarts at the second yield
      {86399.875f, 0.5f, 4, 86399.875f},  // mark + delay lies beyond the day's last reading
      {1000, 0.01f, 1, 1000},             // shorter than a step: until the reading moves
      {1000, -1, 0, 1000},                // negative: the mark is set, no yield
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    Start(c.start, 0.125f);
    cp::Delay = c.delay;
    cg::BitDelay();
    EXPECT_EQ(g_yields, c.yields);
    EXPECT_EQ(cp::WaitMark, c.mark);
  }
}

TEST_F(WaitTest, TimerModeWaitLongerThanADayEnds) {
  Start(80000, 3600);
  cp::FrameDelay = 100000;
  cp::WaitFrameDelay();
  EXPECT_EQ(g_yields, 28);  // 28 hours is the first count of steps past 100000 s
}

TEST_F(WaitTest, CountingModeYieldsTheNextWholeNumberOfTimes) {
  struct Case {
    float delay;
    long yields;
    float mark;
  } cases[] = {{0.5f, 1, 1}, {2, 2, 2}, {2.5f, 3, 3}, {-1, 0, 0}, {-0.5f, 0, 0}};
  cp::RelativeDelayOn = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delay);
    Start(1000, 0);
    cp::WaitMark = 99;
    cp::FrameDelay = c.delay;
    cp::WaitFrameDelay();
    EXPECT_EQ(g_yields, c.yields);
    EXPECT_EQ(cp::WaitMark, c.mark);
    EXPECT_EQ(g_readings, 0);
  }
}

TEST_F(WaitTest, CountingModeAboveTwoToTheTwentyFourEnds) {
  qelsys::SetYieldHook([] { ++g_yields; });
  cp::RelativeDelayOn = -1;
  cp::Delay = 16777218.0f;  // the next float above 2^24: adding 1 to a float count stalls below it
  cg::BitDelay();
  EXPECT_EQ(g_yields, 16777218);
}

TEST_F(WaitTest, AckWithHoldHoldsSclOnTheTimerInEitherMode) {
  for (int16_t counting : {0, -1}) {
    SCOPED_TRACE(counting);
    RecorderReset();
    Start(86399.9375f, 0.03125f);
    cp::RelativeDelayOn = counting;
    cp::Delay = 5;  // no bit delay is used
    cg::PortClaimed = -1;
    cp::ClockAckWithHold();
    EXPECT_EQ(Wire(), "HL HH Y Y Y Y HL LL");  // 4 steps of 1/32 s reach 0.1 s
    EXPECT_EQ(cp::WaitMark, 86399.9375f);
  }
  // The mark is taken before the claim, also when the claim fails.
  RecorderReset();
  Start(500, 0.03125f);
  cg::PortClaimed = 0;
  cg::PortCount = 0;
  cp::ClockAckWithHold();
  EXPECT_EQ(cp::WaitMark, 500);
  EXPECT_EQ(Wire(), "");
}

struct AckCase {
  const char* name;
  int16_t claimed;
  uint8_t dataInverted;
  std::vector<uint8_t> status;  // then no acknowledge: bit 4 read opposite to the last
  uint8_t thereafter;
  int16_t timeout;
  float start;
  int16_t result;
  const char* wire;
  int16_t claimedAfter;
};

TEST_F(WaitTest, WaitForAcknowledge) {
  // The bit delay is one step of the clock here, so it shows as one "Y".
  const AckCase cases[] = {
      {"claimed, ack at once", -1, 0, {0x00}, 0, 1, 1000, -1, "HL in LH Y LL", -1},
      {"claimed, inverted, ack after two yields", -1, 1, {0x00, 0x00, 0x10}, 0, 5, 1000, -1,
       "HL in Y in Y in LH Y LL", -1},
      {"claimed, time-out keeps HL and the claim", -1, 0, {}, 0x10, 1, 1000, 0,
       "HL in Y in Y in Y in Y in Y", -1},
      {"claimed, time-out across midnight", -1, 0, {}, 0x10, 1, 86399.5f, 0, "HL in Y in Y in Y in Y in Y", -1},
      {"claimed, negative timeout", -1, 0, {}, 0x10, -1, 1000, 0, "HL in Y", -1},
      {"claims itself: a set bit is the ack", 0, 0, {0x10}, 0, 1, 1000, -1, "claim HL in HH Y LL release", 0},
      {"claims itself: clear bit 4 is no ack", 0, 0, {}, 0x00, 1, 1000, 0,
       "claim HL in Y in Y in Y in Y in Y", -1},
  };
  for (const AckCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderReset();
    Start(c.start, 0.25f);
    cp::Delay = 0.25f;
    cg::PortClaimed = c.claimed;
    cg::DataInverted = c.dataInverted;
    RecorderScriptStatus(c.status.data(), static_cast<int32_t>(c.status.size()), c.thereafter);
    EXPECT_EQ(cg::WaitForAcknowledge(c.timeout), c.result);
    EXPECT_EQ(Wire(), c.wire);
    EXPECT_EQ(cg::PortClaimed, c.claimedAfter);
  }
}

TEST_F(WaitTest, WaitForAcknowledgeWithoutPortDrivesNothing) {
  cg::PortCount = 0;
  EXPECT_EQ(cg::WaitForAcknowledge(1), -1);
  EXPECT_EQ(Wire(), "");
  EXPECT_EQ(g_yields, 0);
}

// A drop of the reading by more than 12 hours is midnight; a smaller one is the
// clock stepped back, and the wait goes on from the new reading; a step forward
// counts as time passed. Yields of 0.125 s: the bit delay of 0.5 s needs 4, the
// acknowledge wait of 1 s gives up after 5.
TEST_F(WaitTest, ClockStepsAndMidnightInTheBitDelayAndTheAcknowledgeWait) {
  const struct Case {
    const char* name;
    float start, jump;
    long delayYields, ackYields;
  } cases[] = {
      {"steady", 1000, 0, 4, 9},
      {"0.3 s back", 1000, -0.3f, 5, 10},  // the first yield's time is lost in the step
      {"midnight", 86399.75f, 0, 4, 9},
      {"0.3 s forward", 1000, 0.3f, 2, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.start, 0.125f);
    g_jump = c.jump;
    cp::Delay = 0.5f;
    cg::BitDelay();
    EXPECT_EQ(g_yields, c.delayYields);

    RecorderReset();
    Start(c.start, 0.125f);
    g_jump = c.jump;
    cg::PortClaimed = -1;
    RecorderScriptStatus(nullptr, 0, 0x10);  // no acknowledge
    EXPECT_EQ(cg::WaitForAcknowledge(1), 0);
    EXPECT_EQ(g_yields, c.ackYields);
  }
}

}  // namespace
}  // namespace bustest
