// End to end on the virtual evaluation board: the transactions go through the real
// libparport2k.so to the chip models, which decode the bus from its line edges.
#include <gtest/gtest.h>

#include <cstdlib>

#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "qelboard_control.h"

namespace {

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

constexpr uint8_t kSwitchChip = 0x90;  // ZQS472 at 7-bit 0x48
constexpr uint8_t kEeprom = 0xA0;      // 7-bit 0x50, two-byte memory address

class VirtualBoardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("QEL_BOARD", "virtual", 1); }

  void SetUp() override {
    QelBoard_Reset();
    cg::PortCount = static_cast<uint8_t>(parport2k::GetParallelPortCount());
    ASSERT_EQ(cg::PortCount, 2);
    cg::SelectPortByAddress(0x378);
    ASSERT_EQ(cg::PortAddress, 0x378);
    cp::SetDataInverted(-1);  // the board's drivers invert
    cp::RepeatedStart = 0;
  }
};

TEST_F(VirtualBoardTest, SendByteReachesTheSwitchesAndReceiveByteReadsThemBack) {
  cp::ShortWriteTransaction(kSwitchChip, 0xA5);
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0xA5);
  EXPECT_EQ(cp::ShortReadTransaction(kSwitchChip), 0xA5);
  QelBoard_SetSwitchByte(0x3C);
  EXPECT_EQ(cp::ShortReadTransaction(kSwitchChip), 0x3C);
  EXPECT_EQ(cg::PortClaimed, 0);
}

TEST_F(VirtualBoardTest, PointerTransactionsOnTheSwitchChip) {
  // The chip takes every byte written as its switch byte, the pointer included.
  cp::PortWriteTransaction(kSwitchChip, 0x11, 0x22);
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0x22);
  for (int16_t repeated : {0, -1}) {
    SCOPED_TRACE(repeated);
    cp::RepeatedStart = repeated;
    EXPECT_EQ(cp::PortReadTransaction(kSwitchChip, 0x5A + repeated), 0x5A + repeated);
    EXPECT_EQ(QelBoard_GetSwitchByte(), 0x5A + repeated);
  }
}

TEST_F(VirtualBoardTest, WordAndPointerTransactionsOnTheEeprom) {
  QelBoard_WriteEeprom(0x123, 0xBE);
  QelBoard_WriteEeprom(0x124, 0xEF);
  // Pointer and data make the two-byte memory address: the EEPROM's address is set.
  cp::PortWriteTransaction(kEeprom, 0x01, 0x23);
  // One address byte alone leaves the address; the word comes from 0x123 on.
  EXPECT_EQ(cp::ReadWordTransaction(kEeprom, 0x99), 0xBEEF);

  // Pointer and high byte address 0x0234; the low byte is the data.
  cp::WriteWordTransaction(kEeprom, 0x02, 0x3456);
  EXPECT_EQ(QelBoard_ReadEeprom(0x234), 0x56);
  cp::PortWriteTransaction(kEeprom, 0x02, 0x34);
  EXPECT_EQ(cp::PortReadTransaction(kEeprom, 0x00), 0x56);
}

}  // namespace
