// Port ownership: claims and releases at parport2k in each ownership state, the
// selection of a port by its base address, the gates of the port byte routines
// and the two setters.
#include <tuple>

#include "BusFixture.h"
#include "com/error.h"

namespace bustest {
namespace {

struct OwnershipCase {
  const char* state;
  int16_t claimed, locked;
  const char* calls;  // what ClaimPort asks of parport2k
  int16_t lockedAfter;
};

TEST_F(BusTest, ClaimPortInEachOwnershipState) {
  const OwnershipCase cases[] = {
      {"free", 0, 0, "claim", 0},
      {"claimed", -1, 0, "release claim", 0},  // never a claim on top of a claim
      {"locked", -1, -1, "", -1},
      {"lock without claim", 0, -1, "claim", -1},
  };
  for (const OwnershipCase& c : cases) {
    SCOPED_TRACE(c.state);
    RecorderReset();
    cg::PortIndex = 0;
    cg::PortClaimed = c.claimed;
    cg::LockPortOpen = c.locked;
    EXPECT_EQ(cg::ClaimPort(), -1);
    EXPECT_EQ(Wire(), c.calls);
    EXPECT_EQ(cg::PortClaimed, -1);
    EXPECT_EQ(cg::LockPortOpen, c.lockedAfter);
  }
}

TEST_F(BusTest, ClaimNamesTheSelectedPortFromOne) {
  cg::PortCount = 3;
  cg::PortIndex = 2;
  cg::ClaimPort();
  cg::ReleasePort();
  const auto calls = recorder::Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, kRecorderClaim);
  EXPECT_EQ(calls[0].a, 3);
  EXPECT_EQ(calls[0].b, -1);
  EXPECT_EQ(calls[1].kind, kRecorderRelease);
  EXPECT_EQ(calls[1].a, 3);
}

TEST_F(BusTest, IndexWithoutAPortNumberOverflowsInsteadOfClaimingAnotherPort) {
  cg::PortIndex = 255;  // port number 256 does not fit the claim's byte
  try {
    cg::ClaimPort();
    ADD_FAILURE() << "no overflow";
  } catch (const comrt::Error& error) {
    EXPECT_EQ(error.number(), 6);
  }
  EXPECT_EQ(Wire(), "");
}

TEST_F(BusTest, ClaimFailsWithoutPortOrWhenRefused) {
  cg::PortClaimed = -1;
  cg::PortCount = 0;
  EXPECT_EQ(cg::ClaimPort(), 0);
  EXPECT_EQ(cg::PortClaimed, 0);
  EXPECT_EQ(Wire(), "");  // no port: parport2k is not asked

  cg::PortCount = 1;
  RecorderRefuseClaims(1);
  EXPECT_EQ(cg::ClaimPort(), 0);
  EXPECT_EQ(cg::PortClaimed, 0);
  EXPECT_EQ(Wire(), "claim");
}

TEST_F(BusTest, Win9xClaimsWithoutTheLibrary) {
  cg::IsWin9x = -1;
  EXPECT_EQ(cg::ClaimPort(), -1);
  EXPECT_EQ(cg::ClaimPort(), -1);
  cg::ReleasePort();
  EXPECT_EQ(cg::PortClaimed, 0);
  cg::PortCount = 0;
  EXPECT_EQ(cg::ClaimPort(), 0);
  EXPECT_EQ(Wire(), "");
}

TEST_F(BusTest, ReleaseClearsBothFlagsAndCallsOnlyForAClaim) {
  cg::LockPortOpen = -1;
  cg::ReleasePort();
  EXPECT_EQ(Wire(), "");
  EXPECT_EQ(cg::LockPortOpen, 0);

  cg::PortClaimed = cg::LockPortOpen = -1;
  cg::ReleasePort();
  EXPECT_EQ(Wire(), "release");
  EXPECT_EQ(cg::PortClaimed, 0);
  EXPECT_EQ(cg::LockPortOpen, 0);
}

TEST_F(BusTest, SelectPortByAddress) {
  // Port 2's information call fails; port 3 lies above the signed 16-bit range
  // (its 16-bit form is negative); ports 4 and 5 share a base.
  cg::PortCount = 5;
  struct Case {
    int16_t address;
    uint8_t index;
    int16_t selected;
    bool moved;  // the claim on port 8 is given up before the selection moves
  } cases[] = {
      {0x278, 7, 0x100, false},                                          // passed over: nothing changes
      {static_cast<int16_t>(0xBC00), 2, static_cast<int16_t>(0xBC00), true},
      {0x3BC, 3, 0x3BC, true},                                           // the lower-numbered of two
      {0x378, 0, 0x378, true},
      {0x2BC, 7, 0x100, false},                                          // no such port
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    RecorderReset();
    for (const auto& [number, base, info] : {std::tuple{1, 0x378, 1}, {2, 0x278, 0}, {3, 0x1BC00, 1}, {4, 0x3BC, 1}, {5, 0x3BC, 1}}) {
      RecorderSetPort(number, base, info);
    }
    cg::PortIndex = 7;
    cg::PortAddress = 0x100;
    cg::PortClaimed = cg::LockPortOpen = -1;
    cg::SelectPortByAddress(c.address);
    EXPECT_EQ(cg::PortIndex, c.index);
    EXPECT_EQ(cg::PortAddress, c.selected);
    EXPECT_EQ(cg::PortClaimed, c.moved ? 0 : -1);
    EXPECT_EQ(cg::LockPortOpen, c.moved ? 0 : -1);
    int released = 0;
    for (const RecorderCall& call : recorder::Calls()) {
      if (call.kind == kRecorderRelease) {
        EXPECT_EQ(call.a, 8);
        ++released;
      } else {
        EXPECT_EQ(call.kind, kRecorderInfo);
      }
    }
    EXPECT_EQ(released, c.moved ? 1 : 0);
  }
}

TEST_F(BusTest, SelectWithoutPortClearsTheClaimAlone) {
  cg::PortCount = 0;
  cg::PortIndex = 1;
  cg::PortClaimed = cg::LockPortOpen = -1;
  cg::SelectPortByAddress(0x378);
  EXPECT_EQ(cg::PortClaimed, 0);
  EXPECT_EQ(cg::LockPortOpen, -1);  // the lock without claim
  EXPECT_EQ(cg::PortIndex, 1);
  EXPECT_EQ(cg::PortAddress, 0x378);
  EXPECT_EQ(Wire(), "");
}

TEST_F(BusTest, PortByteGates) {
  struct Case {
    int16_t claimed, locked;
    bool outputActs, portActs;
  } cases[] = {{0, 0, false, false}, {-1, 0, true, true}, {0, -1, false, true}, {-1, -1, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.claimed << "," << c.locked);
    RecorderReset();
    ScriptStatus({}, 0x5A);
    cg::PortClaimed = c.claimed;
    cg::LockPortOpen = c.locked;
    cg::OutputByte(0x37A, 0x11);
    EXPECT_EQ(cg::InputByte(0x379), c.outputActs ? 0x5A : 0);
    cp::PortOutByte(0x37A, 0x22);
    EXPECT_EQ(cp::PortInByte(0x379), c.portActs ? 0x5A : 0);
    std::string expected;
    if (c.outputActs) expected += "out@890=0x11 in ";
    if (c.portActs) expected += "out@890=0x22 in";
    if (!expected.empty() && expected.back() == ' ') expected.pop_back();
    EXPECT_EQ(Wire(), expected);
    EXPECT_EQ(cg::PortClaimed, c.claimed);  // none of them claims
  }
}

TEST_F(BusTest, PortAddressesWidenWithTheirSign) {
  cg::PortClaimed = -1;
  cp::PortOutByte(static_cast<int16_t>(0xBC00), 1);
  EXPECT_EQ(recorder::Calls().at(0).a, -17408);
}

TEST_F(BusTest, SetBitsToStayHighWritesTheValueAlone) {
  struct Case {
    const char* state;
    uint8_t ports;
    int16_t locked;
    const char* wire;
  } cases[] = {
      {"free", 1, 0, "claim =0x04 release"},
      {"locked", 1, -1, "=0x04"},
      {"no port", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    RecorderReset();
    cg::BitsToStayHigh = 0;
    cg::PortCount = c.ports;
    cg::PortClaimed = cg::LockPortOpen = c.locked;
    cp::SetBitsToStayHigh(0x04);
    EXPECT_EQ(cg::BitsToStayHigh, 0x04);
    cg::BitsToStayHigh = 0;  // render the raw value
    EXPECT_EQ(Wire(), c.wire);
    EXPECT_EQ(cg::LockPortOpen, c.locked);
  }
}

TEST_F(BusTest, SetDataInverted) {
  struct Case {
    int16_t value;
    uint8_t flag;
    uint8_t hh, lh, ll, hl;
  } cases[] = {
      {0, 0, 3, 1, 0, 2},
      {-1, 0xFF, 0, 2, 3, 1},
      {1, 1, 0, 2, 3, 1},  // any other value changes the flag only
      {0, 0, 3, 1, 0, 2},
      {0x102, 2, 3, 1, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    cp::SetDataInverted(c.value);
    EXPECT_EQ(cg::DataInverted, c.flag);
    EXPECT_EQ(cg::CodeSDAHighSCLHigh, c.hh);
    EXPECT_EQ(cg::CodeSDALowSCLHigh, c.lh);
    EXPECT_EQ(cg::CodeSDALowSCLLow, c.ll);
    EXPECT_EQ(cg::CodeSDAHighSCLLow, c.hl);
  }
  EXPECT_EQ(Wire(), "");
}

}  // namespace
}  // namespace bustest
