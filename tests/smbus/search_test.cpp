// Creation of an SMBus object: whether it searches, the search's order, and the
// configuration of the controller it finds.
#include <gtest/gtest.h>

#include "recording.h"
#include "smbus_object.h"

namespace {

class Search : public ::testing::Test {
 protected:
  void SetUp() override { RecorderReset(); }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }
};

std::string Place(int bus, int device, int function) {
  char text[16];
  std::snprintf(text, sizeof text, "R %d:%02d.%d 00", bus, device, function);
  return text;
}

// The reads of a search that finds nothing: bus 0, device 7, function 3 first, then
// buses 0-1, devices 0-32, functions 0-254.
std::vector<std::string> FullSearch() {
  std::vector<std::string> reads{Place(0, 7, 3)};
  for (int bus = 0; bus <= 1; ++bus)
    for (int device = 0; device <= 32; ++device)
      for (int function = 0; function <= 254; ++function) reads.push_back(Place(bus, device, function));
  return reads;
}

TEST_F(Search, VersionsThatRuleItOutCallNothing) {
  for (const int16_t code : {400, 2000, -1}) {
    RecorderReset();
    SetConfig(0, 7, 3, 0, {0x71138086});
    SMBusObject bus(code);
    EXPECT_EQ(bus.DeviceID(), 0) << code;
    EXPECT_EQ(bus.BaseAddress(), 0);
    EXPECT_FALSE(bus.DevicePresent(0x50));
    bus.PortWrite(0x50, 0, 0);
    EXPECT_EQ(bus.PortRead(0x50, 0), 0);
    EXPECT_EQ(RecorderCallCount(), 0) << code;
  }
}

TEST_F(Search, ReadsEveryPlaceInOrderWhenNothingAnswers) {
  const auto expected = FullSearch();
  ASSERT_EQ(expected.size(), 16831u);
  for (const int16_t code : {95, 98, 351, 0}) {
    RecorderReset();
    SetConfig(0, 0, 0, 0, {0x12378086});
    SetConfig(1, 5, 0, 0, {0x71128086});  // a neighbour of a supported identifier
    SMBusObject bus(code);
    EXPECT_EQ(Log(), expected) << code;
    EXPECT_EQ(bus.DeviceID(), 0);
    EXPECT_EQ(bus.BaseAddress(), 0);
  }
}

struct Found {
  std::vector<std::tuple<int, int, int, int32_t>> controllers;  // bus, device, function, identifier
  std::string place;                                            // where the search stops
};

TEST_F(Search, StopsAtTheFirstSupportedIdentifierInSearchOrder) {
  const Found cases[] = {
      {{{0, 0, 0, 0x24188086}, {0, 7, 3, 0x71138086}}, "0:07.3"},  // the first read wins
      {{{0, 7, 3, 0x24C38086}, {1, 0, 0, 0x24458086}}, "1:00.0"},
      {{{0, 31, 5, 0x24288086}, {0, 3, 200, 0x710110B9}}, "0:03.200"},  // functions run past 7
      {{{0, 32, 0, 0x24138086}}, "0:32.0"},                             // and devices to 32
      {{{1, 32, 254, 0x24238086}}, "1:32.254"},
      {{{0, 4, 1, 0x24438086}}, "0:04.1"},
  };
  for (const auto& c : cases) {
    RecorderReset();
    for (const auto& [bus, device, function, identifier] : c.controllers) SetConfig(bus, device, function, 0, {identifier});
    SMBusObject bus(0);
    const auto log = Log();
    // The accepting read and the second read are the last two reads of register 0.
    std::vector<std::string> reads;
    for (const auto& line : log)
      if (line.size() > 3 && line.compare(line.size() - 3, 3, " 00") == 0 && line[0] == 'R') reads.push_back(line);
    ASSERT_GE(reads.size(), 2u);
    const std::string expected = "R " + c.place + " 00";
    EXPECT_EQ(reads[reads.size() - 1], expected);
    EXPECT_EQ(reads[reads.size() - 2], expected);
    const auto full = FullSearch();
    const auto stop = std::find(full.begin() + 1, full.end(), expected);
    const size_t searched = c.place == "0:07.3" ? 1 : static_cast<size_t>(stop - full.begin()) + 1;
    EXPECT_EQ(reads.size(), searched + 1) << c.place;
  }
}

TEST_F(Search, SecondReadOfTheIdentifierBecomesDeviceIdAndSelectsTheConfiguration) {
  SetConfig(0, 7, 3, 0, {0x71138086, 0x24188086});
  SetConfig(0, 7, 3, 0x20, {0x0401});
  SetConfig(0, 7, 3, 0x40, {0});
  SMBusObject changed(0);
  EXPECT_EQ(changed.DeviceID(), 0x24188086);
  EXPECT_EQ(changed.BaseAddress(), 0x0400);
  EXPECT_EQ(LogAfterSearch(), (std::vector<std::string>{"R 0:07.3 20", "R 0:07.3 40", "W 0:07.3 40 00010000"}));

  RecorderReset();
  SetConfig(0, 7, 3, 0, {0x71138086, 0x12345678});
  SMBusObject gone(0);
  EXPECT_EQ(gone.DeviceID(), 0x12345678);
  EXPECT_EQ(gone.BaseAddress(), 0);
  EXPECT_EQ(RecorderCallCount(), 2);
}

struct Configuration {
  int32_t identifier;
  int bus, device, function;
  std::vector<std::string> accesses;
};

TEST_F(Search, ConfiguresEachFamilyAtItsFunction) {
  const Configuration cases[] = {
      {0x71138086, 0, 7, 3, {"R 0:07.3 90", "R 0:07.3 D2", "W 0:07.3 D2 00010201"}},
      // rows 2 to 7: function 3, wherever the identifier was found
      {0x24188086, 0, 31, 5, {"R 0:31.3 20", "R 0:31.3 40", "W 0:31.3 40 00010201"}},
      {0x24458086, 1, 2, 0, {"R 1:02.3 20", "R 1:02.3 40", "W 1:02.3 40 00010201"}},
      {0x71138086, 0, 9, 0, {"R 0:09.3 90", "R 0:09.3 D2", "W 0:09.3 D2 00010201"}},
      // family 10B9: the function where it was found
      {0x710110B9, 0, 17, 0,
       {"R 0:17.0 E0", "R 0:17.0 D0", "W 0:17.0 D0 00000601", "R 0:17.0 F0", "W 0:17.0 F0 00000201"}},
      {0x710110B9, 1, 2, 6,
       {"R 1:02.6 E0", "R 1:02.6 D0", "W 1:02.6 D0 00000601", "R 1:02.6 F0", "W 1:02.6 F0 00000201"}},
  };
  for (const auto& c : cases) {
    RecorderReset();
    SetConfig(c.bus, c.device, c.function, 0, {c.identifier});
    for (const int function : {3, c.function})
      for (const int reg : {0x40, 0xD2, 0xD0, 0xF0}) SetConfig(c.bus, c.device, function, reg, {0x0201});
    SMBusObject bus(0);
    EXPECT_EQ(bus.DeviceID(), c.identifier);
    EXPECT_EQ(LogAfterSearch(), c.accesses) << std::hex << c.identifier;
  }
}

struct Base {
  int32_t identifier;
  int reg;
  uint32_t value;
  int32_t base;
};

TEST_F(Search, TakesTheBaseFromConfigurationSpace) {
  const Base cases[] = {
      {0x71138086, 0x90, 0x00001041, 0x1040},     // bit 0 marks I/O space
      {0x71138086, 0x90, 0x00000000, -1},         // wraps
      {0x71138086, 0x90, 0x80000000, 0x7FFFFFFF},
      {0x24238086, 0x20, 0x0000E001, 0xE000},
      {0x710110B9, 0xE0, 0xE8000000, 0xE800},     // upper half with its top bit set: itself
      {0x710110B9, 0xE0, 0x8000FFFF, 0x8000},
      {0x710110B9, 0xE0, 0x50001234, 0x15000},    // top bit clear: itself plus 65536
      {0x710110B9, 0xE0, 0x00000000, 0x10000},
  };
  for (const auto& c : cases) {
    RecorderReset();
    SetConfig(0, 7, 3, 0, {c.identifier});
    SetConfig(0, 7, 3, c.reg, {static_cast<int32_t>(c.value)});
    SMBusObject bus(0);
    EXPECT_EQ(bus.BaseAddress(), c.base) << std::hex << c.identifier << " " << c.value;
  }
}

}  // namespace
