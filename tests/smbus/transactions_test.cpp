// The three transactions: the register sequences of both families, the probe's
// decision, and the status waits on a fake clock.
#include <gtest/gtest.h>

#include "com/error.h"
#include "fake_clock.h"
#include "recording.h"
#include "smbus_object.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int32_t kBase8086 = 0x1040;
constexpr int32_t kBase10B9 = 0x5000;

class Transactions : public ::testing::Test {
 protected:
  void SetUp() override { RecorderReset(); }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }

  // An object that knows no controller until the test says which one it is.
  SMBusObject Controller(int32_t identifier, int32_t base) {
    SMBusObject bus(400);
    bus.SetDeviceID(identifier);
    bus.SetBaseAddress(base);
    return bus;
  }
};

enum class Op { kProbe, kWrite, kRead };

struct Sequence {
  int32_t identifier;
  Op op;
  Lines lines;
};

TEST_F(Transactions, RegisterSequencesOfBothFamilies) {
  const Sequence cases[] = {
      {0x71138086, Op::kProbe, {"r +0", "w +3 00", "w +4 91", "w +0 1F", "w +2 48", "r +0", "r +0"}},
      {0x71138086, Op::kWrite, {"r +0", "w +6 00", "w +3 12", "w +4 90", "w +5 34", "w +0 1F", "w +2 48"}},
      {0x71138086, Op::kRead,
       {"r +0", "w +6 00", "w +5 00", "w +3 12", "w +4 91", "w +0 1F", "w +2 48", "r +0", "r +5"}},
      {0x24458086, Op::kRead,
       {"r +0", "w +6 00", "w +5 00", "w +3 12", "w +4 91", "w +0 1F", "w +2 48", "r +0", "r +5"}},
      {0x710110B9, Op::kProbe, {"r +0", "w +0 F0", "w +7 00", "w +3 91", "w +1 20", "w +2 FF", "r +0", "r +0"}},
      {0x710110B9, Op::kWrite, {"r +0", "w +0 F0", "w +7 12", "w +3 90", "w +4 34", "w +1 20", "w +2 00"}},
      {0x710110B9, Op::kRead, {"r +0", "w +0 F0", "w +7 12", "w +3 91", "w +1 20", "w +2 00", "r +0", "r +4"}},
  };
  for (const auto& c : cases) {
    RecorderReset();
    const bool is10B9 = c.identifier == 0x710110B9;
    const int32_t base = is10B9 ? kBase10B9 : kBase8086;
    SetPort(base, {is10B9 ? 0x04 : 0x00});  // ready
    SetPort(base + (is10B9 ? 4 : 5), {0x1A5});
    SMBusObject bus = Controller(c.identifier, base);
    switch (c.op) {
      case Op::kProbe: EXPECT_TRUE(bus.DevicePresent(0x48)); break;
      case Op::kWrite: bus.PortWrite(0x48, 0x12, 0x34); break;
      case Op::kRead: EXPECT_EQ(bus.PortRead(0x48, 0x12), 0xA5); break;
    }
    EXPECT_EQ(Log(base), c.lines) << std::hex << c.identifier << " op " << static_cast<int>(c.op);
  }
}

TEST_F(Transactions, EveryFamily8086IdentifierRunsTheFamily8086Sequence) {
  for (const int32_t identifier : {0x71138086, 0x24188086, 0x24288086, 0x24138086, 0x24238086, 0x24438086, 0x24458086}) {
    RecorderReset();
    SMBusObject bus = Controller(identifier, kBase8086);
    bus.PortWrite(0x48, 0x12, 0x34);
    EXPECT_EQ(Log(kBase8086).back(), "w +2 48") << std::hex << identifier;
  }
}

struct AddressByte {
  int32_t identifier;
  Op op;
  int32_t offset;
  int32_t value;
};

TEST_F(Transactions, AddressesOf128AndAboveReachTheLibraryUnmasked) {
  const AddressByte cases[] = {
      {0x71138086, Op::kProbe, 4, 0x101}, {0x71138086, Op::kRead, 4, 0x101}, {0x71138086, Op::kWrite, 4, 0x100},
      {0x710110B9, Op::kProbe, 3, 0x1FF}, {0x710110B9, Op::kRead, 3, 0x1FF}, {0x710110B9, Op::kWrite, 3, 0x1FE},
  };
  for (const auto& c : cases) {
    RecorderReset();
    const bool is10B9 = c.identifier == 0x710110B9;
    const int32_t base = is10B9 ? kBase10B9 : kBase8086;
    SetPort(base, {is10B9 ? 0x04 : 0x00});
    SMBusObject bus = Controller(c.identifier, base);
    const uint8_t address = is10B9 ? 0xFF : 0x80;
    switch (c.op) {
      case Op::kProbe: bus.DevicePresent(address); break;
      case Op::kWrite: bus.PortWrite(address, 0, 0); break;
      case Op::kRead: bus.PortRead(address, 0); break;
    }
    char expected[16];
    std::snprintf(expected, sizeof expected, "w +%X %02X", c.offset, c.value);
    const auto lines = Log(base);
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
}

struct Probe {
  int32_t identifier;
  int32_t finalStatus;
  bool present;
};

TEST_F(Transactions, ProbeDecidesOnTheFinalStatus) {
  const Probe cases[] = {
      {0x71138086, 0x02, true},  {0x71138086, 0x00, true},  {0x71138086, 0x04, false},
      {0x71138086, 0x01, false},  // still busy at the deadline
      {0x71138086, 0x42, false}, {0x710110B9, 0x04, true},  {0x710110B9, 0x14, true},
      {0x710110B9, 0x24, false}, {0x710110B9, 0x44, false}, {0x710110B9, 0x84, false},
      {0x710110B9, 0x10, true},  // never idle: the deadline ends the wait, and no error bit is set
  };
  FakeClock clock(1000.0);
  for (const auto& c : cases) {
    RecorderReset();
    const bool is10B9 = c.identifier == 0x710110B9;
    const int32_t base = is10B9 ? kBase10B9 : kBase8086;
    SetPort(base, {is10B9 ? 0x04 : 0x00, c.finalStatus});
    SMBusObject bus = Controller(c.identifier, base);
    EXPECT_EQ(bus.DevicePresent(0x50), c.present) << std::hex << c.identifier << " status " << c.finalStatus;
  }
}

TEST_F(Transactions, IdentifiersOutsideTheTableCallNothing) {
  for (const int32_t identifier : {0, 0x12345678, 0x710110B8, 0x71138087, -1}) {
    RecorderReset();
    SMBusObject bus = Controller(identifier, kBase8086);
    EXPECT_FALSE(bus.DevicePresent(0x50));
    bus.PortWrite(0x50, 1, 2);
    EXPECT_EQ(bus.PortRead(0x50, 1), 0);
    EXPECT_EQ(RecorderCallCount(), 0) << std::hex << identifier;
  }
}

TEST_F(Transactions, ALibraryErrorEndsTheTransaction) {
  SMBusObject bus = Controller(0x71138086, kBase8086);
  RecorderSetLastError(70);
  try {
    bus.PortWrite(0x50, 1, 2);
    FAIL() << "no error";
  } catch (const comrt::Error& error) {
    EXPECT_EQ(error.number(), 70);
    EXPECT_EQ(error.description(), "Permission denied");
  }
  EXPECT_EQ(RecorderCallCount(), 1);  // the first status read
}

TEST_F(Transactions, ANullResultPointerIsRefusedBeforeAnyRegisterAccess) {
  SMBusObject bus = Controller(0x71138086, kBase8086);
  EXPECT_EQ(bus.get()->DevicePresent(0x50, nullptr), E_POINTER);
  EXPECT_EQ(bus.get()->PortRead(0x50, 0, nullptr), E_POINTER);
  EXPECT_EQ(RecorderCallCount(), 0);
}

TEST_F(Transactions, FrameDelayIsKeptWithinZeroToTenBillion) {
  const float infinity = std::numeric_limits<float>::infinity();
  const std::pair<float, float> cases[] = {
      {-5.0f, 0.0f},      {std::nanf(""), 0.0f}, {-infinity, 0.0f}, {2e10f, 1e10f}, {infinity, 1e10f},
      {0.25f, 0.25f},     {1e10f, 1e10f},        {0.0f, 0.0f},      {-0.0f, 0.0f},
  };
  SMBusObject bus = Controller(0, 0);
  for (const auto& [value, kept] : cases) {
    bus.SetFrameDelay(value);
    EXPECT_EQ(bus.FrameDelay(), kept) << value;
  }
}

// Waits: each pass reads the timer, then the status, and yields only when it
// must wait again.
TEST_F(Transactions, WaitReadsTimerThenStatusAndYieldsBetweenPasses) {
  SetPort(kBase8086, {0x01, 0x01, 0x00});
  SMBusObject bus = Controller(0x71138086, kBase8086);
  FakeClock clock(1000.0, true);
  bus.PortWrite(0x50, 1, 2);
  const Lines log = Log(kBase8086);
  const Lines wait(log.begin(), log.begin() + 8);
  EXPECT_EQ(wait, (Lines{"timer", "r +0", "yield", "timer", "r +0", "yield", "timer", "r +0"}));
  EXPECT_EQ(log[8], "w +6 00");
  EXPECT_EQ(std::count(log.begin(), log.end(), "timer"), 3);  // a write waits once, before it starts
}

struct Deadline {
  double start;
  double length;  // until the wait gives up
};

TEST_F(Transactions, WaitGivesUpAtTheRoundedDeadline) {
  const Deadline cases[] = {
      {1000.0, 1.0},
      {1000.5, 1.5},     // 1001.5 rounds to the even 1002
      {1001.5, 0.5},     // 1002.5 rounds to the even 1002
      {1000.49, 0.51},
      {86399.7, 1.3},    // 0.3 s before midnight: the deadline lies past the restart
      {86399.5, 0.5},    // deadline 86400, reached at midnight
      {86399.0, 1.0},
      {86398.2, 0.8},
  };
  for (const auto& c : cases) {
    RecorderReset();
    SetPort(kBase8086, {0x01});  // busy for ever
    SMBusObject bus = Controller(0x71138086, kBase8086);
    FakeClock clock(c.start);
    bus.PortWrite(0x50, 1, 2);
    EXPECT_NEAR(clock.Now() - c.start, c.length, 0.02) << c.start;
  }
}

// The clock stepped back by less than 12 hours: the wait goes on from the new
// reading; a step forward counts as time passed.
TEST_F(Transactions, WaitRidesThroughClockStepsAndMidnight) {
  const struct {
    const char* name;
    double start, jump, length;
  } cases[] = {
      {"0.3 s back", 1000.0, -0.3, 1.0},
      {"midnight", 86399.7, 0.0, 1.3},
      {"0.3 s forward", 1000.0, 0.3, 0.7},
  };
  for (const auto& c : cases) {
    RecorderReset();
    SetPort(kBase8086, {0x01});  // busy for ever
    SMBusObject bus = Controller(0x71138086, kBase8086);
    FakeClock clock(c.start);
    g_clockJump = c.jump;
    bus.PortWrite(0x50, 1, 2);
    EXPECT_NEAR(clock.Now() - c.jump - c.start, c.length, 0.02) << c.name;
  }
}

// A transaction started from the message loop during another's wait would mix
// its register writes into the running one: it is refused with no register access,
// and the running transaction goes on.
_SMBus* g_nested = nullptr;
HRESULT g_nestedResult = S_OK;
size_t g_logAtNested = 0;

TEST_F(Transactions, ATransactionStartedDuringAWaitIsRefused) {
  SetPort(kBase8086, {0x01, 0x00});
  SMBusObject outer = Controller(0x71138086, kBase8086);
  SMBusObject inner = Controller(0x71138086, kBase8086);
  FakeClock clock(1000.0);
  g_nested = inner.get();
  g_nestedResult = S_OK;
  qelsys::SetYieldHook([] {
    FakeYield();
    if (!g_nested) return;
    g_logAtNested = Log(kBase8086).size();
    BYTE data = 0;
    g_nestedResult = std::exchange(g_nested, nullptr)->PortRead(0x50, 0, &data);
    EXPECT_EQ(Log(kBase8086).size(), g_logAtNested);
  });
  outer.PortWrite(0x50, 1, 2);
  EXPECT_EQ(g_nestedResult, static_cast<HRESULT>(0x800A0011));
  const Lines log = Log(kBase8086);
  EXPECT_EQ(log.back(), "w +2 48");  // the outer write ran to its start
}

TEST_F(Transactions, ReadAndProbeWaitTwiceForAControllerThatNeverGetsReady) {
  SetPort(kBase10B9, {0x00});  // never idle
  SMBusObject bus = Controller(0x710110B9, kBase10B9);
  FakeClock clock(1000.0);
  bus.PortRead(0x50, 0);
  EXPECT_NEAR(clock.Now() - 1000.0, 2.0, 0.02);
  bus.DevicePresent(0x50);
  EXPECT_NEAR(clock.Now() - 1000.0, 4.0, 0.02);
}

}  // namespace
