// The host backend over temporary sysfs and /dev trees, never this machine's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "qelsmbus/qelsmbus.h"
#include "temp_tree.h"

namespace {

// 256 bytes of configuration space: the identifier, then each byte its own offset.
std::vector<uint8_t> ConfigSpace(uint32_t identifier, size_t size = 256) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(identifier >> (8 * i));
  return bytes;
}

std::string Config(const std::string& function) { return "sys/bus/pci/devices/" + function + "/config"; }

class HostBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Write(Config("0000:00:00.0"), ConfigSpace(0x12378086));
    tree_.Write(Config("0000:00:07.3"), ConfigSpace(0x71138086));
    tree_.Write(Config("0000:01:00.0"), ConfigSpace(0x10DE0040));
    tree_.Write(Config("0000:00:1e.0"), ConfigSpace(0x24488086, 64));  // as an unprivileged user sees it
    tree_.Write(Config("0001:00:02.0"), ConfigSpace(0x11112222));
    tree_.Write("sys/bus/pci/devices/not-a-function/config", ConfigSpace(0x33334444));
    setenv("QEL_SYSFS_ROOT", tree_.Path("sys").c_str(), 1);
    setenv("QEL_DEV_ROOT", tree_.Path("dev").c_str(), 1);
    unsetenv("QEL_BOARD");
    QELSMBusReset();
  }
  void TearDown() override {
    QELSMBusReset();
    unsetenv("QEL_SYSFS_ROOT");
    unsetenv("QEL_DEV_ROOT");
  }

  TempTree tree_;
};

struct ConfigCase {
  int32_t bus, device, function, reg;
  uint32_t expected;
};

TEST_F(HostBackend, ReadsConfigurationOfListedFunctionsOnly) {
  const ConfigCase cases[] = {
      {0, 0, 0, 0x00, 0x12378086},
      {0, 7, 3, 0x00, 0x71138086},
      {0, 7, 3, 0x90, 0x93929190},
      {1, 0, 0, 0x00, 0x10DE0040},
      {0, 7, 2, 0x00, 0xFFFFFFFF},   // absent function of a present device
      {0, 2, 0, 0x00, 0xFFFFFFFF},   // present only in another PCI domain
      {0, 32, 0, 0x00, 0xFFFFFFFF},  // device 32 must not reach bus 1, device 0
      {0, 6, 11, 0x00, 0xFFFFFFFF},  // function 11 of device 6 must not reach 7.3
      {0, 7, 254, 0x00, 0xFFFFFFFF},
      {256, 7, 3, 0x00, 0xFFFFFFFF},
      {-1, 7, 3, 0x00, 0xFFFFFFFF},
      {0, 7, -1, 0x00, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ReadPCI(c.bus, c.device, c.function, c.reg)), c.expected)
        << c.bus << ":" << c.device << "." << c.function << " @" << c.reg;
    EXPECT_EQ(QELSMBusLastError(), 0);
  }
}

TEST_F(HostBackend, ReadsTheAlignedWordHoldingTheRegisterAndAllOnesPastTheEnd) {
  const ConfigCase cases[] = {
      {0, 7, 3, 0xD2, 0xD3D2D1D0},    // unaligned: the word at 0xD0
      {0, 7, 3, 0x41, 0x43424140},
      {0, 7, 3, 0xFE, 0xFFFEFDFC},
      {0, 7, 3, 0x100, 0xFFFFFFFF},
      {0, 7, 3, -4, 0xFFFFFFFF},
      {0, 30, 0, 0x3E, 0x3F3E3D3C},   // the 64 bytes an unprivileged user may read
      {0, 30, 0, 0x40, 0xFFFFFFFF},
      {0, 30, 0, 0x90, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ReadPCI(c.bus, c.device, c.function, c.reg)), c.expected) << "@" << c.reg;
  }
}

TEST_F(HostBackend, ListsTheFunctionsOnceUntilReset) {
  EXPECT_EQ(ReadPCI(0, 31, 3, 0), -1);
  tree_.Write(Config("0000:00:1f.3"), ConfigSpace(0x24C38086));
  EXPECT_EQ(ReadPCI(0, 31, 3, 0), -1);
  QELSMBusReset();
  EXPECT_EQ(static_cast<uint32_t>(ReadPCI(0, 31, 3, 0)), 0x24C38086u);
}

TEST_F(HostBackend, WritesTheAlignedWordHoldingTheRegister) {
  const auto before = tree_.Read(Config("0000:00:07.3"));
  WritePCI(0, 7, 3, 0xD2, 0x0A0B0C0D);
  WritePCI(0, 7, 3, 0xFE, 0x01020304);
  WritePCI(0, 7, 2, 0x00, 0x12345678);  // absent: nothing is created
  WritePCI(0, 39, 3, 0x00, 0x12345678);
  EXPECT_EQ(QELSMBusLastError(), 0);

  auto expected = before;
  for (size_t i = 0; i < 4; ++i) {
    expected.at(0xD0 + i) = static_cast<uint8_t>(0x0A0B0C0D >> (8 * i));
    expected.at(0xFC + i) = static_cast<uint8_t>(0x01020304 >> (8 * i));
  }
  EXPECT_EQ(tree_.Read(Config("0000:00:07.3")), expected);
  EXPECT_FALSE(std::filesystem::exists(tree_.Path(Config("0000:00:07.2"))));
}

TEST_F(HostBackend, SkipsConfigurationWritesTheUserMayNotMake) {
  const auto before = tree_.Read(Config("0000:00:07.3"));
  chmod(tree_.Path(Config("0000:00:07.3")).c_str(), 0444);
  const int outcome = RunUnprivileged([] {
    QELSMBusReset();
    WritePCI(0, 7, 3, 0xD2, 0x00010000);
    if (QELSMBusLastError() != 0) return 1;
    return ReadPCI(0, 7, 3, 0) == 0x71138086 ? 0 : 2;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(tree_.Read(Config("0000:00:07.3")), before);
}

TEST_F(HostBackend, ReachesPortsThroughTheLowSixteenBitsOfTheAddress) {
  tree_.Write("dev/port", std::vector<uint8_t>(65536, 0));
  WriteByBase(0x1044, 0x1A1);  // a value above 255: its low byte goes out
  EXPECT_EQ(QELSMBusLastError(), 0);
  EXPECT_EQ(tree_.Read("dev/port")[0x1044], 0xA1);
  EXPECT_EQ(ReadByBase(0x1044), 0xA1);
  EXPECT_EQ(ReadByBase(0x11044), 0xA1);
  WriteByBase(-1, 0x5A);
  EXPECT_EQ(tree_.Read("dev/port")[0xFFFF], 0x5A);
  EXPECT_EQ(tree_.Read("dev/port").size(), 65536u);
  EXPECT_EQ(QELSMBusLastError(), 0);
}

TEST_F(HostBackend, PortsTheUserMayNotReachReportPermissionDenied) {
  EXPECT_EQ(ReadByBase(0x1040), 0);  // no port device at all
  EXPECT_EQ(QELSMBusLastError(), 70);
  EXPECT_EQ(ReadPCI(0, 7, 3, 0), 0x71138086);
  EXPECT_EQ(QELSMBusLastError(), 0);
  WriteByBase(0x1040, 1);
  EXPECT_EQ(QELSMBusLastError(), 70);

  tree_.Write("dev/port", std::vector<uint8_t>(65536, 0));
  chmod(tree_.Path("dev/port").c_str(), 0);
  const int outcome = RunUnprivileged([] {
    QELSMBusReset();
    WriteByBase(0x1040, 0x1F);
    if (QELSMBusLastError() != 70) return 1;
    ReadByBase(0x1040);
    return QELSMBusLastError() == 70 ? 0 : 2;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(tree_.Read("dev/port")[0x1040], 0);
}

}  // namespace
