// A parport2k without OutByte and InByte: the operation that meets the missing
// routine ends with its error after its claim, except the reception, which ignores
// port errors.
#include "BusFixture.h"
#include "com/error.h"
#include "error_of.h"

namespace bustest {
namespace {

TEST_F(BusTest, MissingOutByteEndsTheTransactionAfterItsClaim) {
  cp::FrameDelay = 1;
  cp::RelativeDelayOn = -1;
  int yields = 0;
  static int* counter = &yields;
  qelsys::SetYieldHook([] { ++*counter; });
  const comrt::Error error = ErrorOf([] { cp::ShortWriteTransaction(0x90, 0x5A); });
  EXPECT_EQ(error.number(), 453);
  EXPECT_EQ(error.description(), "Can't find DLL entry point OutByte in libparport2k.so");
  EXPECT_EQ(Wire(), "claim");
  EXPECT_EQ(cg::PortClaimed, -1);
  EXPECT_EQ(yields, 0);
}

TEST_F(BusTest, MissingInByteFailsAPortReadButNotAReception) {
  cg::PortClaimed = -1;
  EXPECT_EQ(ErrorOf([] { cp::PortInByte(0x379); }).number(), 453);
  EXPECT_EQ(ErrorOf([] { cp::ClockAckAndSample(); }).number(), 453);
  // Every write skipped and every reading failed: the status stays 0, so all bits are 1.
  EXPECT_EQ(cp::ReceiveDataByte(), 255.0f);
  EXPECT_EQ(Wire(), "");
}

}  // namespace
}  // namespace bustest
