// The EEPROM object on the recording port: whole frames with the address byte's
// read bit, the frame delay ahead of the release, each ownership state, what the
// constructor loads, the per-object and shared properties, and a failed access.
#include <cmath>
#include <functional>
#include <limits>

#include "BusFixture.h"
#include "EEPROM.h"
#include "Notation.h"
#include "com/error.h"

namespace bustest {
namespace {

using Eeprom = comrt::ComPtr<EEPROM>;

constexpr HRESULT Failure(int32_t number) { return static_cast<HRESULT>(0x800A0000u + static_cast<uint32_t>(number)); }

class EEPROMTest : public BusTest {
 protected:
  void SetUp() override {
    BusTest::SetUp();
    eeprom = comrt::Make<EEPROM>();
    RecorderReset();
    MarkBitDelays();
    cp::FrameDelay = 1;  // one more yield, "D", after the stop
  }
  Eeprom eeprom;
};

struct Transaction {
  const char* name;
  std::function<int(EEPROM&)> run;
  std::string frame;  // for bus address 0xA3 or 0xA2
  int result;
};

// Memory address 0x1234, data 0x5A, command 0x80; the byte read is 0xC3.
std::vector<Transaction> Transactions() {
  return {
      {"ReadByte",
       [](EEPROM& e) {
         BYTE value = 0;
         EXPECT_EQ(e.ReadByte(0x12, 0x34, &value), S_OK);
         return int(value);
       },
       Join({kStart, Written(0xA2), Written(0x12), Written(0x34), kStop, kStart, Written(0xA3), Received(),
             kMasterNAck, kStop}),
       0xC3},
      {"WriteByte",
       [](EEPROM& e) {
         EXPECT_EQ(e.WriteByte(0x12, 0x34, 0x5A), S_OK);
         return 0;
       },
       Join({kStart, Written(0xA2), Written(0x12), Written(0x34), Written(0x5A), kStop}), 0},
      {"PageErase",
       [](EEPROM& e) {
         VARIANT_BOOL done = 1;
         EXPECT_EQ(e.PageErase(0x80, 0x12, 0x34, &done), S_OK);
         return int(done);
       },
       Join({kStart, Written(0xA2), Written(0x80), Written(0x12), Written(0x34), kStop}), 0},
      // The last clock is a not-acknowledge: no bit delay in front of it.
      {"SetEEPROMAddress",
       [](EEPROM& e) {
         EXPECT_EQ(e.SetEEPROMAddress(0x12, 0x34), S_OK);
         return 0;
       },
       Join({kStart, Written(0xA2), Written(0x00), Written(0x12), Bits(0x34), kMasterNAck, kStop}), 0},
  };
}

TEST_F(EEPROMTest, FramesAndClaimsInEachOwnershipState) {
  struct State {
    const char* name;
    std::function<void()> set;
    bool runs;
    const char* claim;
    const char* release;
    int16_t claimedAfter, lockedAfter;
  } states[] = {
      {"free", [] {}, true, "claim", "release", 0, 0},
      {"locked", [] { cg::PortClaimed = cg::LockPortOpen = -1; }, true, "", "", -1, -1},
      {"lock without claim", [] {
         cg::LockPortOpen = -1;
         cg::PortCount = 0;
       }, false, "", "", 0, -1},
      {"claim refused", [] { RecorderRefuseClaims(1); }, false, "claim", "", 0, 0},
      {"Windows 95 family", [] { cg::IsWin9x = -1; }, true, "", "", 0, 0},
  };
  for (const State& state : states) {
    for (const Transaction& t : Transactions()) {
      for (uint8_t address : {0xA3, 0xA2}) {
        SCOPED_TRACE(testing::Message() << state.name << ": " << t.name << " at " << int(address));
        RecorderReset();
        const std::vector<uint8_t> status = StatusFor(0xC3);
        RecorderScriptStatus(status.data(), static_cast<int32_t>(status.size()), 0);
        cg::PortClaimed = cg::LockPortOpen = cg::IsWin9x = 0;
        cg::PortCount = 1;
        cg::DeviceAddress = address;
        state.set();
        const int result = t.run(*eeprom);
        // The frame delay comes before the release.
        EXPECT_EQ(Wire(), state.runs ? Join({state.claim, t.frame, "D", state.release}) : state.claim);
        EXPECT_EQ(result, state.runs ? t.result : 0);
        EXPECT_EQ(cg::PortClaimed, state.claimedAfter);
        EXPECT_EQ(cg::LockPortOpen, state.lockedAfter);
      }
    }
  }
}

TEST_F(EEPROMTest, SetAddressDoesNothingAtAll) {
  for (uint8_t count : {1, 0}) {
    cg::PortCount = count;
    EXPECT_EQ(eeprom->SetAddress(0x12, 0x34), S_OK);
    EXPECT_EQ(RecorderCallCount(), 0);
  }
}

TEST_F(EEPROMTest, ConstructorLoadsTheInvertedCodesAndNothingElse) {
  cg::PlainLineCodes();
  cg::DataInverted = 0;
  cg::BitsToStayHigh = 0x04;
  cg::DeviceAddress = 0x90;
  cp::Delay = 0.5f;
  const Eeprom second = comrt::Make<EEPROM>();
  EXPECT_EQ((std::vector<int>{cg::CodeSDAHighSCLHigh, cg::CodeSDALowSCLHigh, cg::CodeSDALowSCLLow,
                              cg::CodeSDAHighSCLLow}),
            (std::vector<int>{0, 2, 3, 1}));
  EXPECT_EQ(cg::DataInverted, 0);
  EXPECT_EQ(cg::BitsToStayHigh, 0x04);
  EXPECT_EQ(cg::DeviceAddress, 0x90);
  EXPECT_EQ(cp::Delay, 0.5f);
  EXPECT_EQ(RecorderCallCount(), 0);
}

// Delay and FrameDelay belong to each object and pace nothing; RelativeDelayOn and
// DeviceAddress are the library's shared settings.
TEST_F(EEPROMTest, OwnAndSharedProperties) {
  const Eeprom other = comrt::Make<EEPROM>();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ASSERT_EQ(eeprom->put_Delay(5), S_OK);
  ASSERT_EQ(eeprom->put_FrameDelay(-1), S_OK);
  short delay = 0;
  float frameDelay = 0;
  eeprom->get_Delay(&delay);
  eeprom->get_FrameDelay(&frameDelay);
  EXPECT_EQ(delay, 5);
  EXPECT_EQ(frameDelay, -1);
  other->get_Delay(&delay);
  other->get_FrameDelay(&frameDelay);
  EXPECT_EQ(delay, 0);
  EXPECT_EQ(frameDelay, 0);
  other->put_FrameDelay(nan);
  other->get_FrameDelay(&frameDelay);
  EXPECT_TRUE(std::isnan(frameDelay));
  EXPECT_EQ(cp::Delay, 1);
  EXPECT_EQ(cp::FrameDelay, 1);

  cg::DeviceAddress = 0xA2;
  EXPECT_EQ(eeprom->WriteByte(0x12, 0x34, 0x5A), S_OK);  // paced by the shared delays only
  EXPECT_EQ(Wire(), Join({"claim", kStart, Written(0xA2), Written(0x12), Written(0x34), Written(0x5A), kStop, "D",
                          "release"}));

  ASSERT_EQ(eeprom->put_RelativeDelayOn(1), S_OK);  // stored as given
  EXPECT_EQ(cp::RelativeDelayOn, 1);
  VARIANT_BOOL relative = 0;
  other->get_RelativeDelayOn(&relative);
  EXPECT_EQ(relative, 1);
  ASSERT_EQ(eeprom->put_DeviceAddress(0x90), S_OK);
  EXPECT_EQ(cg::DeviceAddress, 0x90);
  BYTE address = 0;
  other->get_DeviceAddress(&address);
  EXPECT_EQ(address, 0x90);
}

// The transaction stops where the access failed: no stop, no frame delay, no release.
TEST_F(EEPROMTest, RefusedAccessEndsTheTransactionWithTheClaimStanding) {
  cg::DeviceAddress = 0xA0;
  cg::IsWin9x = 0;
  RecorderRefuseByteAccess(comrt::kPermissionDenied);
  BYTE value = 0xEE;
  EXPECT_EQ(eeprom->ReadByte(0x12, 0x34, &value), Failure(comrt::kPermissionDenied));
  EXPECT_EQ(Wire(), "claim HH");
  EXPECT_EQ(value, 0);
  EXPECT_EQ(cg::PortClaimed, -1);
}

}  // namespace
}  // namespace bustest
