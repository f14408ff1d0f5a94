// The bus master called late-bound, by name, against the virtual evaluation
// board: the call must reach the switch chip through the real parallel-port
// library and come back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "CommonGlobals.h"
#include "SMBusProtocall.h"
#include "qelboard_control.h"

namespace {

class LateBoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never the machine's own ports.
    const char* board = std::getenv("QEL_BOARD");
    ASSERT_TRUE(board != nullptr && std::string(board) == "virtual") << "run with QEL_BOARD=virtual";
    QelBoard_Reset();
    // The port selection a PrinterPort makes: port 1 of the board.
    CommonGlobals::PortCount = 1;
    CommonGlobals::PortIndex = 0;
    CommonGlobals::PortAddress = 0x378;
    bus = comrt::Make<SMBusProtocall>();
    dispatch = bus.As<IDispatch>();
  }

  DISPID IdOf(const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    return id;
  }

  // Arguments in declared order; IDispatch takes them last first.
  HRESULT Call(const char16_t* name, WORD flags, std::vector<comrt::Variant> args, VARIANT* result,
               EXCEPINFO* exception = nullptr) {
    std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(reversed.size()),
                      flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    UINT argErr = 0;
    return dispatch->Invoke(IdOf(name), IID_NULL, 0, flags, &params, result, exception, &argErr);
  }

  comrt::ComPtr<SMBusProtocall> bus;
  comrt::ComPtr<IDispatch> dispatch;
};

TEST_F(LateBoundTest, ShortWriteAndShortReadByNameReachTheChip) {
  EXPECT_EQ(IdOf(u"shortwrite"), 0x60030014);
  EXPECT_EQ(Call(u"shortwrite", DISPATCH_METHOD, [] {
              std::vector<comrt::Variant> args;
              args.emplace_back(LONG{0x90});
              args.emplace_back("90");  // text converts to the declared byte
              return args;
            }(), nullptr),
            S_OK);
  EXPECT_EQ(QelBoard_GetSwitchByte(), 90);

  QelBoard_SetSwitchByte(0xC3);
  comrt::Variant result;
  std::vector<comrt::Variant> address;
  address.emplace_back(SHORT{0x90});
  EXPECT_EQ(Call(u"SHORTREAD", DISPATCH_METHOD, std::move(address), &result), S_OK);
  EXPECT_EQ(result.vt, VT_UI1);
  EXPECT_EQ(result.bVal, 0xC3);
}

TEST_F(LateBoundTest, AFailingMemberReportsItsErrorThroughInvoke) {
  EXCEPINFO exception{};
  std::vector<comrt::Variant> args;
  args.emplace_back(BYTE{1});
  args.emplace_back("no array");
  EXPECT_EQ(Call(u"BlockWrite", DISPATCH_METHOD, std::move(args), nullptr, &exception), DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, static_cast<HRESULT>(0x800A000D));
  EXPECT_EQ(comrt::Bstr::Adopt(exception.bstrDescription).utf8(), "Type mismatch");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  // The write went out as far as its header and keeps the port.
  EXPECT_EQ(CommonGlobals::PortClaimed, -1);
  CommonGlobals::ReleasePort();
}

}  // namespace
