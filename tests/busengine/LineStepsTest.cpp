// The line steps: their wire sequences, the port guard around them, the bits of a
// byte sent and received, and the acknowledge sampling.
#include <cmath>
#include <functional>
#include <limits>

#include "BusFixture.h"
#include "Notation.h"
#include "com/error.h"

namespace bustest {
namespace {

struct Step {
  const char* name;
  std::function<void()> run;
  std::string wire;
};

std::vector<Step> Steps() {
  return {
      {"SendStartCondition", cp::SendStartCondition, kStart},
      {"SendStopCondition", cp::SendStopCondition, kStop},
      {"SendPreStart", cp::SendPreStart, "LL D HL HL D HH"},
      {"ClockSlaveAck", cp::ClockSlaveAck, kSlaveAck},
      {"ClockAckAndSample", [] { cp::ClockAckAndSample(); }, "HL HH in D HL LL"},
      {"SendMasterAck", cp::SendMasterAck, kMasterAck},
      {"SendMasterNAck", cp::SendMasterNAck, kMasterNAck},
      {"SendDataByte", [] { cp::SendDataByte(0x80); }, Bits(0x80)},
      {"ReceiveDataByte", [] { cp::ReceiveDataByte(); }, Received()},
  };
}

TEST_F(BusTest, EachStepUnderEachOwnershipState) {
  struct State {
    const char* name;
    uint8_t ports;
    int16_t claimed, locked;
    const char *before, *after;  // "-" for no sequence at all
  } states[] = {
      {"claimed", 1, -1, 0, "", ""},
      {"locked", 1, -1, -1, "", ""},
      {"lock without claim", 1, 0, -1, "", ""},
      {"free", 1, 0, 0, "claim", "release"},
      {"no port", 0, 0, 0, "-", "-"},
  };
  MarkBitDelays();
  for (const State& state : states) {
    for (const Step& step : Steps()) {
      SCOPED_TRACE(testing::Message() << state.name << ": " << step.name);
      RecorderReset();
      cg::PortCount = state.ports;
      cg::PortClaimed = state.claimed;
      cg::LockPortOpen = state.locked;
      step.run();
      const std::string expected =
          std::string(state.before) == "-" ? "" : Join({state.before, step.wire, state.after});
      EXPECT_EQ(Wire(), expected);
      EXPECT_EQ(cg::PortClaimed, state.claimed);
      EXPECT_EQ(cg::LockPortOpen, state.locked);
    }
  }
}

TEST_F(BusTest, EveryWriteCarriesTheBitsToStayHigh) {
  cg::PortClaimed = -1;
  cg::BitsToStayHigh = 0x04;
  for (auto codes : {cg::InvertedLineCodes, cg::PlainLineCodes}) {
    RecorderReset();
    codes();
    for (const Step& step : Steps()) step.run();
    for (const RecorderCall& call : recorder::Calls()) {
      if (call.kind == kRecorderOut) {
        EXPECT_EQ(call.b & 0x04, 0x04);
      }
    }
    // Idle (HH) written as 0x04 inverted and 0x07 plain.
    cp::SendStopCondition();
    EXPECT_EQ(recorder::Calls().back().b, cg::CodeSDAHighSCLHigh == 0 ? 0x04 : 0x07);
  }
}

// What a message handled in a bit delay changes holds for the rest of the step:
// here the port is given up under the step, so its later writes are left out.
TEST_F(BusTest, AStepReadsThePortStateAgainAfterEachBitDelay) {
  static int yields;
  yields = 0;
  MarkBitDelays();
  qelsys::SetYieldHook([] {
    RecorderMark('D');
    if (++yields == 1) cg::PortClaimed = 0;
  });
  cg::PortClaimed = -1;
  cp::SendStartCondition();
  EXPECT_EQ(Wire(), "HH D D");
}

TEST_F(BusTest, SendDataByteSendsTheLowBitsOfTheNearestInteger) {
  struct Case {
    float value;
    uint8_t sent;
  } cases[] = {{0xA5, 0xA5}, {300, 0x2C}, {-1, 0xFF}, {2.5f, 0x02}, {3.5f, 0x04}, {-2147483648.0f, 0x00}};
  MarkBitDelays();
  cg::PortClaimed = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    RecorderReset();
    cp::SendDataByte(c.value);
    EXPECT_EQ(Wire(), Bits(c.sent));
    EXPECT_EQ(cp::BitIndex, 0);
  }
}

TEST_F(BusTest, SendDataByteOverflowsBeforeAnyWriteAndKeepsTheClaim) {
  for (float value : {1e10f, 2147483648.0f, std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(value);
    RecorderReset();
    cg::PortClaimed = 0;
    try {
      cp::SendDataByte(value);
      ADD_FAILURE() << "no overflow";
    } catch (const comrt::Error& error) {
      EXPECT_EQ(error.number(), 6);
    }
    EXPECT_EQ(Wire(), "claim");
    EXPECT_EQ(cg::PortClaimed, -1);
    EXPECT_EQ(cp::BitIndex, 7);
  }
}

TEST_F(BusTest, ReceiveDataByteInvertsTheSensedBitMostSignificantFirst) {
  struct Case {
    int16_t videoSoftware;
    uint8_t dataInverted;
    uint8_t status;  // every reading
    uint8_t received;
  } cases[] = {
      {0, 0, 0x10, 0x00}, {0, 0, 0x00, 0xFF}, {0, 0xFF, 0x10, 0x00},  // polarity ignores DataInverted
      {0, 0, 0x08, 0xFF},                                              // bit 3 does not count
      {-1, 0, 0x08, 0x00}, {-1, 0, 0x10, 0xFF},                        // ...unless VideoSoftware
      {0, 0, 0xEF, 0xFF},                                              // only bit 4 counts
  };
  cg::PortClaimed = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.status) << " video " << c.videoSoftware);
    cp::VideoSoftware = c.videoSoftware;
    cg::DataInverted = c.dataInverted;
    ScriptStatus({}, c.status);
    EXPECT_EQ(cp::ReceiveDataByte(), c.received);
  }
  cp::VideoSoftware = 0;
  const auto script = StatusFor(0xB4);
  RecorderScriptStatus(script.data(), 8, 0);
  EXPECT_EQ(cp::ReceiveDataByte(), 0xB4);
}

TEST_F(BusTest, ClockAckAndSampleReadsStatusBitOne) {
  struct Case {
    uint8_t status, dataInverted;
    int16_t acknowledged;
  } cases[] = {{0x02, 1, -1}, {0x02, 0, 0}, {0x10, 1, 0}, {0x10, 0, -1}, {0x00, 0xFF, 0}, {0xFD, 0, -1}};
  cg::PortClaimed = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.status) << " inverted " << int(c.dataInverted));
    ScriptStatus({c.status});
    cg::DataInverted = c.dataInverted;
    EXPECT_EQ(cp::ClockAckAndSample(), std::optional<int16_t>(c.acknowledged));
  }
  cg::PortClaimed = 0;
  cg::PortCount = 0;
  EXPECT_EQ(cp::ClockAckAndSample(), std::nullopt);
}

}  // namespace
}  // namespace bustest
