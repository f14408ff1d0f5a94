// Without libparport2k.so: a PrinterPort cannot be created (after the system
// check has run), and a register or EEPROM access that gets as far as the port
// fails with the missing-library error and leaves its claim standing. Claims
// themselves only fail.
#include <gtest/gtest.h>

#include "CommonGlobals.h"
#include "EEPROM.h"
#include "PortRegisters.h"
#include "PrinterPort.h"
#include "SystemRecord.h"
#include "com/error.h"
#include "com/factory.h"

namespace porttest {
namespace {

namespace cg = CommonGlobals;

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x800A0000u + comrt::kFileNotFound);

std::string ErrorDescription() { return comrt::TakeErrorDescription().value_or(""); }

class MissingLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cg::PortCount = 1;
    cg::PortAddress = 0x378;
    cg::PortClaimed = cg::LockPortOpen = cg::IsWin9x = 0;
  }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }
};

TEST_F(MissingLibraryTest, PrinterPortFailsAfterTheSystemCheck) {
  PresentSystem({2, 10, 0, 1998});
  comrt::ComPtr<_PrinterPort> port;
  EXPECT_EQ(comrt::ClassFactory<PrinterPort>::Instance()->CreateInstance(nullptr, IID__PrinterPort,
                                                                          reinterpret_cast<void**>(port.put())),
            kFileNotFound);
  EXPECT_EQ(ErrorDescription(), "File not found: libparport2k.so");
  EXPECT_FALSE(port);
  EXPECT_EQ(cg::IsWin9x, -1);
  EXPECT_EQ(comrt::CanUnloadNow(), S_OK);  // nothing of the failed creation is left alive
}

TEST_F(MissingLibraryTest, AccessesThatReachThePortFailWithTheClaimStanding) {
  const auto data = comrt::Make<DataPort>();
  const auto control = comrt::Make<ControlPort>();
  const auto eeprom = comrt::Make<EEPROM>();
  BYTE value = 0xEE;

  EXPECT_EQ(control->put_Value(0x5A), S_OK);  // the claim fails quietly, so nothing is tried
  EXPECT_EQ(control->get_Value(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(eeprom->ReadByte(1, 2, &value), S_OK);

  cg::IsWin9x = -1;  // claims succeed without the library
  EXPECT_EQ(data->put_Value(0x5A), kFileNotFound);
  EXPECT_EQ(cg::PortClaimed, -1);
  cg::PortClaimed = 0;
  EXPECT_EQ(eeprom->ReadByte(1, 2, &value), kFileNotFound);
  EXPECT_EQ(cg::PortClaimed, -1);

  cg::IsWin9x = 0;
  cg::PortClaimed = 0;
  cg::LockPortOpen = -1;  // reached without a claim
  EXPECT_EQ(data->get_Value(&value), kFileNotFound);
  EXPECT_EQ(cg::LockPortOpen, -1);
}

}  // namespace
}  // namespace porttest
