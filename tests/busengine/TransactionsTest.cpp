// The six transactions: whole frames, their claims and releases in each ownership
// state, the order of release and frame wait, the word arithmetic and the errors
// that end a transaction after its claim. BitsToStayHigh is 0x04 throughout, so a
// write without it would not render as a line state.
#include <cmath>
#include <functional>
#include <limits>

#include "BusFixture.h"
#include "Notation.h"
#include "com/error.h"

namespace bustest {
namespace {

class TransactionTest : public BusTest {
 protected:
  void SetUp() override {
    BusTest::SetUp();
    cg::BitsToStayHigh = 0x04;
    MarkBitDelays();
  }
};

struct Transaction {
  const char* name;
  std::function<int()> run;
  std::string frame;
  bool claimUnlessLocked;
  int result;
};

// Device 0x90, pointer 0x3C, data 0x5A; the read byte is 0xC3.
std::vector<Transaction> Transactions() {
  const std::string readTail = Join({Written(0x91), Received(), "D", kMasterNAck, "D", kStop});
  return {
      {"ShortWrite", [] { cp::ShortWriteTransaction(0x90, 0x5A); return 0; },
       Join({kStart, Written(0x90), Written(0x5A), kStop}), false, 0},
      {"ShortRead", [] { return int(cp::ShortReadTransaction(0x90)); }, Join({kStart, readTail}), false, 0xC3},
      {"WriteWord", [] { cp::WriteWordTransaction(0x90, 0x3C, 0x5AC3); return 0; },
       Join({kStart, Written(0x90), Written(0x3C), Written(0x5A), Written(0xC3), kStop}), false, 0},
      {"ReadWord", [] { return int(cp::ReadWordTransaction(0x90, 0x3C)); },
       Join({kStart, Written(0x90), Written(0x3C), kStop, kStart, Written(0x91), Received(), kMasterAck, Received(),
             kMasterNAck, kStop}),
       false, 0xC3C3},
      {"PortWrite", [] { cp::PortWriteTransaction(0x90, 0x3C, 0x5A); return 0; },
       Join({kStart, Written(0x90), Written(0x3C), Written(0x5A), kStop}), true, 0},
      {"PortRead", [] { return int(cp::PortReadTransaction(0x90, 0x3C)); },
       Join({kStart, Written(0x90), Written(0x3C), kStop, "D", kStart, readTail}), true, 0xC3},
  };
}

TEST_F(TransactionTest, FramesAndClaimsInEachOwnershipState) {
  struct State {
    const char* name;
    int16_t claimed, locked;
    bool claimsUnlessLocked;  // whether a claim-unless-locked transaction claims here
    const char* claim;
    const char* release;
    int16_t claimedAfter, lockedAfter;
  } states[] = {
      {"free", 0, 0, true, "claim", "release", 0, 0},
      {"claimed", -1, 0, true, "release claim", "release", 0, 0},  // a second claim releases and claims again
      {"locked", -1, -1, false, "", "", -1, -1},
      {"lock without claim", 0, -1, false, "claim", "", -1, -1},
  };
  for (const State& state : states) {
    for (const Transaction& t : Transactions()) {
      SCOPED_TRACE(testing::Message() << state.name << ": " << t.name);
      RecorderReset();
      ScriptBytes({0xC3, 0xC3});
      cg::PortClaimed = state.claimed;
      cg::LockPortOpen = state.locked;
      const int result = t.run();
      const bool skipsClaim = t.claimUnlessLocked && !state.claimsUnlessLocked;
      EXPECT_EQ(Wire(), Join({skipsClaim ? "" : state.claim, t.frame, state.release}));
      EXPECT_EQ(cg::PortClaimed, skipsClaim ? state.claimed : state.claimedAfter);
      EXPECT_EQ(cg::LockPortOpen, state.lockedAfter);
      EXPECT_EQ(result, t.result);
    }
  }
}

// Without bit delays the steps of a transaction share one reading of the lines:
// the same frames, the delays left out.
TEST_F(TransactionTest, FramesWithoutBitDelaysAreTheSameLessTheDelays) {
  const auto withoutDelays = [](const std::string& wire) {
    std::string left;
    for (size_t at = 0; at < wire.size();) {
      const size_t end = std::min(wire.find(' ', at), wire.size());
      if (wire.compare(at, end - at, "D") != 0) left += (left.empty() ? "" : " ") + wire.substr(at, end - at);
      at = end + 1;
    }
    return left;
  };
  cp::Delay = 0;
  for (int16_t repeatedStart : {0, -1}) {
    cp::RepeatedStart = repeatedStart;
    for (const Transaction& t : Transactions()) {
      SCOPED_TRACE(testing::Message() << t.name << " repeated start " << repeatedStart);
      RecorderReset();
      ScriptBytes({0xC3, 0xC3});
      EXPECT_EQ(t.run(), t.result);
      std::string frame = t.frame;
      if (repeatedStart && t.name == std::string("PortRead")) {
        frame.replace(frame.find(Join({kStop, "D", kStart})), Join({kStop, "D"}).size(), "HL D HH");
      }
      EXPECT_EQ(Wire(), withoutDelays(Join({"claim", frame, "release"})));
    }
  }
}

TEST_F(TransactionTest, NoPortMeansNothingOnTheWireNoWaitAndZero) {
  long yields = 0;
  static long* counter = &yields;
  qelsys::SetYieldHook([] { ++*counter; });
  cp::FrameDelay = 3;
  cg::PortCount = 0;
  ScriptBytes({0xC3, 0xC3});
  for (const Transaction& t : Transactions()) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(t.run(), 0);
  }
  EXPECT_EQ(Wire(), "");
  EXPECT_EQ(yields, 0);
}

TEST_F(TransactionTest, FrameWaitAfterTheReleaseOrBeforeIt) {
  cp::Delay = 0;
  cp::FrameDelay = 2;
  const struct {
    const char* name;
    std::function<int()> run;
    const char* ending;
  } cases[] = {
      {"ShortWrite", [] { cp::ShortWriteTransaction(0x90, 0); return 0; }, "HH release D D"},
      {"ShortRead", [] { return int(cp::ShortReadTransaction(0x90)); }, "HH release D D"},
      {"WriteWord", [] { cp::WriteWordTransaction(0x90, 0, 0); return 0; }, "HH release D D"},
      {"ReadWord", [] { return int(cp::ReadWordTransaction(0x90, 0)); }, "HH release D D"},
      {"PortWrite", [] { cp::PortWriteTransaction(0x90, 0, 0); return 0; }, "HH D D release"},
      {"PortRead", [] { return int(cp::PortReadTransaction(0x90, 0)); }, "HH D D release"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderReset();
    c.run();
    const std::string wire = Wire();
    EXPECT_EQ(wire.substr(wire.size() - std::string(c.ending).size()), c.ending);
  }
}

TEST_F(TransactionTest, AddressBytesInWriteAndReadPhases) {
  cg::PortClaimed = cg::LockPortOpen = -1;
  cp::ShortWriteTransaction(0x91, 0x00);
  EXPECT_EQ(Wire(), Join({kStart, Written(0x91), Written(0x00), kStop}));  // bit 0 is not cleared
  for (uint8_t address : {0x90, 0x91}) {
    RecorderReset();
    cp::ShortReadTransaction(address);
    EXPECT_TRUE(Wire().starts_with(Join({kStart, Written(0x91), "LL"})));
  }
}

TEST_F(TransactionTest, PortReadRestartsWithoutStopUnderRepeatedStart) {
  cg::PortClaimed = cg::LockPortOpen = -1;
  cp::RepeatedStart = -1;
  ScriptBytes({0x7E});
  EXPECT_EQ(cp::PortReadTransaction(0x90, 0x3C), 0x7E);
  EXPECT_EQ(Wire(), Join({kStart, Written(0x90), Written(0x3C), "HL D HH", kStart, Written(0x91), Received(), "D",
                          kMasterNAck, "D", kStop}));
}

TEST_F(TransactionTest, WriteWordSendsTheLowSixteenBitsHighByteFirst) {
  struct Case {
    float value;
    uint8_t high, low;
  } cases[] = {{258, 0x01, 0x02}, {-1, 0xFF, 0xFF}, {2.5f, 0x00, 0x02}, {3.5f, 0x00, 0x04},
               {0x12345, 0x23, 0x45}, {-2147483648.0f, 0x00, 0x00}, {-300, 0xFE, 0xD4}};
  cg::PortClaimed = cg::LockPortOpen = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    RecorderReset();
    cp::WriteWordTransaction(0x90, 0x3C, c.value);
    EXPECT_EQ(Wire(), Join({kStart, Written(0x90), Written(0x3C), Written(c.high), Written(c.low), kStop}));
  }
}

TEST_F(TransactionTest, ReadWordTakesTheFirstByteAsHigh) {
  cg::PortClaimed = cg::LockPortOpen = -1;
  ScriptBytes({0x01, 0x02});
  EXPECT_EQ(cp::ReadWordTransaction(0x90, 0), 258.0f);
}

TEST_F(TransactionTest, WriteWordOverflowAfterAddressAndPointerKeepsTheClaim) {
  cp::FrameDelay = 2;
  for (float value : {1e10f, std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(value);
    RecorderReset();
    cg::PortClaimed = 0;
    try {
      cp::WriteWordTransaction(0x90, 0x3C, value);
      ADD_FAILURE() << "no overflow";
    } catch (const comrt::Error& error) {
      EXPECT_EQ(error.number(), 6);
    }
    // No stop, no release, no frame wait.
    EXPECT_EQ(Wire(), Join({"claim", kStart, Written(0x90), Written(0x3C)}));
    EXPECT_EQ(cg::PortClaimed, -1);
  }
  // The next transaction releases the left-over claim and claims again.
  RecorderReset();
  cp::ShortWriteTransaction(0x90, 0);
  EXPECT_TRUE(Wire().starts_with("release claim HH"));
}

TEST_F(TransactionTest, RefusedByteAccessEndsTheTransactionWithPermissionDenied) {
  RecorderRefuseByteAccess(70);
  try {
    cp::ShortWriteTransaction(0x90, 0x5A);
    ADD_FAILURE() << "no error";
  } catch (const comrt::Error& error) {
    EXPECT_EQ(error.number(), 70);
  }
  EXPECT_EQ(Wire(), "claim HH");  // the first write was refused
  EXPECT_EQ(cg::PortClaimed, -1);
}

}  // namespace
}  // namespace bustest
