// The bus master object through its interface on the recording port: what its
// creation resets, shared against per-object settings, the setters with rules of
// their own, forwarding to the bus engine, errors at the boundary, the refusal of
// nested bus operations and the wrong-count event to connected sinks.
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "BlockNotation.h"
#include "BusFixture.h"
#include "BusOperation.h"
#include "EEPROM.h"
#include "PortRegisters.h"
#include "PrinterPort.h"
#include "SMBusProtocall.h"
#include "com/factory.h"
#include "com/implements.h"

namespace bustest {
namespace {

using Bus = comrt::ComPtr<SMBusProtocall>;

constexpr HRESULT Failure(int32_t number) { return static_cast<HRESULT>(0x800A0000u + static_cast<uint32_t>(number)); }

std::string ErrorDescription() { return comrt::TakeErrorDescription().value_or(""); }

class BusObjectTest : public BusTest {
 protected:
  void SetUp() override {
    BusTest::SetUp();
    bus = comrt::Make<SMBusProtocall>();
    cg::DeviceAddress = 0x90;
  }
  Bus bus;
};

TEST_F(BusObjectTest, CreationResetsFourSharedSettingsOnly) {
  cg::PlainLineCodes();
  cg::DataInverted = 0;
  cp::Delay = 0.5f;
  cg::BitsToStayHigh = 0x04;
  cp::ActAsMaster = -1;
  cp::FrameDelay = 2;
  cp::RepeatedStart = -1;
  cg::PortClaimed = -1;
  RecorderReset();
  const Bus second = comrt::Make<SMBusProtocall>();
  EXPECT_EQ(cg::CodeSDAHighSCLHigh, 0);
  EXPECT_EQ(cg::CodeSDALowSCLHigh, 2);
  EXPECT_EQ(cg::CodeSDALowSCLLow, 3);
  EXPECT_EQ(cg::CodeSDAHighSCLLow, 1);
  EXPECT_EQ(cg::DataInverted, 0);
  EXPECT_EQ(cg::BitsToStayHigh, 0);
  EXPECT_EQ(RecorderCallCount(), 0);  // stored only
  float delay = -1, frameDelay = -1;
  VARIANT_BOOL master = 1, repeated = 0, inverted = 1;
  EXPECT_EQ(bus->get_Delay(&delay), S_OK);
  EXPECT_EQ(delay, 0);  // for the older object too
  bus->get_FrameDelay(&frameDelay);
  EXPECT_EQ(frameDelay, 2);
  second->get_ActAsMaster(&master);
  EXPECT_EQ(master, 0);
  second->get_RepeatedStart(&repeated);
  EXPECT_EQ(repeated, -1);
  second->get_DataInverted(&inverted);
  EXPECT_EQ(inverted, 0);
  EXPECT_EQ(cg::CodeSDAHighSCLHigh, 0);  // reading DataInverted loads no codes
}

// Each stored property set through one object to a value no setter would make of
// its own (1 for the Booleans), then read through it and through a second object.
TEST_F(BusObjectTest, StoredPropertiesSharedOrPerObject) {
  struct Property {
    const char* name;
    std::function<HRESULT(SMBusProtocall&, int)> put;
    std::function<int(SMBusProtocall&)> get;
    bool shared;
  };
  auto boolean = [](auto put, auto get, const char* name, bool shared) {
    return Property{name, [put](SMBusProtocall& b, int v) { return (b.*put)(static_cast<VARIANT_BOOL>(v)); },
                    [get](SMBusProtocall& b) {
                      VARIANT_BOOL v = 0;
                      (b.*get)(&v);
                      return int(v);
                    },
                    shared};
  };
  auto byte = [](auto put, auto get, const char* name) {
    return Property{name, [put](SMBusProtocall& b, int v) { return (b.*put)(static_cast<BYTE>(v)); },
                    [get](SMBusProtocall& b) {
                      BYTE v = 0;
                      (b.*get)(&v);
                      return int(v);
                    },
                    true};
  };
  using S = SMBusProtocall;
  const Property properties[] = {
      boolean(&S::put_BlockWriteWaitAck, &S::get_BlockWriteWaitAck, "BlockWriteWaitAck", false),
      boolean(&S::put_UsePEC, &S::get_UsePEC, "UsePEC", false),
      boolean(&S::put_PECOK, &S::get_PECOK, "PECOK", false),
      boolean(&S::put_ActAsMaster, &S::get_ActAsMaster, "ActAsMaster", true),
      boolean(&S::put_VideoSoftware, &S::get_VideoSoftware, "VideoSoftware", true),
      boolean(&S::put_RelativeDelayOn, &S::get_RelativeDelayOn, "RelativeDelayOn", true),
      boolean(&S::put_RepeatedStart, &S::get_RepeatedStart, "RepeatedStart", true),
      boolean(&S::put_ThereWasNoAck, &S::get_ThereWasNoAck, "ThereWasNoAck", true),
      boolean(&S::put_CheckForAck, &S::get_CheckForAck, "CheckForAck", true),
      byte(&S::put_AddressPointer, &S::get_AddressPointer, "AddressPointer"),
      byte(&S::put_OrBits, &S::get_OrBits, "OrBits"),
      byte(&S::put_DeviceAddress, &S::get_DeviceAddress, "DeviceAddress"),
      {"FinalPEC", [](S& b, int v) { return b.put_FinalPEC(static_cast<short>(v)); },
       [](S& b) {
         short v = 0;
         b.get_FinalPEC(&v);
         return int(v);
       },
       false},
      {"Delay", [](S& b, int v) { return b.put_Delay(static_cast<float>(v)); },
       [](S& b) {
         float v = 0;
         b.get_Delay(&v);
         return int(v);
       },
       true},
  };
  for (const Property& p : properties) {
    SCOPED_TRACE(p.name);
    cg::DeviceAddress = 0;
    const Bus a = comrt::Make<SMBusProtocall>();
    const Bus b = comrt::Make<SMBusProtocall>();
    EXPECT_EQ(p.put(*a, 1), S_OK);
    EXPECT_EQ(p.get(*a), 1);
    EXPECT_EQ(p.get(*b), p.shared ? 1 : 0);
    p.put(*a, 0);
  }
  EXPECT_EQ(RecorderCallCount(), 0);
}

TEST_F(BusObjectTest, FrameDelayIsKeptWithinItsRangeAndDelayIsNot) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float set, frameDelay;
  } cases[] = {{-1, 0}, {-inf, 0}, {nan, 0}, {2e10f, 1e10f}, {inf, 1e10f}, {1e10f, 1e10f}, {0.25f, 0.25f}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    float frameDelay = -5;
    EXPECT_EQ(bus->put_FrameDelay(c.set), S_OK);
    bus->get_FrameDelay(&frameDelay);
    EXPECT_EQ(frameDelay, c.frameDelay);
  }
  for (float set : {-1.0f, -inf, inf}) {
    float delay = 0;
    bus->put_Delay(set);
    bus->get_Delay(&delay);
    EXPECT_EQ(delay, set);
  }
  float delay = 0;
  bus->put_Delay(nan);
  bus->get_Delay(&delay);
  EXPECT_TRUE(std::isnan(delay));
}

TEST_F(BusObjectTest, DataInvertedChoosesTheLineCodesOnlyForTrueAndFalse) {
  struct Case {
    VARIANT_BOOL set;
    uint8_t flag;
    uint8_t idle;  // the code of SDA and SCL high afterwards
    VARIANT_BOOL reads;
  } cases[] = {{-1, 0xFF, 0, -1}, {0, 0, 3, 0}, {1, 1, 3, -1}, {-1, 0xFF, 0, -1}, {2, 2, 0, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    VARIANT_BOOL reads = 5;
    EXPECT_EQ(bus->put_DataInverted(c.set), S_OK);
    EXPECT_EQ(cg::DataInverted, c.flag);
    EXPECT_EQ(cg::CodeSDAHighSCLHigh, c.idle);
    bus->get_DataInverted(&reads);
    EXPECT_EQ(reads, c.reads);
  }
}

TEST_F(BusObjectTest, BitsToStayHighAndPortAddressGoThroughThePortState) {
  EXPECT_EQ(bus->put_BitsToStayHigh(0x04), S_OK);
  EXPECT_EQ(bus->StartBit(), S_OK);
  ASSERT_GE(RecorderCallCount(), 2);
  EXPECT_EQ(RecorderCallAt(1).b, 0x04);  // the value alone
  // Every line write carries bit 2 from now on (HH of the inverted codes is 0x04 too).
  EXPECT_EQ(WithoutDelays(Wire()), Join({"claim HH release claim", WithoutDelays(kStart), "release"}));
  EXPECT_EQ(RecorderCallAt(RecorderCallCount() - 2).b, 0x07);  // LL
  BYTE bits = 0;
  bus->get_BitsToStayHigh(&bits);
  EXPECT_EQ(bits, 0x04);

  RecorderReset();
  cg::PortCount = 0;
  bus->put_BitsToStayHigh(0x08);
  EXPECT_EQ(cg::BitsToStayHigh, 0x08);
  EXPECT_EQ(RecorderCallCount(), 0);

  RecorderSetPortCount(2);
  RecorderSetPort(2, 0x278, 1);
  cg::PortCount = 2;
  short address = 0;
  EXPECT_EQ(bus->put_PortAddress(0x278), S_OK);
  bus->get_PortAddress(&address);
  EXPECT_EQ(address, 0x278);
  EXPECT_EQ(cg::PortIndex, 1);
  EXPECT_EQ(recorder::Count(kRecorderCount), 0);  // unlike PrinterPort.PortAddress, the port count is not asked
  bus->put_PortAddress(0x3BC);  // no port there: the selection stays
  bus->get_PortAddress(&address);
  EXPECT_EQ(address, 0x278);
}

TEST_F(BusObjectTest, MembersReachTheirBusRoutines) {
  MarkBitDelays();
  struct Member {
    const char* name;
    std::function<HRESULT()> call;
    std::string wire;
  };
  float three_hundred = 300;
  BYTE byte = 0;
  float value = 0;
  VARIANT_BOOL ack = 0;
  const Member members[] = {
      {"Ack", [&] { return bus->Ack(); }, kSlaveAck},
      {"NAck", [&] { return bus->NAck(); }, kMasterNAck},
      {"MAck", [&] { return bus->MAck(); }, kMasterAck},
      {"PreStart", [&] { return bus->PreStart(); }, kPreStart},
      {"StartBit", [&] { return bus->StartBit(); }, kStart},
      {"StopBit", [&] { return bus->StopBit(); }, kStop},
      {"WriteData", [&] { return bus->WriteData(&three_hundred); }, Bits(0x2C)},
      {"ReadData", [&] { return bus->ReadData(&value); }, Received()},
      {"WaitAck", [&] { return bus->WaitAck(1, &ack); }, "HL in HH D LL"},
      {"ShortWrite", [&] { return bus->ShortWrite(0x90, 0x5A); }, Join({kStart, Written(0x90), Written(0x5A), kStop})},
      {"ShortRead", [&] { return bus->ShortRead(0x90, &byte); },
       Join({kStart, Written(0x91), Received(), "D", kMasterNAck, "D", kStop})},
      {"PortWrite", [&] { return bus->PortWrite(0x90, 0x3C, 0x5A); },
       Join({kStart, Written(0x90), Written(0x3C), Written(0x5A), kStop})},
      {"PortRead", [&] { return bus->PortRead(0x90, 0x3C, &byte); },
       Join({kStart, Written(0x90), Written(0x3C), kStop, "D", kStart, Written(0x91), Received(), "D", kMasterNAck, "D",
             kStop})},
      {"WriteWord", [&] { return bus->WriteWord(0x90, 0x3C, 0x5AC3); },
       Join({kStart, Written(0x90), Written(0x3C), Written(0x5A), Written(0xC3), kStop})},
      {"ReadWord", [&] { return bus->ReadWord(0x90, 0x3C, &value); },
       Join({kStart, Written(0x90), Written(0x3C), kStop, kStart, Written(0x91), Received(), kMasterAck, Received(),
             kMasterNAck, kStop})},
  };
  for (const Member& m : members) {
    SCOPED_TRACE(m.name);
    RecorderReset();
    ScriptStatus({0x10}, 0x10);  // SDA low throughout: every bit read is 0, every acknowledge seen
    EXPECT_EQ(m.call(), S_OK);
    EXPECT_EQ(Wire(), Join({"claim", m.wire, "release"}));
  }
  EXPECT_EQ(three_hundred, 300);  // WriteData only reads its variable
  EXPECT_EQ(ack, -1);

  // Register access without a claim or lock reaches nothing.
  RecorderReset();
  byte = 9;
  EXPECT_EQ(bus->Portout(0x37A, 0x55), S_OK);
  EXPECT_EQ(bus->Portin(0x379, &byte), S_OK);
  EXPECT_EQ(byte, 0);
  cg::LockPortOpen = -1;
  bus->Portout(0x37A, 0x55);
  EXPECT_EQ(Wire(), "out@890=0x55");

  short result = 5;
  EXPECT_EQ(bus->Detect(1, &result), S_OK);
  EXPECT_EQ(result, 0);
  result = 5;
  bus->put_TotalSpeed(7);
  EXPECT_EQ(bus->get_TotalSpeed(&result), S_OK);
  EXPECT_EQ(result, 0);
}

TEST_F(BusObjectTest, WaitAckTakesItsTimeoutAsWholeSecondsUpTo255) {
  static float now;
  now = 1000;
  qelsys::SetClock([] { return now; });
  qelsys::SetYieldHook([] { now += 50; });
  ScriptStatus({}, 0x00);  // on a port it claims itself the wait takes a set bit 4: none comes
  VARIANT_BOOL ack = 5;
  EXPECT_EQ(bus->WaitAck(200, &ack), S_OK);
  EXPECT_EQ(ack, 0);
  EXPECT_GT(now, 1200);  // 200 seconds waited, not a byte read as -56
  EXPECT_LE(now, 1250);
}

TEST_F(BusObjectTest, FailuresComeBackWithErrorInformation) {
  const float inf = std::numeric_limits<float>::infinity();
  float nan = std::numeric_limits<float>::quiet_NaN(), big = 1e10f, infinite = inf;
  struct Case {
    const char* name;
    std::function<HRESULT()> call;
    HRESULT hr;
    std::string description;
    std::string wire;
  } cases[] = {
      {"WriteData of NaN", [&] { return bus->WriteData(&nan); }, Failure(6), "Overflow", "claim"},
      {"WriteData of infinity", [&] { return bus->WriteData(&infinite); }, Failure(6), "Overflow", "claim"},
      {"WriteData of 1E10", [&] { return bus->WriteData(&big); }, Failure(6), "Overflow", "claim"},
      {"WriteData of nothing", [&] { return bus->WriteData(nullptr); }, E_POINTER, "", ""},
      {"WriteWord of NaN", [&] { return bus->WriteWord(0x90, 0x3C, nan); }, Failure(6), "Overflow",
       Join({"claim", kStart, Written(0x90), Written(0x3C)})},
      {"BlockWrite without an array", [&] { return bus->BlockWrite(1, comrt::Variant()); }, Failure(13), "Type mismatch",
       Join({"claim", BlockWriteHead(0x90, 1)})},
      {"BlockWrite short of an element", [&] { return bus->BlockWrite(2, BlockData(VT_I2, Bytes({1}))); }, Failure(9),
       "Subscript out of range", Join({"claim", BlockWriteHead(0x90, 2), Written(1)})},
      {"ShortRead into nothing", [&] { return bus->ShortRead(0x90, nullptr); }, E_POINTER, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderReset();
    cg::PortClaimed = 0;
    EXPECT_EQ(c.call(), c.hr);
    EXPECT_EQ(WithoutDelays(Wire()), WithoutDelays(c.wire));
    if (!c.description.empty()) {
      EXPECT_EQ(ErrorDescription(), c.description);
    }
  }
  EXPECT_EQ(bus.As<ISupportErrorInfo>()->InterfaceSupportsErrorInfo(IID__SMBusProtocall), S_OK);
}

TEST_F(BusObjectTest, BusMembersAreRefusedInsideAWaitingBusOperation) {
  static std::vector<std::pair<const char*, std::function<HRESULT()>>> calls;
  static std::vector<std::string> unrefused;
  static int calledFromYields;
  static float data = 1;
  static VARIANT_BOOL ack;
  static BYTE byte;
  static float value;
  static SMBusProtocall* b;
  b = bus.get();
  calls = {
      {"Ack", [] { return b->Ack(); }},          {"NAck", [] { return b->NAck(); }},
      {"MAck", [] { return b->MAck(); }},        {"PreStart", [] { return b->PreStart(); }},
      {"StartBit", [] { return b->StartBit(); }}, {"StopBit", [] { return b->StopBit(); }},
      {"WriteData", [] { return b->WriteData(&data); }}, {"ReadData", [] { return b->ReadData(&value); }},
      {"WaitAck", [] { return b->WaitAck(0, &ack); }}, {"Portout", [] { return b->Portout(0x378, 1); }},
      {"Portin", [] { return b->Portin(0x379, &byte); }}, {"BitsToStayHigh", [] { return b->put_BitsToStayHigh(1); }},
      {"ShortWrite", [] { return b->ShortWrite(0x92, 1); }},
      {"BlockWrite", [] { return b->BlockWrite(0, BlockData(VT_I2, {})); }},
      {"BlockRead", [] {
         comrt::Variant result;
         return b->BlockRead(0, 0, &result);
       }},
  };
  unrefused.clear();
  calledFromYields = 0;
  MarkBitDelays();
  qelsys::SetYieldHook([] {
    static bool inside = false;  // a call let through would yield in turn
    RecorderMark('D');
    if (std::exchange(inside, true)) return;
    for (auto& [name, call] : calls) {
      ++calledFromYields;
      if (call() != Failure(17)) unrefused.push_back(name);
    }
    inside = false;
  });
  EXPECT_EQ(bus->ShortWrite(0x90, 0x5A), S_OK);
  qelsys::SetYieldHook(nullptr);
  EXPECT_GT(calledFromYields, 0);
  EXPECT_EQ(unrefused, std::vector<std::string>{});
  EXPECT_EQ(WithoutDelays(Wire()), Join({"claim", WithoutDelays(Join({kStart, Written(0x90), Written(0x5A), kStop})), "release"}));
}

// A sink of the event interface that records the events it is sent.
class Sink final : public comrt::Implements<IDispatch> {
 public:
  struct Event {
    DISPID dispid;
    std::vector<comrt::Variant> args;  // in declared order
  };
  std::vector<Event> events;
  std::function<void()> onEvent;

  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    EXPECT_EQ(flags, DISPATCH_METHOD);
    Event event{dispid, {}};
    for (UINT i = params->cArgs; i-- > 0;) event.args.push_back(comrt::Variant(static_cast<const comrt::Variant&>(params->rgvarg[i])));
    events.push_back(std::move(event));
    if (onEvent) onEvent();
    return S_OK;
  }
};

DWORD Connect(const Bus& bus, Sink* sink) {
  comrt::ComPtr<IConnectionPoint> point;
  EXPECT_EQ(bus.As<IConnectionPointContainer>()->FindConnectionPoint(IID___SMBusProtocall, point.put()), S_OK);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  return cookie;
}

TEST_F(BusObjectTest, WrongCountIsRaisedToEverySinkAndTheMemberSucceeds) {
  const auto first = comrt::ComPtr<Sink>::Adopt(new Sink);
  const auto second = comrt::ComPtr<Sink>::Adopt(new Sink);
  Connect(bus, first.get());
  Connect(bus, second.get());
  // A handler may tidy up the bus: the block read is over by then.
  HRESULT stop = E_FAIL;
  first->onEvent = [&] { stop = bus->StopBit(); };
  const auto status = StatusFor(31);
  RecorderScriptStatus(status.data(), static_cast<int32_t>(status.size()), 0);
  comrt::Variant result;
  EXPECT_EQ(bus->BlockRead(1, 2, &result), S_OK);
  EXPECT_EQ(result.vt, VT_EMPTY);
  for (const Sink* sink : {first.get(), second.get()}) {
    ASSERT_EQ(sink->events.size(), 1u);
    EXPECT_EQ(sink->events[0].dispid, 1);
    ASSERT_EQ(sink->events[0].args.size(), 2u);
    EXPECT_EQ(sink->events[0].args[0].vt, VT_I2);
    EXPECT_EQ(sink->events[0].args[0].iVal, 1);
    ASSERT_EQ(sink->events[0].args[1].vt, VT_BSTR);
    EXPECT_EQ(comrt::Bstr(std::u16string_view(sink->events[0].args[1].bstrVal)).utf8(), "The byte count read did not equal 32");
  }
  EXPECT_EQ(stop, S_OK);
  EXPECT_EQ(Wire(), WithoutDelays(Join({"claim", BlockReadHead(0x90), kStop})));  // the handler's stop; no release
  EXPECT_EQ(cg::PortClaimed, -1);

  // A complete read raises nothing.
  RecorderReset();
  std::vector<uint8_t> bytes = StatusFor(32);
  for (int i = 0; i < 32; ++i) {
    const auto more = StatusFor(0);
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
  RecorderScriptStatus(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
  EXPECT_EQ(bus->BlockRead(0, 0, &result), S_OK);
  EXPECT_EQ(first->events.size(), 1u);
  EXPECT_EQ(cg::PortClaimed, 0);
}

// The handlers run while the stopped read is still open: line steps work, and
// every whole operation is refused with nothing on the wire, so a handler that
// reads the block again cannot make the read recurse.
TEST_F(BusObjectTest, WrongCountHandlersMayStepButStartNoOperation) {
  const auto sink = comrt::ComPtr<Sink>::Adopt(new Sink);
  Connect(bus, sink.get());
  const auto eeprom = comrt::Make<EEPROM>();
  const auto data = comrt::Make<DataPort>();
  const auto port = comrt::Make<PrinterPort>();
  cg::PlainLineCodes();
  cg::PortCount = 1;
  cg::PortAddress = 0x378;
  RecorderReset();
  std::vector<std::string> unrefused;
  int wholeTraffic = -1;
  std::vector<HRESULT> steps;
  sink->onEvent = [&] {
    BYTE byte = 0;
    float value = 0x5A;
    VARIANT_BOOL flag = 0;
    comrt::Variant result;
    const std::pair<const char*, std::function<HRESULT()>> whole[] = {
        {"BlockRead", [&] { return bus->BlockRead(0, 0, &result); }},
        {"BlockWrite", [&] { return bus->BlockWrite(0, BlockData(VT_I2, {})); }},
        {"ShortWrite", [&] { return bus->ShortWrite(0x92, 1); }},
        {"ShortRead", [&] { return bus->ShortRead(0x92, &byte); }},
        {"WriteWord", [&] { return bus->WriteWord(0x92, 1, 2); }},
        {"ReadWord", [&] { return bus->ReadWord(0x92, 1, &value); }},
        {"PortWrite", [&] { return bus->PortWrite(0x92, 1, 2); }},
        {"PortRead", [&] { return bus->PortRead(0x92, 1, &byte); }},
        {"BitsToStayHigh", [&] { return bus->put_BitsToStayHigh(1); }},
        {"EEPROM ReadByte", [&] { return eeprom->ReadByte(1, 2, &byte); }},
        {"EEPROM WriteByte", [&] { return eeprom->WriteByte(1, 2, 3); }},
        {"EEPROM PageErase", [&] { return eeprom->PageErase(1, 2, 3, &flag); }},
        {"EEPROM SetEEPROMAddress", [&] { return eeprom->SetEEPROMAddress(1, 2); }},
        {"DataPort", [&] { return data->put_Value(1); }},
        {"LockPortOpen", [&] { return port->put_LockPortOpen(-1); }},
        {"PortAddressIndex", [&] { return port->put_PortAddressIndex(1); }},
    };
    const int before = RecorderCallCount();
    for (const auto& [name, call] : whole) {
      if (call() != Failure(17)) unrefused.push_back(name);
    }
    wholeTraffic = RecorderCallCount() - before;
    value = 0x5A;
    steps = {bus->PreStart(), bus->StartBit(), bus->WriteData(&value), bus->Ack(),     bus->ReadData(&value),
             bus->MAck(),     bus->NAck(),     bus->WaitAck(0, &flag),  bus->StopBit()};
  };
  const auto status = StatusFor(31);
  RecorderScriptStatus(status.data(), static_cast<int32_t>(status.size()), 0);
  comrt::Variant result;
  EXPECT_EQ(bus->BlockRead(1, 2, &result), S_OK);
  ASSERT_EQ(sink->events.size(), 1u);
  EXPECT_EQ(unrefused, std::vector<std::string>{});
  EXPECT_EQ(wholeTraffic, 0);
  EXPECT_EQ(steps, std::vector<HRESULT>(9, S_OK));
  EXPECT_EQ(Wire(), WithoutDelays(Join({"claim", BlockReadHead(0x90), kPreStart, kStart, Written(0x5A), Received(),
                                        kMasterAck, kMasterNAck, "HL in LH LL", kStop})));
  EXPECT_EQ(cg::PortClaimed, -1);
}

TEST_F(BusObjectTest, BlockStateThroughTheInterface) {
  bus->put_UsePEC(-1);
  EXPECT_EQ(bus->BlockWrite(1, BlockData(VT_VARIANT, {comrt::Variant(SHORT{0x55})})), S_OK);
  short finalPec = 0;
  bus->get_FinalPEC(&finalPec);
  EXPECT_EQ(finalPec, 167);
  for (auto get : {&SMBusProtocall::GetPECData, &SMBusProtocall::GetBlockReadData}) {
    comrt::Variant copy;
    EXPECT_EQ(((*bus).*get)(&copy), S_OK);
    EXPECT_EQ(copy.vt, VT_ARRAY | VT_I2);
    LONG low = -1, high = -1;
    SafeArrayGetLBound(copy.parray, 1, &low);
    SafeArrayGetUBound(copy.parray, 1, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 37);
  }
  comrt::Variant running;
  bus->GetPECData(&running);
  EXPECT_EQ(ElementsOf(running)[3], 0xA7);
  // A second object's write overwrites the running values the first one shows.
  const Bus other = comrt::Make<SMBusProtocall>();
  other->put_UsePEC(-1);
  other->BlockWrite(0, BlockData(VT_I2, {}));
  comrt::Variant overwritten;
  bus->GetPECData(&overwritten);
  EXPECT_EQ(ElementsOf(overwritten)[2], 0xB1);
}

TEST_F(BusObjectTest, ClassFactoryMakesAWorkingObject) {
  cp::Delay = 0.5f;
  comrt::ComPtr<_SMBusProtocall> made;
  EXPECT_EQ(comrt::ClassFactory<SMBusProtocall>::Instance()->CreateInstance(nullptr, IID__SMBusProtocall,
                                                                             reinterpret_cast<void**>(made.put())),
            S_OK);
  ASSERT_TRUE(made);
  EXPECT_EQ(cp::Delay, 0);
  EXPECT_EQ(made->ShortWrite(0x90, 0x5A), S_OK);
  EXPECT_EQ(Wire(), WithoutDelays(Join({"claim", kStart, Written(0x90), Written(0x5A), kStop, "release"})));
}

}  // namespace
}  // namespace bustest
