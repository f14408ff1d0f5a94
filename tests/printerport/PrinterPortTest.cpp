// The printer-port link on the recording port: creation and its failures, port
// selection by index and by base against the enumerated table, the lock, the
// polarity, the sub-object properties, the class factories and the refusal of
// nested bus operations.
#include <functional>

#include "BusFixture.h"
#include "BusOperation.h"
#include "EEPROM.h"
#include "PortRegisters.h"
#include "PrinterPort.h"
#include "SMBusProtocall.h"
#include "SystemRecord.h"
#include "com/error.h"
#include "com/factory.h"

namespace porttest {
namespace {

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

using Port = comrt::ComPtr<PrinterPort>;

constexpr HRESULT Failure(int32_t number) { return static_cast<HRESULT>(0x800A0000u + static_cast<uint32_t>(number)); }

// The library calls with the port numbers and addresses they name: "count",
// "info 2", "claim 3", "release 3", "out@888=0xA5", "in@889".
std::string Log() { return recorder::Wire({.portNumbers = true}); }

int RefCount(IUnknown* object) {
  object->AddRef();
  return static_cast<int>(object->Release());
}

class PrinterPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bustest::ResetLibraryState();
    RecorderReset();
    PresentSystem({2, 10, 0, 1381});
  }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }

  static short Address(PrinterPort& port) {
    short address = 0x7EEE;
    EXPECT_EQ(port.get_PortAddress(&address), S_OK);
    return address;
  }
  static BYTE Index(PrinterPort& port) {
    BYTE index = 0xEE;
    EXPECT_EQ(port.get_PortAddressIndex(&index), S_OK);
    return index;
  }
  static std::vector<int16_t> Table() { return cg::PortAddresses.value_or(std::vector<int16_t>{}); }
};

TEST_F(PrinterPortTest, TwoPortsSelectedByIndexAndByBase) {
  RecorderSetPortCount(2);
  RecorderSetPort(2, 0x278, 1);
  const Port port = comrt::Make<PrinterPort>();
  EXPECT_EQ(Log(), "count info 1 info 1 info 2");
  EXPECT_EQ(Address(*port), 0x378);
  EXPECT_EQ(Index(*port), 0);
  EXPECT_EQ(Table(), (std::vector<int16_t>{0x378, 0x278}));

  ASSERT_EQ(port->put_PortAddressIndex(1), S_OK);
  EXPECT_EQ(Address(*port), 0x278);
  ASSERT_EQ(port->put_PortAddress(0x378), S_OK);
  EXPECT_EQ(Index(*port), 0);
  EXPECT_EQ(Address(*port), 0x378);
  ASSERT_EQ(port->put_PortAddress(0x3BC), S_OK);  // no such port
  EXPECT_EQ(Index(*port), 0);
  EXPECT_EQ(Address(*port), 0x378);
  ASSERT_EQ(port->put_PortAddressIndex(2), S_OK);  // stored although no port has it
  EXPECT_EQ(Index(*port), 2);
  EXPECT_EQ(Address(*port), 0x378);

  // The next claim names port number 3.
  comrt::ComPtr<_DataPort> data;
  ASSERT_EQ(port->get_DataPort(data.put()), S_OK);
  RecorderReset();
  ASSERT_EQ(data->put_Value(0xA5), S_OK);
  EXPECT_EQ(Log(), "claim 3 out@888=0xA5 release 3");
}

TEST_F(PrinterPortTest, WithoutPortsEverythingIsCreatedAndNothingReachesThePort) {
  RecorderSetPortCount(0);
  const Port port = comrt::Make<PrinterPort>();
  comrt::ComPtr<_DataPort> data;
  comrt::ComPtr<_StatusPort> status;
  comrt::ComPtr<_ControlPort> control;
  comrt::ComPtr<_EEPROM> eeprom;
  comrt::ComPtr<_SMBusProtocall> bus;
  ASSERT_EQ(port->get_DataPort(data.put()), S_OK);
  ASSERT_EQ(port->get_StatusPort(status.put()), S_OK);
  ASSERT_EQ(port->get_ControlPort(control.put()), S_OK);
  ASSERT_EQ(port->get_EEPROM(eeprom.put()), S_OK);
  ASSERT_EQ(port->get_SMBusProtocall(bus.put()), S_OK);
  ASSERT_TRUE(data && status && control && eeprom && bus);
  EXPECT_EQ(Address(*port), 0);
  EXPECT_FALSE(cg::PortAddresses.has_value());
  BYTE detected = 0xEE;
  port->get_PrinterPortsDetected(&detected);
  EXPECT_EQ(detected, 0);

  port->put_PortAddressIndex(3);
  EXPECT_EQ(Index(*port), 3);
  EXPECT_EQ(Address(*port), 0);
  cg::PortClaimed = -1;
  port->put_PortAddress(0x378);
  EXPECT_EQ(Address(*port), 0);
  EXPECT_EQ(cg::PortClaimed, 0);
  VARIANT_BOOL locked = 1;
  port->put_LockPortOpen(-1);
  port->get_LockPortOpen(&locked);
  EXPECT_EQ(locked, 0);

  BYTE value = 0xEE;
  VARIANT_BOOL erased = 1;
  EXPECT_EQ(data->put_Value(0xA5), S_OK);
  EXPECT_EQ(control->put_Value(0xA5), S_OK);
  EXPECT_EQ(status->get_Value(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(eeprom->WriteByte(1, 2, 3), S_OK);
  EXPECT_EQ(eeprom->PageErase(1, 2, 3, &erased), S_OK);
  EXPECT_EQ(erased, 0);
  EXPECT_EQ(bus->ShortWrite(0x90, 0x5A), S_OK);
  value = 0xEE;
  EXPECT_EQ(bus->ShortRead(0x90, &value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(recorder::Count(kRecorderOut) + recorder::Count(kRecorderIn) + recorder::Count(kRecorderClaim), 0);
}

TEST_F(PrinterPortTest, TableOfBasesWithAFailedInformationCallAndAHighBase) {
  RecorderSetPortCount(3);
  RecorderSetPort(2, 0x278, 0);  // its information call fails
  RecorderSetPort(3, 0xC000, 1);
  cg::PortIndex = 1;  // left alone by the enumeration
  const Port port = comrt::Make<PrinterPort>();
  EXPECT_EQ(Table(), (std::vector<int16_t>{0x378, 0, static_cast<int16_t>(0xC000)}));
  EXPECT_EQ(Index(*port), 1);
  EXPECT_EQ(Address(*port), 0x378);  // port 1's base

  port->put_PortAddressIndex(1);
  EXPECT_EQ(Address(*port), 0);
  port->put_PortAddress(static_cast<int16_t>(0xC000));  // the base as PortAddress reports it
  EXPECT_EQ(Index(*port), 2);
  EXPECT_EQ(Address(*port), static_cast<int16_t>(0xC000));

  // A second creation whose port 1 cannot be asked keeps the selected base.
  RecorderSetPort(1, 0x3BC, 0);
  const Port second = comrt::Make<PrinterPort>();
  EXPECT_EQ(Address(*second), static_cast<int16_t>(0xC000));
  EXPECT_EQ(Table(), (std::vector<int16_t>{0, 0, static_cast<int16_t>(0xC000)}));
}

TEST_F(PrinterPortTest, PortsThatAppearAfterCreation) {
  const Port port = comrt::Make<PrinterPort>();
  RecorderSetPortCount(2);
  RecorderSetPort(2, 0x278, 1);
  BYTE detected = 0;
  port->get_PrinterPortsDetected(&detected);
  EXPECT_EQ(detected, 2);
  EXPECT_EQ(cg::PortCount, 1);  // asked, not stored

  port->put_PortAddressIndex(1);
  EXPECT_EQ(Index(*port), 1);
  EXPECT_EQ(Address(*port), 0x378);
  port->put_PortAddress(0x278);  // selecting the new port by its base works
  EXPECT_EQ(cg::PortCount, 2);
  EXPECT_EQ(Index(*port), 1);
  EXPECT_EQ(Address(*port), 0x278);
  EXPECT_EQ(Table().size(), 1u);  // the table keeps its length
  port->put_PortAddressIndex(0);
  EXPECT_EQ(Address(*port), 0x378);
  port->put_PortAddressIndex(1);  // past the table: the base stays
  EXPECT_EQ(Index(*port), 1);
  EXPECT_EQ(Address(*port), 0x378);
  port->put_PortAddress(0x3BC);  // no such port: the selected port's base is read anew
  EXPECT_EQ(Index(*port), 1);
  EXPECT_EQ(Address(*port), 0x278);
}

TEST_F(PrinterPortTest, CreationDecidesTheWindows95FamilyOrFailsBeforeEnumerating) {
  struct Case {
    SystemRecord record;
    HRESULT result;
    int16_t win9xAfter;  // 1 before each creation: kept by a failure
  } cases[] = {
      {{2, 10, 0, 1998}, S_OK, -1},
      {{1, 4, 10, 0x040A08AE}, S_OK, -1},
      {{2, 4, 0, 1381}, S_OK, 0},
      {{0, 4, 0, 950}, S_OK, 0},  // nothing known: empty, which counts as 0
      {{2, 10, 0, 40000}, Failure(comrt::kOverflow), 1},
      {{3, 4, 0, 1381}, Failure(comrt::kTypeMismatch), 1},
      {{10, 4, 0, 950}, Failure(comrt::kTypeMismatch), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.record.platform << ", build " << c.record.build);
    cg::BuildNumber.reset();
    cg::IsWin9x = 1;
    RecorderReset();
    PresentSystem(c.record);
    comrt::ComPtr<_PrinterPort> port;
    EXPECT_EQ(comrt::ClassFactory<PrinterPort>::Instance()->CreateInstance(nullptr, IID__PrinterPort,
                                                                            reinterpret_cast<void**>(port.put())),
              c.result);
    EXPECT_EQ(cg::IsWin9x, c.win9xAfter);
    EXPECT_EQ(port.get() != nullptr, c.result == S_OK);
    EXPECT_EQ(Log().starts_with("count"), c.result == S_OK);
    EXPECT_EQ(RecorderCallCount() == 0, c.result != S_OK);
  }
}

TEST_F(PrinterPortTest, LockPortOpen) {
  struct Case {
    const char* name;
    std::function<void()> set;
    VARIANT_BOOL value;
    const char* log;
    VARIANT_BOOL readBack;
    int16_t claimedAfter;
  } cases[] = {
      {"free, True", [] {}, -1, "claim 1", -1, -1},
      {"free, 1", [] {}, 1, "claim 1", -1, -1},
      {"claim refused", [] { RecorderRefuseClaims(1); }, -1, "claim 1", 0, 0},
      {"no port", [] { cg::PortCount = 0; }, -1, "", 0, 0},
      // The lock is stored before the claim, which then finds the port held.
      {"claim left standing", [] { cg::PortClaimed = -1; }, -1, "", -1, -1},
      {"Windows 95 family", [] { cg::IsWin9x = -1; }, -1, "", -1, -1},
      {"locked, False", [] { cg::PortClaimed = cg::LockPortOpen = -1; }, 0, "release 1", 0, 0},
      {"free, False", [] {}, 0, "", 0, 0},
  };
  const Port port = comrt::Make<PrinterPort>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cg::PortCount = 1;
    cg::PortClaimed = cg::LockPortOpen = cg::IsWin9x = 0;
    RecorderReset();
    c.set();
    ASSERT_EQ(port->put_LockPortOpen(c.value), S_OK);
    EXPECT_EQ(Log(), c.log);
    VARIANT_BOOL locked = 7;
    port->get_LockPortOpen(&locked);
    EXPECT_EQ(locked, c.readBack);
    EXPECT_EQ(cg::PortClaimed, c.claimedAfter);
  }
}

// A claim names the selected port: moving the selection away from a locked port
// gives that port up first, so no port stays held behind the caller's back. The
// same port selected again keeps its claim.
TEST_F(PrinterPortTest, ChangingTheSelectionGivesUpTheClaimFirst) {
  const auto twoPorts = [] {
    RecorderReset();
    RecorderSetPortCount(2);
    RecorderSetPort(2, 0x278, 1);
  };
  twoPorts();
  const Port port = comrt::Make<PrinterPort>();
  const struct {
    const char* name;
    std::function<HRESULT()> change;
    const char* log;
  } changes[] = {
      {"by index", [&] { return port->put_PortAddressIndex(1); }, "release 1"},
      {"by base", [&] { return port->put_PortAddress(0x278); }, "count info 1 info 1 info 2 release 1"},
  };
  for (const auto& [name, change, log] : changes) {
    SCOPED_TRACE(name);
    twoPorts();
    ASSERT_EQ(port->put_PortAddressIndex(0), S_OK);
    ASSERT_EQ(port->put_LockPortOpen(-1), S_OK);
    ASSERT_EQ(port->put_PortAddressIndex(0), S_OK);
    ASSERT_EQ(port->put_PortAddress(0x378), S_OK);
    EXPECT_EQ(cg::PortClaimed, -1);
    EXPECT_EQ(recorder::Count(kRecorderRelease), 0);
    twoPorts();
    ASSERT_EQ(change(), S_OK);
    EXPECT_EQ(Log(), log);
    VARIANT_BOOL locked = -1;
    port->get_LockPortOpen(&locked);
    EXPECT_EQ(locked, 0);
    EXPECT_EQ(cg::PortClaimed, 0);
    ASSERT_EQ(port->put_LockPortOpen(0), S_OK);
    EXPECT_EQ(Log(), log);  // nothing left to give back
  }
}

TEST_F(PrinterPortTest, DestroyingItReleasesNothing) {
  Port port = comrt::Make<PrinterPort>();
  comrt::ComPtr<_DataPort> data;
  port->get_DataPort(data.put());
  port->put_LockPortOpen(-1);
  RecorderReset();
  port.reset();
  EXPECT_EQ(cg::PortClaimed, -1);
  EXPECT_EQ(cg::LockPortOpen, -1);
  ASSERT_EQ(data->put_Value(0x5A), S_OK);  // a sub-object a client holds still works
  EXPECT_EQ(Log(), "out@888=0x5A");
}

// Each case puts a value and reads it back; the codes start as the other set, so a
// put that changes only the flag shows.
TEST_F(PrinterPortTest, DataInvertedFlagAndLineCodes) {
  using Codes = std::vector<int>;
  const Codes inverted{0, 2, 3, 1}, plain{3, 1, 0, 2};
  auto codes = [] {
    return Codes{cg::CodeSDAHighSCLHigh, cg::CodeSDALowSCLHigh, cg::CodeSDALowSCLLow, cg::CodeSDAHighSCLLow};
  };
  struct Case {
    VARIANT_BOOL value;
    bool startPlain;
    uint8_t flag;
    bool codesAfterPutPlain;
    VARIANT_BOOL read;
    bool codesAfterGetPlain;
  } cases[] = {
      {-1, true, 0xFF, false, -1, false},
      {0, false, 0, true, 0, true},
      {1, true, 1, true, -1, false},
      {256, false, 0, false, 0, true},
  };
  const Port port = comrt::Make<PrinterPort>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    c.startPlain ? cg::PlainLineCodes() : cg::InvertedLineCodes();
    ASSERT_EQ(port->put_DataInverted(c.value), S_OK);
    EXPECT_EQ(cg::DataInverted, c.flag);
    EXPECT_EQ(codes(), c.codesAfterPutPlain ? plain : inverted);
    VARIANT_BOOL read = 7;
    ASSERT_EQ(port->get_DataInverted(&read), S_OK);
    EXPECT_EQ(read, c.read);
    EXPECT_EQ(codes(), c.codesAfterGetPlain ? plain : inverted);
  }
}

// What one sub-object property does with a held object, a new one and null.
template <class I>
void CheckSubObject(PrinterPort& port, HRESULT (PrinterPort::*get)(I**), HRESULT (PrinterPort::*putref)(I**),
                    comrt::ComPtr<I> replacement, bool recreatedWhenNull) {
  comrt::ComPtr<I> held, again;
  ASSERT_EQ((port.*get)(held.put()), S_OK);
  ASSERT_TRUE(held);
  ASSERT_EQ((port.*get)(again.put()), S_OK);
  EXPECT_EQ(held.get(), again.get());
  EXPECT_EQ(RefCount(held.get()), 3);  // the port's and the two handed out
  again.reset();

  const int outside = RefCount(replacement.get());  // the references held out here
  I* given = replacement.get();
  ASSERT_EQ((port.*putref)(&given), S_OK);
  EXPECT_EQ(given, replacement.get());  // read, never written back
  EXPECT_EQ(RefCount(held.get()), 1);   // the old one dropped
  EXPECT_EQ(RefCount(replacement.get()), outside + 1);
  ASSERT_EQ((port.*get)(again.put()), S_OK);
  EXPECT_EQ(again.get(), replacement.get());
  again.reset();

  I* null = nullptr;
  ASSERT_EQ((port.*putref)(&null), S_OK);
  EXPECT_EQ(RefCount(replacement.get()), outside);
  ASSERT_EQ((port.*get)(again.put()), S_OK);
  EXPECT_EQ(again.get() != nullptr, recreatedWhenNull);
  if (recreatedWhenNull) {
    EXPECT_NE(again.get(), replacement.get());
  }

  EXPECT_EQ((port.*get)(nullptr), E_POINTER);
  EXPECT_EQ((port.*putref)(nullptr), E_POINTER);
}

TEST_F(PrinterPortTest, SubObjectPropertiesHandOutAndReplaceReferences) {
  const Port port = comrt::Make<PrinterPort>();
  CheckSubObject<_DataPort>(*port, &PrinterPort::get_DataPort, &PrinterPort::putref_DataPort,
                            comrt::Make<DataPort>(), false);
  CheckSubObject<_StatusPort>(*port, &PrinterPort::get_StatusPort, &PrinterPort::putref_StatusPort,
                              comrt::Make<StatusPort>(), false);
  CheckSubObject<_ControlPort>(*port, &PrinterPort::get_ControlPort, &PrinterPort::putref_ControlPort,
                               comrt::Make<ControlPort>(), false);
  CheckSubObject<_SMBusProtocall>(*port, &PrinterPort::get_SMBusProtocall, &PrinterPort::putref_SMBusProtocall,
                                  comrt::Make<SMBusProtocall>(), false);
  CheckSubObject<_EEPROM>(*port, &PrinterPort::get_EEPROM, &PrinterPort::putref_EEPROM, comrt::Make<EEPROM>(),
                          true);
}

// The EEPROM made anew when null runs its constructor: the inverted codes return
// while the flag still says plain.
TEST_F(PrinterPortTest, EEPROMReadAfterNullIsANewObjectThatReloadedTheCodes) {
  const Port port = comrt::Make<PrinterPort>();
  port->put_DataInverted(0);
  _EEPROM* null = nullptr;
  port->putref_EEPROM(&null);
  ASSERT_EQ(cg::CodeSDAHighSCLHigh, 3);
  comrt::ComPtr<_EEPROM> eeprom;
  ASSERT_EQ(port->get_EEPROM(eeprom.put()), S_OK);
  ASSERT_TRUE(eeprom);
  EXPECT_EQ((std::vector<int>{cg::CodeSDAHighSCLHigh, cg::CodeSDALowSCLHigh, cg::CodeSDALowSCLLow,
                              cg::CodeSDAHighSCLLow}),
            (std::vector<int>{0, 2, 3, 1}));
  EXPECT_EQ(cg::DataInverted, 0);
  comrt::ComPtr<_EEPROM> same;
  port->get_EEPROM(same.put());
  EXPECT_EQ(same.get(), eeprom.get());  // kept, not made again
}

TEST_F(PrinterPortTest, EachClassThroughItsFactory) {
  auto create = [](IClassFactory* factory, const IID& iid) {
    comrt::ComPtr<IUnknown> object;
    EXPECT_EQ(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.put())), S_OK);
    return object;
  };
  EXPECT_TRUE(create(comrt::ClassFactory<DataPort>::Instance(), IID__DataPort));
  EXPECT_TRUE(create(comrt::ClassFactory<StatusPort>::Instance(), IID__StatusPort));
  EXPECT_TRUE(create(comrt::ClassFactory<PrinterPort>::Instance(), IID__PrinterPort));
  const auto control = create(comrt::ClassFactory<ControlPort>::Instance(), IID__ControlPort).As<_ControlPort>();
  RecorderReset();
  ASSERT_EQ(control->put_Value(0x5A), S_OK);  // works like the one a PrinterPort holds
  EXPECT_EQ(Log(), "claim 1 out@890=0x5A release 1");

  const auto eeprom = create(comrt::ClassFactory<EEPROM>::Instance(), IID__EEPROM);
  const auto container = eeprom.As<IConnectionPointContainer>();
  ASSERT_TRUE(container);
  comrt::ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID___EEPROM, point.put()), S_OK);
}

// Every member that drives or claims the port is a bus operation: called from a
// yield inside another one it is refused before anything happens.
TEST_F(PrinterPortTest, PortMembersRefusedInsideABusOperation) {
  const Port port = comrt::Make<PrinterPort>();
  const auto data = comrt::Make<DataPort>();
  const auto status = comrt::Make<StatusPort>();
  const auto control = comrt::Make<ControlPort>();
  const auto eeprom = comrt::Make<EEPROM>();
  BYTE byte = 0;
  VARIANT_BOOL erased = 0;
  const std::function<HRESULT()> members[] = {
      [&] { return data->put_Value(1); },
      [&] { return status->get_Value(&byte); },
      [&] { return control->put_Value(1); },
      [&] { return eeprom->ReadByte(1, 2, &byte); },
      [&] { return eeprom->WriteByte(1, 2, 3); },
      [&] { return eeprom->PageErase(1, 2, 3, &erased); },
      [&] { return eeprom->SetEEPROMAddress(1, 2); },
      [&] { return port->put_LockPortOpen(-1); },
      [&] { return port->put_LockPortOpen(0); },
  };
  cg::PortClaimed = -1;
  RecorderReset();
  const quorlink::BusOperation running;
  for (size_t i = 0; i < std::size(members); ++i) {
    EXPECT_EQ(members[i](), Failure(quorlink::kBusBusy)) << i;
  }
  EXPECT_EQ(RecorderCallCount(), 0);
  EXPECT_EQ(cg::PortClaimed, -1);
  EXPECT_EQ(cg::LockPortOpen, 0);
}

}  // namespace
}  // namespace porttest
