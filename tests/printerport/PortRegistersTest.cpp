// The three register objects on the recording port: where each access goes, how
// it claims and releases in each ownership state, and an access that fails.
#include <functional>

#include "BusFixture.h"
#include "PortRegisters.h"
#include "com/error.h"

namespace bustest {
namespace {

template <class R>
using Register = comrt::ComPtr<R>;

constexpr HRESULT Failure(int32_t number) { return static_cast<HRESULT>(0x800A0000u + static_cast<uint32_t>(number)); }

class PortRegisterTest : public BusTest {
 public:
  Register<DataPort> data = comrt::Make<DataPort>();
  Register<StatusPort> status = comrt::Make<StatusPort>();
  Register<ControlPort> control = comrt::Make<ControlPort>();
};

TEST_F(PortRegisterTest, RegistersAreTheBasePlusTheirOffsetIn16Bits) {
  struct Case {
    int16_t base;
    int32_t data, status, control;
  } cases[] = {
      {0x378, 0x378, 0x379, 0x37A},
      {static_cast<int16_t>(0x8000), -32768, -32767, -32766},
      {static_cast<int16_t>(0xFFFE), -2, -1, 0},  // wraps without an error
      {0x7FFF, 0x7FFF, -32768, -32767},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base);
    RecorderReset();
    ScriptStatus({0x5A, 0xC3, 0x81});
    cg::PortAddress = c.base;
    BYTE read[3] = {};
    ASSERT_EQ(data->put_Value(0xA5), S_OK);
    ASSERT_EQ(status->put_Value(0x96), S_OK);  // not treated as read-only
    ASSERT_EQ(control->put_Value(0x0F), S_OK);
    ASSERT_EQ(data->get_Value(&read[0]), S_OK);
    ASSERT_EQ(status->get_Value(&read[1]), S_OK);
    ASSERT_EQ(control->get_Value(&read[2]), S_OK);
    std::vector<std::pair<int32_t, int32_t>> accesses;
    for (const RecorderCall& call : recorder::Calls()) {
      if (call.kind == kRecorderOut) accesses.emplace_back(call.a, call.b);
      if (call.kind == kRecorderIn) accesses.emplace_back(call.a, -1);
    }
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {c.data, 0xA5}, {c.status, 0x96}, {c.control, 0x0F}, {c.data, -1}, {c.status, -1}, {c.control, -1}};
    EXPECT_EQ(accesses, expected);
    EXPECT_EQ(read[0], 0x5A);  // the bytes as the port gives them
    EXPECT_EQ(read[1], 0xC3);
    EXPECT_EQ(read[2], 0x81);
  }
}

// Each object writes 0xA5 and reads 0x5A from the script; "·" marks the access.
TEST_F(PortRegisterTest, ClaimsAndReleasesPerOwnershipState) {
  struct State {
    const char* name;
    std::function<void()> set;
    const char* dataOrStatus;  // the log around a DataPort or StatusPort access
    const char* controlLog;
    int16_t claimedAfter, lockedAfter;
    int16_t controlClaimedAfter, controlLockedAfter;
  } states[] = {
      {"free", [] {}, "claim · release", "claim · release", 0, 0, 0, 0},
      {"claim left standing", [] { cg::PortClaimed = -1; }, "release claim · release", "release claim · release", 0,
       0, 0, 0},
      {"locked", [] { cg::PortClaimed = cg::LockPortOpen = -1; }, "·", "·", -1, -1, -1, -1},
      {"lock without claim",
       [] {
         cg::LockPortOpen = -1;
         cg::PortCount = 0;  // what a selection that found no port leaves
       },
       "·", "", 0, -1, 0, -1},
      {"claim refused", [] { RecorderRefuseClaims(1); }, "claim", "claim", 0, 0, 0, 0},
      {"no port", [] { cg::PortCount = 0; }, "", "", 0, 0, 0, 0},
      {"Windows 95 family", [] { cg::IsWin9x = -1; }, "·", "·", 0, 0, 0, 0},
  };
  struct Access {
    const char* name;
    bool control;
    std::function<HRESULT(PortRegisterTest&, BYTE*)> run;
    std::string word;  // how the access shows in the log
  } accesses[] = {
      {"DataPort write", false, [](PortRegisterTest& t, BYTE*) { return t.data->put_Value(0xA5); }, "=0xA5"},
      {"DataPort read", false, [](PortRegisterTest& t, BYTE* v) { return t.data->get_Value(v); }, "in@888"},
      {"StatusPort write", false, [](PortRegisterTest& t, BYTE*) { return t.status->put_Value(0xA5); },
       "out@889=0xA5"},
      {"StatusPort read", false, [](PortRegisterTest& t, BYTE* v) { return t.status->get_Value(v); }, "in"},
      {"ControlPort write", true, [](PortRegisterTest& t, BYTE*) { return t.control->put_Value(0xA5); },
       "out@890=0xA5"},
      {"ControlPort read", true, [](PortRegisterTest& t, BYTE* v) { return t.control->get_Value(v); }, "in@890"},
  };
  for (const State& state : states) {
    for (const Access& access : accesses) {
      SCOPED_TRACE(testing::Message() << state.name << ": " << access.name);
      Restart();
      ScriptStatus({}, 0x5A);
      state.set();
      BYTE value = 0xEE;
      ASSERT_EQ(access.run(*this, &value), S_OK);
      std::string expected = access.control ? state.controlLog : state.dataOrStatus;
      const bool reached = expected.find("·") != std::string::npos;
      if (reached) expected.replace(expected.find("·"), std::string("·").size(), access.word);
      EXPECT_EQ(Wire(), expected);
      if (access.word.starts_with("in")) {
        EXPECT_EQ(value, reached ? 0x5A : 0);
      }
      EXPECT_EQ(cg::PortClaimed, access.control ? state.controlClaimedAfter : state.claimedAfter);
      EXPECT_EQ(cg::LockPortOpen, access.control ? state.controlLockedAfter : state.lockedAfter);
    }
  }
}

// A failed access ends the member with its error; the release after it does not
// run, so the claim made for it stays until the next claim.
TEST_F(PortRegisterTest, RefusedAccessFailsAndLeavesTheClaimStanding) {
  RecorderRefuseByteAccess(comrt::kPermissionDenied);
  BYTE value = 0xEE;
  EXPECT_EQ(data->put_Value(0xA5), Failure(comrt::kPermissionDenied));
  EXPECT_EQ(Wire(), "claim =0xA5");
  EXPECT_EQ(cg::PortClaimed, -1);
  EXPECT_EQ(control->get_Value(&value), Failure(comrt::kPermissionDenied));
  EXPECT_EQ(Wire(), "claim =0xA5 release claim in@890");
  EXPECT_EQ(cg::PortClaimed, -1);
  RecorderRefuseByteAccess(0);
  EXPECT_EQ(status->get_Value(nullptr), E_POINTER);
  EXPECT_EQ(Wire(), "claim =0xA5 release claim in@890");  // a null out parameter touches nothing
}

}  // namespace
}  // namespace bustest
