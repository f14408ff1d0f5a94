// End to end on the virtual evaluation board through the real libparport2k.so: a
// PrinterPort finds the board's two ports, its EEPROM object writes and reads the
// board's serial EEPROM, and the register objects reach the port's registers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "PrinterPort.h"
#include "SystemRecord.h"
#include "qelboard_control.h"

namespace porttest {
namespace {

constexpr BYTE kEeprom = 0xA1;  // 7-bit 0x50; the transactions set and clear the read bit themselves

class BoardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("QEL_BOARD", "virtual", 1); }
  void SetUp() override {
    QelBoard_Reset();
    PresentSystem({2, 10, 0, 1381});
    port = comrt::Make<PrinterPort>();
  }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }
  comrt::ComPtr<PrinterPort> port;
};

TEST_F(BoardTest, ByteWrittenAtATwoByteAddressReadsBack) {
  BYTE detected = 0;
  short address = 0;
  port->get_PrinterPortsDetected(&detected);
  port->get_PortAddress(&address);
  EXPECT_EQ(detected, 2);
  EXPECT_EQ(address, 0x378);

  comrt::ComPtr<_EEPROM> eeprom;
  ASSERT_EQ(port->get_EEPROM(eeprom.put()), S_OK);
  ASSERT_EQ(eeprom->put_DeviceAddress(kEeprom), S_OK);
  ASSERT_EQ(eeprom->WriteByte(0x01, 0x23, 0x5A), S_OK);
  EXPECT_EQ(QelBoard_ReadEeprom(0x123), 0x5A);
  EXPECT_EQ(QelBoard_ReadEeprom(0x124), 0xFF);
  BYTE value = 0;
  ASSERT_EQ(eeprom->ReadByte(0x01, 0x23, &value), S_OK);
  EXPECT_EQ(value, 0x5A);

  QelBoard_WriteEeprom(0xFFF, 0xC3);
  ASSERT_EQ(eeprom->ReadByte(0x0F, 0xFF, &value), S_OK);
  EXPECT_EQ(value, 0xC3);
}

TEST_F(BoardTest, RegisterObjectsReachTheirRegisters) {
  comrt::ComPtr<_DataPort> data;
  comrt::ComPtr<_StatusPort> status;
  comrt::ComPtr<_ControlPort> control;
  port->get_DataPort(data.put());
  port->get_StatusPort(status.put());
  port->get_ControlPort(control.put());
  BYTE value = 0xEE;
  ASSERT_EQ(data->put_Value(0x00), S_OK);  // both lines released
  status->get_Value(&value);
  EXPECT_EQ(value, 0x00);
  ASSERT_EQ(data->put_Value(0x02), S_OK);  // the inverting driver pulls SDA low
  status->get_Value(&value);
  EXPECT_EQ(value, 0x1A);
  data->get_Value(&value);
  EXPECT_EQ(value, 0x02);
  ASSERT_EQ(control->put_Value(0x0C), S_OK);
  control->get_Value(&value);
  EXPECT_EQ(value, 0x0C);
  data->put_Value(0x00);
}

}  // namespace
}  // namespace porttest
