// A parport2k without its claim and release routines: the claim counts as failed
// and the release is skipped, without an error, so operations become no-ops.
#include "BusFixture.h"

namespace bustest {
namespace {

TEST_F(BusTest, MissingClaimRoutinesFailTheClaimQuietly) {
  cg::PortClaimed = -1;
  EXPECT_EQ(cg::ClaimPort(), 0);  // the standing claim's release is skipped too
  EXPECT_EQ(cg::PortClaimed, 0);

  cg::PortClaimed = cg::LockPortOpen = -1;
  cg::ReleasePort();
  EXPECT_EQ(cg::PortClaimed, 0);
  EXPECT_EQ(cg::LockPortOpen, 0);

  cp::ShortWriteTransaction(0x90, 0x55);
  EXPECT_EQ(cp::ShortReadTransaction(0x90), 0);
  cp::SendStartCondition();
  EXPECT_EQ(Wire(), "");
}

}  // namespace
}  // namespace bustest
