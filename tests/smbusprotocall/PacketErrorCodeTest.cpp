// The packet error code on known messages, the running values it leaves, and the
// conversion of message values to bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "BlockNotation.h"
#include "BlockTransfers.h"
#include "CommunicationsProcedures.h"
#include "com/error.h"

namespace bustest {
namespace {

namespace cp = CommunicationsProcedures;

std::vector<float> Message(std::initializer_list<int> bytes) { return std::vector<float>(bytes.begin(), bytes.end()); }

TEST(PacketErrorCode, KnownMessages) {
  std::vector<float> blockRead = Message({0x90, 0xA1, 0x91, 0x20});
  for (int i = 0; i < 32; ++i) blockRead.push_back(static_cast<float>(i));
  struct Case {
    const char* name;
    std::vector<float> message;
    uint8_t pec;
    std::vector<int16_t> running;
  } cases[] = {
      {"digits 1 to 9", Message({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xF4, {}},
      {"block write of 0x55", Message({0x90, 0xA0, 0x01, 0x55}), 0xA7, {0xF9, 0x88, 0xB6, 0xA7}},
      {"empty block write", Message({0x90, 0xA0, 0x00}), 0xB1, {0xF9, 0x88, 0xB1}},
      {"block read of 0x00 to 0x1F", blockRead, 0x85, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(cp::PECData, 0x7F, sizeof cp::PECData);
    quorlink::BlockTransfers block;
    EXPECT_EQ(block.CalculatePEC(c.message), c.pec);
    EXPECT_EQ(block.FinalPEC, c.pec);
    EXPECT_EQ(cp::PECData[c.message.size() - 1], c.pec);
    for (size_t i = 0; i < c.running.size(); ++i) EXPECT_EQ(cp::PECData[i], c.running[i]) << i;
    // Elements past the message keep what was there.
    if (c.message.size() < 38) {
      EXPECT_EQ(cp::PECData[c.message.size()], 0x7F7F);
    }
  }
}

// Every pair of register value and byte: the first byte sets the register to each
// of its 256 values, the second folds in every byte on top of it.
TEST(PacketErrorCode, AgreesWithTheBitwiseDefinitionOnEveryRegisterAndByte) {
  quorlink::BlockTransfers block;
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const uint8_t expected = Crc8({static_cast<uint8_t>(first), static_cast<uint8_t>(second)});
      ASSERT_EQ(block.CalculatePEC(Message({first, second})), expected) << first << " " << second;
      ASSERT_EQ(cp::PECData[0], Crc8({static_cast<uint8_t>(first)}));
    }
  }
}

TEST(PacketErrorCode, ValuesBecomeBytesByNearestTiesToEven) {
  quorlink::BlockTransfers block;
  EXPECT_EQ(block.CalculatePEC(std::vector<float>{0x90, 0xA0, 0.5f}), 0xB1);   // 0.5 is 0
  EXPECT_EQ(block.CalculatePEC(std::vector<float>{0x90, 0xA0, 1, 85.5f}), 0xAE);  // 85.5 is 86
  EXPECT_EQ(block.CalculatePEC(std::vector<float>{0x90, 0xA0, 1, 86}), 0xAE);
  block.FinalPEC = 5;
  for (float bad : {-0.75f, 255.5f, 300.0f, std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(bad);
    try {
      block.CalculatePEC(std::vector<float>{0x90, 0xA0, 1, bad});
      ADD_FAILURE() << "no error";
    } catch (const comrt::Error& e) {
      EXPECT_EQ(e.number(), comrt::kOverflow);
    }
    EXPECT_EQ(block.FinalPEC, 5);
  }
}

}  // namespace
}  // namespace bustest
