// The virtual PCI bus and its SMBus host controllers, driven through the
// library's routines as a host controller driver drives them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "qelsmbus/qelsmbus.h"

namespace {

void UseVirtualBus(const char* controller) {
  setenv("QEL_BOARD", "virtual", 1);
  if (controller != nullptr) {
    setenv("QEL_SMBUS_CONTROLLER", controller, 1);
  } else {
    unsetenv("QEL_SMBUS_CONTROLLER");
  }
  QELSMBusReset();
}

class VirtualBus : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("QEL_BOARD");
    unsetenv("QEL_SMBUS_CONTROLLER");
    QELSMBusReset();
  }
};

struct Placement {
  const char* controller;
  uint32_t at_0_7_3;
  uint32_t at_0_17_0;
};

TEST_F(VirtualBus, PlacesTheControllerTheEnvironmentNames) {
  const Placement cases[] = {
      {nullptr, 0x71138086, 0xFFFFFFFF}, {"8086", 0x71138086, 0xFFFFFFFF}, {"10b9", 0xFFFFFFFF, 0x710110B9},
      {"none", 0xFFFFFFFF, 0xFFFFFFFF},  {"24C38086", 0x24C38086, 0xFFFFFFFF}, {"bogus", 0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    UseVirtualBus(c.controller);
    SCOPED_TRACE(c.controller ? c.controller : "(unset)");
    EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 7, 3, 0)), c.at_0_7_3);
    EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 17, 0, 0)), c.at_0_17_0);
    EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 0, 0, 0)), 0x12378086u);  // the host bridge
    EXPECT_EQ(ReadPCI(1, 7, 3, 0), -1);
  }
}

TEST_F(VirtualBus, ConfigurationSpaceKeepsWritesButNotTheIdentifier) {
  UseVirtualBus("8086");
  EXPECT_EQ(ReadPCI(0, 7, 3, 0x90), 0x1041);
  EXPECT_EQ(ReadPCI(0, 7, 3, 0xD2) & 0x10000, 0);
  WritePCI(0, 7, 3, 0xD2, ReadPCI(0, 7, 3, 0xD2) | 0x10000);
  EXPECT_EQ(ReadPCI(0, 7, 3, 0xD2) & 0x10000, 0x10000);
  WritePCI(0, 7, 3, 0, 0);
  EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 7, 3, 0)), 0x71138086u);
  EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 7, 3, 0xFE)), 0u);  // the word at 0xFC
  EXPECT_EQ(QELSMBusLastError(), 0);

  UseVirtualBus("10B9");
  EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 17, 0, 0xE0)) >> 16, 0x5000u);
}

// One byte-data transaction on the family 8086 controller at 0x1040: the statuses
// read until it is no longer busy, then the final status and the data register.
struct Outcome {
  std::string statuses;
  int status;
  int data;
};

Outcome Run8086(int addressByte, int command, int data) {
  constexpr int base = 0x1040;
  WriteByBase(base + 0, 0x1F);
  WriteByBase(base + 3, command);
  WriteByBase(base + 4, addressByte);
  WriteByBase(base + 5, data);
  WriteByBase(base + 2, 0x48);
  Outcome outcome{};
  int status = 0;
  while ((status = ReadByBase(base)) & 0x01) outcome.statuses += std::to_string(status) + " ";
  outcome.status = status;
  outcome.data = ReadByBase(base + 5);
  return outcome;
}

Outcome Run10B9(int addressByte, int command, int data) {
  constexpr int base = 0x5000;
  WriteByBase(base + 0, 0xF0);
  WriteByBase(base + 7, command);
  WriteByBase(base + 3, addressByte);
  WriteByBase(base + 4, data);
  WriteByBase(base + 1, 0x20);
  WriteByBase(base + 2, 0);
  Outcome outcome{};
  int status = 0;
  while (!((status = ReadByBase(base)) & 0x04)) outcome.statuses += std::to_string(status) + " ";
  outcome.status = status;
  outcome.data = ReadByBase(base + 4);
  return outcome;
}

TEST_F(VirtualBus, Family8086RunsByteDataTransactionsWithTheSpdEeprom) {
  UseVirtualBus("8086");
  EXPECT_EQ(ReadByBase(0x1040), 0);  // idle after power-up
  const Outcome first = Run8086(0xA1, 2, 0);  // SPD byte 2: memory type
  EXPECT_EQ(first.statuses, "1 ");
  EXPECT_EQ(first.status, 0x02);
  EXPECT_EQ(first.data, 0x04);
  EXPECT_EQ(Run8086(0xA3, 0, 0).status, 0x04);  // nothing at 0x51
  EXPECT_EQ(Run8086(0xA1 + 0x100, 0, 0).data, 0x80);  // an address byte above 255: its low byte
  EXPECT_EQ(Run8086(0xA0, 0x70, 0x5C).status, 0x02);
  EXPECT_EQ(Run8086(0xA1, 0x70, 0).data, 0x5C);
  EXPECT_EQ(ReadByBase(0x2040), 0xFF);  // nothing decodes it
}

TEST_F(VirtualBus, Family10B9RunsByteDataTransactionsWithTheSpdEeprom) {
  UseVirtualBus("10B9");
  EXPECT_EQ(ReadByBase(0x5000), 0x04);  // idle after power-up
  const Outcome first = Run10B9(0xA1, 2, 0);
  EXPECT_EQ(first.statuses, "8 ");
  EXPECT_EQ(first.status, 0x14);
  EXPECT_EQ(first.data, 0x04);
  EXPECT_EQ(Run10B9(0xA3, 0, 0).status, 0x24);
  EXPECT_EQ(Run10B9(0xA0, 0x70, 0x5C).status, 0x14);
  EXPECT_EQ(Run10B9(0xA1, 0x70, 0).data, 0x5C);
  EXPECT_EQ(ReadByBase(0x1040), 0xFF);
}

}  // namespace
