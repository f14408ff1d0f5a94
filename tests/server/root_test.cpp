// The root object and the USB placeholder, made in this process from the
// library's classes, on the virtual board.
#include <gtest/gtest.h>

#include <vector>

#include "QELRurUzoz.h"
#include "USB.h"
#include "qelboard_control.h"
#include "virtual_board.h"

namespace {

using comrt::ComPtr;

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// A stand-in USB that says when it is destroyed.
class WatchedUSB final : public comrt::Object<WatchedUSB, _USB> {
 public:
  explicit WatchedUSB(bool& destroyed) : destroyed_(destroyed) {}
  ~WatchedUSB() override { destroyed_ = true; }
  HRESULT OpenUSBPort() override { return S_OK; }
  HRESULT CloseUSBPort() override { return S_OK; }

 private:
  bool& destroyed_;
};

class RootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(comrt::ModuleCounts::objects, 0);
    QelBoard_Reset();
    root = comrt::Make<QELRurUzoz>();
  }
  void TearDown() override {
    root.reset();
    EXPECT_EQ(comrt::ModuleCounts::objects, 0) << "every object of the tree is gone with the root";
  }

  ComPtr<QELRurUzoz> root;
};

// One child property: gets hand out the held object with a new reference, a putref
// takes null or an object by reference without writing the reference back, and
// null pointers to the reference are refused without a change.
template <class I>
void ExpectChildProperty(_QELRurUzoz* root, HRESULT (_QELRurUzoz::*get)(I**), HRESULT (_QELRurUzoz::*putref)(I**)) {
  ComPtr<I> first, second;
  ASSERT_EQ((root->*get)(first.put()), S_OK);
  ASSERT_TRUE(first);
  ASSERT_EQ((root->*get)(second.put()), S_OK);
  EXPECT_EQ(first.get(), second.get());
  second.reset();
  const ULONG held = References(first.get());

  I* none = nullptr;
  EXPECT_EQ((root->*putref)(&none), S_OK);
  EXPECT_EQ(References(first.get()), held - 1) << "the root let go of it";
  I* got = reinterpret_cast<I*>(1);
  EXPECT_EQ((root->*get)(&got), S_OK);
  EXPECT_EQ(got, nullptr);

  I* given = first.get();
  EXPECT_EQ((root->*putref)(&given), S_OK);
  EXPECT_EQ(given, first.get()) << "the reference given is not written back";
  EXPECT_EQ((root->*putref)(&given), S_OK) << "storing the held object again";
  EXPECT_EQ(References(first.get()), held);
  ASSERT_EQ((root->*get)(second.put()), S_OK);
  EXPECT_EQ(second.get(), first.get());

  EXPECT_EQ((root->*get)(nullptr), E_POINTER);
  EXPECT_EQ((root->*putref)(nullptr), E_POINTER);
  EXPECT_EQ(References(first.get()), held + 1);
}

TEST_F(RootTest, ChildPropertiesHandOutAndReplaceTheHeldObjects) {
  {
    SCOPED_TRACE("PrinterPort");
    ExpectChildProperty<_PrinterPort>(root.get(), &_QELRurUzoz::get_PrinterPort, &_QELRurUzoz::putref_PrinterPort);
  }
  {
    SCOPED_TRACE("USB");
    ExpectChildProperty<_USB>(root.get(), &_QELRurUzoz::get_USB, &_QELRurUzoz::putref_USB);
  }
  {
    SCOPED_TRACE("SMBus");
    ExpectChildProperty<_SMBus>(root.get(), &_QELRurUzoz::get_SMBus, &_QELRurUzoz::putref_SMBus);
  }
}

TEST_F(RootTest, AReplacedObjectIsReleasedAndDestroyedWhenNobodyElseHoldsIt) {
  bool first_gone = false, second_gone = false;
  {
    ComPtr<_USB> first = comrt::Make<WatchedUSB>(first_gone);
    _USB* given = first.get();
    ASSERT_EQ(root->putref_USB(&given), S_OK);
  }
  EXPECT_FALSE(first_gone) << "the root holds it";
  {
    ComPtr<_USB> second = comrt::Make<WatchedUSB>(second_gone);
    _USB* given = second.get();
    ASSERT_EQ(root->putref_USB(&given), S_OK);
  }
  EXPECT_TRUE(first_gone);
  EXPECT_FALSE(second_gone);
  root.reset();
  EXPECT_TRUE(second_gone);
}

TEST_F(RootTest, PortTypeIsStoredAsGiven) {
  short value = 99;
  ASSERT_EQ(root->get_PortType(&value), S_OK);
  EXPECT_EQ(value, 0) << "a new root";
  for (short stored : {short{1}, short{-1}, short{32767}, short{-32768}, short{0}, short{-2}}) {
    SCOPED_TRACE(stored);
    ASSERT_EQ(root->put_PortType(stored), S_OK);
    ASSERT_EQ(root->get_PortType(&value), S_OK);
    EXPECT_EQ(value, stored);
  }
  EXPECT_EQ(root->get_PortType(nullptr), E_POINTER);
}

TEST_F(RootTest, USBMethodsSucceedInAnyOrder) {
  ComPtr<_USB> usb;
  ASSERT_EQ(root->get_USB(usb.put()), S_OK);
  using Method = HRESULT (_USB::*)();
  const Method sequence[] = {&_USB::CloseUSBPort, &_USB::OpenUSBPort, &_USB::OpenUSBPort,
                             &_USB::CloseUSBPort, &_USB::CloseUSBPort, &_USB::OpenUSBPort};
  for (Method m : sequence) EXPECT_EQ((usb.get()->*m)(), S_OK);
  ComPtr<USB> own = comrt::Make<USB>();
  EXPECT_EQ(own->OpenUSBPort(), S_OK) << "a USB made on its own";
}

TEST_F(RootTest, APrinterPortHeldByAClientOutlivesTheRootAndKeepsWorking) {
  ComPtr<_PrinterPort> port;
  ASSERT_EQ(root->get_PrinterPort(port.put()), S_OK);
  root.reset();
  EXPECT_GT(comrt::ModuleCounts::objects, 0);

  ComPtr<_SMBusProtocall> bus;
  ASSERT_EQ(port->get_SMBusProtocall(bus.put()), S_OK);
  ASSERT_TRUE(bus);
  ASSERT_EQ(bus->ShortWrite(0x90, 0xA5), S_OK);
  EXPECT_EQ(QelBoard_GetSwitchByte(), 0xA5);
  QelBoard_SetSwitchByte(0x3C);
  BYTE read = 0;
  ASSERT_EQ(bus->ShortRead(0x90, &read), S_OK);
  EXPECT_EQ(read, 0x3C);
}

}  // namespace
