// Block write and block read as whole wire sequences on the recording port: the
// frames with and without the packet error code, the acknowledge kinds, the
// packet error check both ways, a wrong count byte, the forms of block data a
// client may pass and the faulty ones, and the state each transfer leaves.
#include <cstring>
#include <functional>
#include <limits>

#include "BlockNotation.h"
#include "BlockTransfers.h"
#include "BusFixture.h"
#include "com/error.h"

namespace bustest {
namespace {

class BlockTest : public BusTest {
 protected:
  void SetUp() override {
    BusTest::SetUp();
    MarkBitDelays();
    cg::DeviceAddress = 0x90;
  }
  // Runs `transfer` and returns the number of the error it raised (0 for none).
  static int32_t ErrorOf(const std::function<void()>& transfer) {
    try {
      transfer();
    } catch (const comrt::Error& e) {
      return e.number();
    }
    return 0;
  }

  quorlink::BlockTransfers block;
};

TEST_F(BlockTest, BlockWriteWithPecAndItsCheckBothWays) {
  struct Case {
    const char* name;
    uint8_t address;
    uint8_t ackStatus;  // status bit 1 clear is the acknowledge while DataInverted is 0
    int16_t pecOk;
  } cases[] = {
      {"acknowledged", 0x90, 0x00, -1},
      {"not acknowledged", 0x90, 0x02, 0},
      {"read bit of the address ignored", 0x91, 0x00, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderReset();
    ScriptStatus({c.ackStatus});
    cg::DeviceAddress = c.address;
    block.UsePEC = -1;
    block.PECOK = 5;
    // Elements 0 to 2 hold values that would not even fit a byte: they are not used.
    const auto data = ArrayOf(VT_VARIANT, 0, {comrt::Variant(1000.0), comrt::Variant("x"), comrt::Variant(), comrt::Variant(SHORT{0x55})});
    block.BlockWrite(1, data);
    EXPECT_EQ(Wire(), Join({"claim", BlockWriteHead(0x90, 1), Written(0x55), Bits(0xA7), kSampledAck, kStop, "release"}));
    EXPECT_EQ(block.PECOK, c.pecOk);
    EXPECT_EQ(block.FinalPEC, 167);
    const auto running = ElementsOf(quorlink::BlockTransfers::GetPECData());
    EXPECT_EQ(std::vector<int16_t>(running.begin(), running.begin() + 4), (std::vector<int16_t>{0xF9, 0x88, 0xB6, 0xA7}));
    // The caller's array is left as it was.
    LONG index = 0;
    comrt::Variant first;
    SafeArrayGetElement(data.parray, &index, &first);
    EXPECT_EQ(first.vt, VT_R8);
    EXPECT_EQ(first.dblVal, 1000.0);
  }
}

TEST_F(BlockTest, BlockWriteWithoutDataBytesOrWithoutPec) {
  // Count 0: indices 0 to 2 suffice.
  block.UsePEC = -1;
  block.BlockWrite(0, ArrayOf(VT_I2, 0, Bytes({1, 2, 3})));
  EXPECT_EQ(Wire(), Join({"claim", BlockWriteHead(0x90, 0), Bits(0xB1), kSampledAck, kStop, "release"}));
  EXPECT_EQ(block.FinalPEC, 0xB1);

  // Without the packet error code nothing of the check changes.
  RecorderReset();
  std::memset(cp::PECData, 0x11, sizeof cp::PECData);
  block.UsePEC = 0;
  block.PECOK = 1;
  block.FinalPEC = 5;
  block.BlockWrite(2, BlockData(VT_UI1, Bytes({0xC3, 0x3C})));
  EXPECT_EQ(Wire(), Join({"claim", BlockWriteHead(0x90, 2), Written(0xC3), Written(0x3C), kStop, "release"}));
  EXPECT_EQ(block.PECOK, 1);
  EXPECT_EQ(block.FinalPEC, 5);
  EXPECT_EQ(cp::PECData[0], 0x1111);
}

// 258 bytes covered by the code, more than the 38 running values kept.
TEST_F(BlockTest, LongestBlockWriteSendsTheCodeOfAllBytesAndKeepsTheFirstRunningValues) {
  std::vector<comrt::Variant> data;
  std::vector<uint8_t> message{0x90, 0xA0, 0xFF};
  std::string wire = Join({"claim", BlockWriteHead(0x90, 0xFF)});
  for (int i = 0; i < 255; ++i) {
    const auto byte = static_cast<uint8_t>(i * 37 + 11);
    data.emplace_back(SHORT{byte});
    message.push_back(byte);
    wire = Join({wire, Written(byte)});
  }
  const uint8_t pec = Crc8(message);
  block.UsePEC = -1;
  block.BlockWrite(255, BlockData(VT_VARIANT, data));
  EXPECT_EQ(Wire(), Join({wire, Bits(pec), kSampledAck, kStop, "release"}));
  EXPECT_EQ(block.FinalPEC, pec);
  const auto running = ElementsOf(quorlink::BlockTransfers::GetPECData());
  ASSERT_EQ(running.size(), 38u);
  for (size_t i = 0; i < running.size(); ++i) {
    EXPECT_EQ(running[i], Crc8(std::vector<uint8_t>(message.begin(), message.begin() + i + 1))) << i;
  }
}

TEST_F(BlockTest, BlockWriteWaitAckHoldsOnlyTheDataBytesAcknowledges) {
  static float now;
  now = 100;
  qelsys::SetClock([] { return now; });
  qelsys::SetYieldHook([] {
    now += 0.0625f;
    RecorderMark('Y');
  });
  cp::Delay = 0;
  const std::string hold = "HL HH Y Y HL LL";  // two steps of 1/16 s pass 0.1 s
  block.UsePEC = -1;
  block.BlockWriteWaitAck = -1;
  block.BlockWrite(2, BlockData(VT_I2, Bytes({0x12, 0x34})));
  const std::string expected =
      Join({"claim", BlockWriteHead(0x90, 2), Bits(0x12), hold, Bits(0x34), hold,
            Bits(Crc8({0x90, 0xA0, 0x02, 0x12, 0x34})), kSampledAck, kStop, "release"});
  EXPECT_EQ(Wire(), WithoutDelays(expected));
}

TEST_F(BlockTest, BlockDataOfEveryNumericForm) {
  auto byref = [](comrt::Variant& array) {
    comrt::Variant v;
    v.vt = VT_BYREF | array.vt;
    v.pparray = &array.parray;
    return v;
  };
  const auto bytes = Bytes({0x41, 0x42, 0x43, 0x44});
  // 66.5 and 68.5 go to their even neighbours 66 and 68.
  auto mixed = BlockData(VT_VARIANT, {comrt::Variant(SHORT{0x41}), comrt::Variant(66.5), comrt::Variant("67"), comrt::Variant(68.5f)});
  auto i2 = BlockData(VT_I2, bytes);
  comrt::Variant inner = BlockData(VT_R8, bytes);
  comrt::Variant refToVariant;
  refToVariant.vt = VT_BYREF | VT_VARIANT;
  refToVariant.pvarVal = &inner;
  auto shifted = Bytes({9, 0, 0, 0, 0x41, 0x42, 0x43, 0x44});  // index -1 is not used
  struct Case {
    const char* name;
    comrt::Variant data;
  } cases[] = {
      {"variants: integer, double, text, single", std::move(mixed)},
      {"16-bit integers", i2},
      {"bytes", BlockData(VT_UI1, bytes)},
      {"singles", BlockData(VT_R4, bytes)},
      {"doubles", BlockData(VT_R8, bytes)},
      {"texts", BlockData(VT_BSTR, bytes)},
      {"array by reference", byref(i2)},
      {"variant by reference", refToVariant},
      {"lower bound -1", ArrayOf(VT_I2, -1, shifted)},
  };
  const uint8_t pec = Crc8({0x90, 0xA0, 0x04, 0x41, 0x42, 0x43, 0x44});
  block.UsePEC = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderReset();
    block.BlockWrite(4, c.data);
    EXPECT_EQ(WithoutDelays(Wire()),
              WithoutDelays(Join({"claim", BlockWriteHead(0x90, 4), Written(0x41), Written(0x42), Written(0x43), Written(0x44),
                                  Bits(pec), kSampledAck, kStop, "release"})));
  }
}


// A faulty Data ends the write with its error where the element is first needed:
// what went out before stays out, with no stop and the port still claimed.
TEST_F(BlockTest, FaultyBlockDataEndsTheWriteWhereItIsNeeded) {
  auto twoDimensional = [] {
    SAFEARRAYBOUND bounds[2] = {{6, 0}, {2, 0}};
    comrt::Variant v;
    v.vt = VT_ARRAY | VT_I2;
    v.parray = SafeArrayCreate(VT_I2, 2, bounds);
    return v;
  };
  auto noElements = [] {
    comrt::Variant v;
    v.vt = VT_ARRAY | VT_VARIANT;  // an array variable never dimensioned
    return v;
  };
  auto objects = [] {
    comrt::Variant v;
    v.vt = VT_ARRAY | VT_DISPATCH;
    v.parray = SafeArrayCreateVector(VT_DISPATCH, 0, 6);
    return v;
  };
  const std::string head = Join({"claim", BlockWriteHead(0x90, 3)});
  struct Case {
    const char* name;
    comrt::Variant data;
    int16_t usePec;
    int32_t error;
    std::string wire;
  } cases[] = {
      {"no array", comrt::Variant(), 0, comrt::kTypeMismatch, head},
      {"a number", comrt::Variant(LONG{5}), 0, comrt::kTypeMismatch, head},
      {"no elements", noElements(), 0, comrt::kSubscriptOutOfRange, head},
      {"two dimensions", twoDimensional(), 0, comrt::kSubscriptOutOfRange, head},
      {"index 0 missing", ArrayOf(VT_I2, 1, Bytes({0, 0, 1, 2, 3})), 0, comrt::kSubscriptOutOfRange, head},
      {"index 5 missing", BlockData(VT_I2, Bytes({1, 2})), 0, comrt::kSubscriptOutOfRange,
       Join({head, Written(1), Written(2)})},
      {"text that is no number", BlockData(VT_VARIANT, {comrt::Variant(SHORT{1}), comrt::Variant("two"), comrt::Variant(SHORT{3})}), 0,
       comrt::kTypeMismatch, Join({head, Written(1)})},
      {"objects", objects(), 0, comrt::kTypeMismatch, head},
      {"beyond the single range", BlockData(VT_R8, {comrt::Variant(1e300), comrt::Variant(0.0), comrt::Variant(0.0)}), 0,
       comrt::kOverflow, head},
      {"beyond 32 bits", BlockData(VT_R4, {comrt::Variant(1e10f), comrt::Variant(0.0f), comrt::Variant(0.0f)}), 0,
       comrt::kOverflow, head},
      {"beyond a byte, with the code", BlockData(VT_I4, {comrt::Variant(LONG{300}), comrt::Variant(LONG{2}), comrt::Variant(LONG{3})}),
       -1, comrt::kOverflow, Join({head, Written(0x2C), Written(2), Written(3)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderReset();
    block.UsePEC = c.usePec;
    block.PECOK = 3;
    EXPECT_EQ(ErrorOf([&] { block.BlockWrite(3, c.data); }), c.error);
    EXPECT_EQ(Wire(), c.wire);
    EXPECT_EQ(cg::PortClaimed, -1);
    EXPECT_EQ(block.PECOK, 3);
    cg::PortClaimed = 0;
  }
  // Without the code a value beyond a byte is only its low eight bits.
  RecorderReset();
  block.UsePEC = 0;
  block.BlockWrite(1, BlockData(VT_I4, {comrt::Variant(LONG{300})}));
  EXPECT_EQ(Wire(), Join({"claim", BlockWriteHead(0x90, 1), Written(0x2C), kStop, "release"}));
}

// Type bits that name no type, also behind a reference, are refused before the
// port is claimed.
TEST_F(BlockTest, BlockDataOfNoTypeIsRefusedBeforeTheClaim) {
  comrt::Variant inner;
  inner.vt = 0xFFFF;
  comrt::Variant byReference;
  byReference.vt = VT_BYREF | VT_VARIANT;
  byReference.pvarVal = &inner;
  comrt::Variant variantByValue;
  variantByValue.vt = VT_VARIANT;
  for (const VARIANT* data : {static_cast<const VARIANT*>(&inner), static_cast<const VARIANT*>(&byReference),
                              static_cast<const VARIANT*>(&variantByValue)}) {
    RecorderReset();
    EXPECT_EQ(ErrorOf([&] { block.BlockWrite(3, *data); }), comrt::kBadVarType) << data->vt;
    EXPECT_EQ(Wire(), "");
    EXPECT_EQ(cg::PortClaimed, 0);
  }
}

TEST_F(BlockTest, BlockReadWithPecAndItsCheckBothWays) {
  std::vector<uint8_t> data;
  std::string body;
  for (int i = 0; i < 32; ++i) {
    data.push_back(static_cast<uint8_t>(i));
    body = Join({body, Received(), i < 31 ? kMasterAck : ""});
  }
  for (const uint8_t received : {0x85, 0x84}) {
    SCOPED_TRACE(int(received));
    RecorderReset();
    std::vector<uint8_t> bytes{32};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(received);
    ScriptBytes(bytes);
    block.UsePEC = -1;
    EXPECT_TRUE(block.BlockRead());
    EXPECT_EQ(Wire(), Join({"claim", BlockReadHead(0x90), kMasterAck, body, kMasterAck, Received(), kMasterNAck, kStop,
                            "release"}));
    EXPECT_EQ(block.PECOK, received == 0x85 ? -1 : 0);
    EXPECT_EQ(block.ReceivedPEC, received);
    EXPECT_EQ(block.FinalPEC, 0x85);
    std::vector<int16_t> expected{0x91, 32};
    expected.insert(expected.end(), data.begin(), data.end());
    expected.resize(38);
    EXPECT_EQ(ElementsOf(block.GetBlockReadData()), expected);
    EXPECT_EQ(ElementsOf(quorlink::BlockTransfers::GetPECData())[35], 0x85);
  }
}

TEST_F(BlockTest, BlockReadWithoutPecLeavesTheCheckAlone) {
  std::vector<uint8_t> bytes{32};
  std::string body;
  for (int i = 0; i < 32; ++i) {
    bytes.push_back(static_cast<uint8_t>(0xA0 + i));
    body = Join({body, Received(), i < 31 ? kMasterAck : kMasterNAck});
  }
  ScriptBytes(bytes);
  std::memset(cp::PECData, 0x22, sizeof cp::PECData);
  block.PECOK = 7;
  block.FinalPEC = 5;
  EXPECT_TRUE(block.BlockRead());
  EXPECT_EQ(Wire(), Join({"claim", BlockReadHead(0x90), kMasterAck, body, kStop, "release"}));
  const auto read = ElementsOf(block.GetBlockReadData());
  EXPECT_EQ(read[0], 0x91);
  EXPECT_EQ(read[1], 0);  // the count goes in only for the code
  EXPECT_EQ(read[2], 0xA0);
  EXPECT_EQ(read[33], 0xBF);
  EXPECT_EQ(read[34], 0);
  EXPECT_EQ(block.PECOK, 7);
  EXPECT_EQ(block.FinalPEC, 5);
  EXPECT_EQ(cp::PECData[0], 0x2222);
}

TEST_F(BlockTest, WrongCountStopsTheReadWhereItStands) {
  for (int16_t usePec : {0, -1}) {
    SCOPED_TRACE(usePec);
    RecorderReset();
    for (int i = 0; i < 38; ++i) block.BlockReadData[i] = 0x55;
    block.UsePEC = usePec;
    block.PECOK = 7;
    cg::PortClaimed = 0;
    ScriptBytes({31});
    EXPECT_FALSE(block.BlockRead());
    EXPECT_EQ(Wire(), Join({"claim", BlockReadHead(0x90)}));  // no acknowledge, no stop, no release
    EXPECT_EQ(cg::PortClaimed, -1);
    EXPECT_EQ(block.ByteCountRead, 31);
    EXPECT_EQ(block.BlockReadData[0], 0x91);
    EXPECT_EQ(block.BlockReadData[1], 0x55);
    EXPECT_EQ(block.BlockReadData[2], 0x55);
    EXPECT_EQ(block.PECOK, 7);
  }
}

TEST_F(BlockTest, UnclaimablePortLeavesEverythingAsItWas) {
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "claim refused" : "no port");
    RecorderReset();
    cg::PortCount = refused ? 1 : 0;
    RecorderRefuseClaims(refused);
    block.UsePEC = -1;
    block.PECOK = 7;
    block.BlockWrite(1, BlockData(VT_I2, Bytes({1})));
    EXPECT_TRUE(block.BlockRead());
    EXPECT_EQ(WithoutDelays(Wire()), refused ? "claim claim" : "");
    EXPECT_EQ(block.PECOK, 7);
    EXPECT_EQ(block.BlockReadData[0], 0);
    EXPECT_EQ(block.ByteCountRead, 0);
    // A Data that is not even an array goes unnoticed when nothing is sent.
    EXPECT_EQ(ErrorOf([&] { block.BlockWrite(1, comrt::Variant()); }), 0);
  }
}

TEST_F(BlockTest, TransfersAreRefusedInsideAnotherBusOperation) {
  static quorlink::BlockTransfers* nested;
  static std::vector<int32_t> refusals;
  nested = &block;
  refusals.clear();
  qelsys::SetYieldHook([] {
    const auto refusal = [](const std::function<void()>& call) {
      try {
        call();
      } catch (const comrt::Error& e) {
        refusals.push_back(e.number());
      }
    };
    refusal([] { nested->BlockWrite(0, BlockData(VT_I2, {})); });
    refusal([] { nested->BlockRead(); });
  });
  cp::ShortWriteTransaction(0x90, 1);
  ASSERT_FALSE(refusals.empty());
  for (int32_t number : refusals) EXPECT_EQ(number, 17);
}

TEST_F(BlockTest, ArraysHandedOutAreCopies) {
  block.BlockReadData[5] = 9;
  cp::PECData[5] = 9;
  for (comrt::Variant copy : {block.GetBlockReadData(), quorlink::BlockTransfers::GetPECData()}) {
    EXPECT_EQ(copy.vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(SafeArrayGetDim(copy.parray), 1u);
    LONG index = 5;
    int16_t changed = 1;
    SafeArrayPutElement(copy.parray, &index, &changed);
  }
  EXPECT_EQ(block.BlockReadData[5], 9);
  EXPECT_EQ(cp::PECData[5], 9);
  const auto again = ElementsOf(block.GetBlockReadData());
  EXPECT_EQ(again.size(), 38u);
  EXPECT_EQ(again[5], 9);
}

}  // namespace
}  // namespace bustest
