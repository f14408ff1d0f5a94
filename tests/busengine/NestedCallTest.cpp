// A library call made from a message dispatched during a wait's yield is refused
// at once, with nothing on the wire, and the operation in progress goes on intact.
#include <functional>

#include "BusFixture.h"
#include "BusOperation.h"
#include "Notation.h"
#include "com/error.h"

namespace bustest {
namespace {

std::function<void()> g_nested;
std::vector<comrt::Error> g_refusals;

void YieldWithNestedCall() {
  RecorderMark('D');
  if (!g_nested) return;
  const auto nested = std::exchange(g_nested, nullptr);
  const int before = RecorderCallCount();
  try {
    nested();
  } catch (const comrt::Error& error) {
    g_refusals.push_back(error);
  }
  EXPECT_EQ(RecorderCallCount(), before);  // nothing reached the port
}

TEST_F(BusTest, NestedTransactionDuringABitDelayIsRefused) {
  const std::function<void()> nestedCalls[] = {
      [] { cp::ShortWriteTransaction(0x92, 1); },   [] { cp::ShortReadTransaction(0x92); },
      [] { cp::WriteWordTransaction(0x92, 1, 2); }, [] { cp::ReadWordTransaction(0x92, 1); },
      [] { cp::PortWriteTransaction(0x92, 1, 2); }, [] { cp::PortReadTransaction(0x92, 1); },
  };
  MarkBitDelays();
  qelsys::SetYieldHook(YieldWithNestedCall);
  for (const auto& nested : nestedCalls) {
    RecorderReset();
    g_refusals.clear();
    g_nested = nested;
    cp::ShortWriteTransaction(0x90, 0x5A);
    ASSERT_EQ(g_refusals.size(), 1u);
    EXPECT_EQ(g_refusals[0].number(), 17);
    EXPECT_EQ(g_refusals[0].description(), "A bus operation is already in progress; the nested call was refused.");
    EXPECT_EQ(Wire(), Join({"claim", kStart, Written(0x90), Written(0x5A), kStop, "release"}));
  }
  // Once the operation is over the next one runs.
  RecorderReset();
  cp::ShortWriteTransaction(0x90, 0x5A);
  EXPECT_TRUE(Wire().starts_with("claim HH"));
}

TEST_F(BusTest, NestedCallDuringTheFrameWaitIsRefusedToo) {
  cp::RelativeDelayOn = -1;
  cp::FrameDelay = 1;
  qelsys::SetYieldHook(YieldWithNestedCall);
  g_refusals.clear();
  g_nested = [] { cp::PortWriteTransaction(0x92, 1, 2); };
  cp::PortWriteTransaction(0x90, 0x3C, 0x5A);
  ASSERT_EQ(g_refusals.size(), 1u);
  const std::string frame = Join({kStart, Written(0x90), Written(0x3C), Written(0x5A), kStop});
  EXPECT_EQ(Wire(), Join({"claim", WithoutDelays(frame), "D", "release"}));
}

TEST_F(BusTest, BusOperationScopeRefusesASecondOne) {
  {
    quorlink::BusOperation outer;
    EXPECT_TRUE(quorlink::BusOperation::Active());
    EXPECT_THROW(quorlink::BusOperation inner, comrt::Error);
    EXPECT_TRUE(quorlink::BusOperation::Active());  // the refusal leaves the outer one open
  }
  EXPECT_FALSE(quorlink::BusOperation::Active());
  quorlink::BusOperation again;
}

}  // namespace
}  // namespace bustest
