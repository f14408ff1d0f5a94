// End to end: the SMBus class, the binder and the real libQELSMBus.so, on its
// virtual PCI bus down to the SPD EEPROM model on the controller's segment, and on
// the host backend over a temporary sysfs tree.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../qelsmbus/temp_tree.h"
#include "com/error.h"
#include "qelsmbus/qelsmbus.h"
#include "smbus_object.h"

namespace {

// The library chooses its backend again at its next call.
void ResetLibrary() { QELSMBusReset(); }

void UseVirtualController(const char* controller) {
  setenv("QEL_BOARD", "virtual", 1);
  setenv("QEL_SMBUS_CONTROLLER", controller, 1);
  ResetLibrary();
}

// A configuration register, read straight from the library.
int32_t Config(int32_t bus, int32_t device, int32_t function, int32_t reg) { return ReadPCI(bus, device, function, reg); }

// This system presents itself as an NT-family version the table does not name, so
// creation searches.
TEST(VirtualController, Family8086ReachesTheSpdEeprom) {
  UseVirtualController("8086");
  SMBusObject bus(0);
  EXPECT_EQ(bus.DeviceID(), 0x71138086);
  EXPECT_EQ(bus.BaseAddress(), 0x1040);
  EXPECT_EQ(Config(0, 7, 3, 0xD2) & 0x10000, 0x10000);
  EXPECT_TRUE(bus.DevicePresent(0x50));
  EXPECT_FALSE(bus.DevicePresent(0x51));
  EXPECT_EQ(bus.PortRead(0x50, 2), 0x04);  // memory type: SDRAM
  bus.PortWrite(0x50, 0x70, 0x5C);
  EXPECT_EQ(bus.PortRead(0x50, 0x70), 0x5C);
  EXPECT_EQ(bus.PortRead(0x51, 2), 0x00);  // nobody answers: the data register as it stood
}

TEST(VirtualController, Family10B9ReachesTheSpdEeprom) {
  UseVirtualController("10B9");
  SMBusObject bus(0);
  EXPECT_EQ(bus.DeviceID(), 0x710110B9);
  EXPECT_EQ(bus.BaseAddress(), 0x15000);  // the I/O bus sees its low 16 bits, 0x5000
  EXPECT_EQ(Config(0, 17, 0, 0xD0) & 0x400, 0x400);
  EXPECT_EQ(Config(0, 17, 0, 0xF0) & 1, 1);
  EXPECT_TRUE(bus.DevicePresent(0x50));
  EXPECT_FALSE(bus.DevicePresent(0x51));
  EXPECT_EQ(bus.PortRead(0x50, 0), 0x80);  // bytes written by the manufacturer
  bus.PortWrite(0x50, 0x71, 0xC5);
  EXPECT_EQ(bus.PortRead(0x50, 0x71), 0xC5);
}

TEST(VirtualController, NoSupportedControllerLeavesTheObjectIdle) {
  for (const char* controller : {"none", "24C38086"}) {
    UseVirtualController(controller);
    SMBusObject bus(0);
    EXPECT_EQ(bus.DeviceID(), 0) << controller;
    EXPECT_EQ(bus.BaseAddress(), 0);
    EXPECT_FALSE(bus.DevicePresent(0x50));
  }
}

TEST(HostController, PortsThisUserMayNotReachRaisePermissionDenied) {
  TempTree tree;
  std::vector<uint8_t> config(256, 0);
  const uint8_t identity[] = {0x86, 0x80, 0x13, 0x71};
  std::copy(std::begin(identity), std::end(identity), config.begin());
  config[0x90] = 0x41;
  config[0x91] = 0x10;
  tree.Write("sys/bus/pci/devices/0000:00:07.3/config", config);
  unsetenv("QEL_BOARD");
  setenv("QEL_SYSFS_ROOT", tree.Path("sys").c_str(), 1);
  setenv("QEL_DEV_ROOT", tree.Path("dev").c_str(), 1);  // no port device
  ResetLibrary();
  SMBusObject bus(0);
  EXPECT_EQ(bus.DeviceID(), 0x71138086);
  EXPECT_EQ(bus.BaseAddress(), 0x1040);
  EXPECT_EQ(tree.Read("sys/bus/pci/devices/0000:00:07.3/config")[0xD2] & 1, 1);  // host enable: bit 16 of the word at 0xD0
  try {
    bus.DevicePresent(0x50);
    ADD_FAILURE() << "no error";
  } catch (const comrt::Error& error) {
    EXPECT_EQ(error.number(), 70);
    EXPECT_EQ(error.description(), "Permission denied");
  }
  unsetenv("QEL_SYSFS_ROOT");
  unsetenv("QEL_DEV_ROOT");
  ResetLibrary();
}

}  // namespace
