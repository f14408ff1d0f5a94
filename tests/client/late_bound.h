// A late-bound client: it knows members only by name, as a script would, and
// reaches them through IDispatch::GetIDsOfNames and IDispatch::Invoke.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include "client_declarations.h"
#include "com/activation.h"
#include "com/variant.h"
#include "lone_server.h"

class LateBoundClient : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    ASSERT_EQ(CallServer(QUORLINK_SERVER, "DllRegisterServer"), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_QELRurUzoz, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(root_.put())),
              S_OK)
        << ErrorDescription();
    port_ = Property(root_.get(), u"PrinterPort");
    bus_ = Property(port_.get(), u"SMBusProtocall");
    ASSERT_TRUE(bus_);
  }
  void TearDown() override {
    bus_.reset();
    port_.reset();
    root_.reset();
    CoFreeUnusedLibraries();
    ClientTest::TearDown();
  }

  // The dispids of a member and, after it, of the named parameters.
  static std::vector<DISPID> Ids(IDispatch* object, std::initializer_list<const char16_t*> names) {
    std::vector<LPOLESTR> texts;
    for (const char16_t* n : names) texts.push_back(const_cast<LPOLESTR>(n));
    std::vector<DISPID> ids(texts.size(), DISPID_UNKNOWN);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, texts.data(), static_cast<UINT>(texts.size()), 0, ids.data()), S_OK);
    return ids;
  }

  // Invoke with `args` in rgvarg order (named ones first, then the positional
  // ones last-first) and `named` naming the first entries.
  static HRESULT Invoke(IDispatch* object, DISPID member, WORD flags, std::vector<comrt::Variant> args,
                        std::vector<DISPID> named = {}, VARIANT* result = nullptr, UINT* argErr = nullptr) {
    DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
    EXCEPINFO info{};
    const HRESULT hr = object->Invoke(member, IID_NULL, 0, flags, &params, result, &info, argErr);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
  }

  static comrt::ComPtr<IDispatch> Property(IDispatch* object, const char16_t* name) {
    comrt::Variant value;
    EXPECT_EQ(Invoke(object, Ids(object, {name})[0], DISPATCH_PROPERTYGET, {}, {}, &value), S_OK);
    if (value.vt != VT_DISPATCH) return nullptr;
    return comrt::ComPtr<IDispatch>(value.pdispVal);
  }

  comrt::ComPtr<IDispatch> root_;
  comrt::ComPtr<IDispatch> port_;
  comrt::ComPtr<IDispatch> bus_;
};
