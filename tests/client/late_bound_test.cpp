// A late-bound client (a script, a type-library browser) of the QELCom classes:
// named arguments, the way from a live object to its type library, VARIANTs that
// are not what they claim, and the conversions the runtime makes on arguments.
#include <cstring>

#include "late_bound.h"
#include "qelboard_control.h"
#include "virtual_board.h"

namespace {

using comrt::ComPtr;
using comrt::Variant;

constexpr GUID kLibid = comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}");
constexpr CLSID kSMBusProtocall = comrt::ParseGuid("{2213E903-8F39-482F-A02E-281ED19F1745}");
constexpr CLSID kEEPROM = comrt::ParseGuid("{A1C26788-C49A-44C1-B6DE-7D5B8CB825BD}");

std::string NameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  comrt::Bstr name;
  EXPECT_EQ(info->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr), S_OK);
  return name.utf8();
}

class LateBoundTest : public LateBoundClient {
 protected:
  void SetUp() override {
    LateBoundClient::SetUp();
    QelBoard_Reset();
    DISPID put = DISPID_PROPERTYPUT;
    ASSERT_EQ(Invoke(port_.get(), Ids(port_.get(), {u"PortAddressIndex"})[0], DISPATCH_PROPERTYPUT,
                     {Variant(BYTE{0})}, {put}),
              S_OK);
  }
};

TEST_F(LateBoundTest, NamedArgumentsInAnyOrderReachTheWire) {
  const std::vector<DISPID> ids = Ids(bus_.get(), {u"ShortWrite", u"DeviceAddress", u"Data"});
  ASSERT_EQ(ids[1], 0);
  ASSERT_EQ(ids[2], 1);
  const DISPID address = ids[1], data = ids[2];
  struct Case {
    const char* what;
    std::vector<Variant> args;  // rgvarg order: named first, then positional last-first
    std::vector<DISPID> named;
    HRESULT hr;
    int switchByte;  // what the chip holds afterwards (0xEE: untouched)
    UINT argErr;     // 99: not set
  };
  const Case cases[] = {
      {"DeviceAddress:=&H90, Data:=5", {Variant(u"&H90"), Variant(SHORT{5})}, {address, data}, S_OK, 0x05, 99},
      {"Data:=6, DeviceAddress:=&H90", {Variant(SHORT{6}), Variant(u"&H90")}, {data, address}, S_OK, 0x06, 99},
      {"&H90, Data:=7", {Variant(SHORT{7}), Variant(u"&H90")}, {data}, S_OK, 0x07, 99},
      {"positional only", {Variant(SHORT{8}), Variant(SHORT{0x90})}, {}, S_OK, 0x08, 99},
      {"a name that is no parameter", {Variant(SHORT{9}), Variant(SHORT{0x90})}, {7}, DISP_E_PARAMNOTFOUND, 0xEE, 0},
      {"the property-put name", {Variant(SHORT{9}), Variant(SHORT{0x90})}, {DISPID_PROPERTYPUT},
       DISP_E_PARAMNOTFOUND, 0xEE, 0},
      {"a name given twice", {Variant(SHORT{9}), Variant(SHORT{9})}, {data, data}, DISP_E_PARAMNOTFOUND, 0xEE, 1},
      {"a name also given by position", {Variant(SHORT{0x90}), Variant(SHORT{0x90})}, {address},
       DISP_E_PARAMNOTFOUND, 0xEE, 0},
      {"Data missing", {Variant(SHORT{0x90})}, {address}, DISP_E_BADPARAMCOUNT, 0xEE, 99},
      {"one too many", {Variant(SHORT{1}), Variant(SHORT{2}), Variant(SHORT{0x90})}, {}, DISP_E_BADPARAMCOUNT, 0xEE,
       99},
      {"named Data not a number", {Variant(u"x"), Variant(SHORT{0x90})}, {data}, DISP_E_TYPEMISMATCH, 0xEE, 0},
  };
  for (const Case& c : cases) {
    QelBoard_SetSwitchByte(0xEE);
    UINT argErr = 99;
    EXPECT_EQ(Invoke(bus_.get(), ids[0], DISPATCH_METHOD, c.args, c.named, nullptr, &argErr), c.hr) << c.what;
    EXPECT_EQ(QelBoard_GetSwitchByte(), c.switchByte) << c.what;
    EXPECT_EQ(argErr, c.argErr) << c.what;
    const std::string description = ErrorDescription();
    if (FAILED(c.hr)) {
      EXPECT_NE(description.find("in a call of ShortWrite"), std::string::npos) << c.what << ": " << description;
    }
  }

  // A property put names its value DISPID_PROPERTYPUT, and nothing else.
  const DISPID deviceAddress = Ids(bus_.get(), {u"DeviceAddress"})[0];
  ASSERT_EQ(Invoke(bus_.get(), deviceAddress, DISPATCH_PROPERTYPUT, {Variant(u"&H92")}, {DISPID_PROPERTYPUT}), S_OK);
  Variant value;
  ASSERT_EQ(Invoke(bus_.get(), deviceAddress, DISPATCH_PROPERTYGET, {}, {}, &value), S_OK);
  EXPECT_EQ(value.vt, VT_UI1);
  EXPECT_EQ(value.bVal, 0x92);
  UINT argErr = 99;
  EXPECT_EQ(Invoke(bus_.get(), deviceAddress, DISPATCH_PROPERTYPUT, {Variant(SHORT{1})}, {0}, nullptr, &argErr),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(argErr, 0u);
}

TEST_F(LateBoundTest, TypeInformationLeadsToTheRegisteredLibraryItsClassesAndEvents) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(bus_->GetTypeInfo(0, 0, info.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(attr->guid == IID__SMBusProtocall);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  info->ReleaseTypeAttr(attr);

  ComPtr<ITypeLib> library;
  UINT index = 99;
  ASSERT_EQ(info->GetContainingTypeLib(library.put(), &index), S_OK);
  EXPECT_EQ(index, 12u) << "_SMBusProtocall's place in the library";
  comrt::Bstr name;
  ASSERT_EQ(library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.utf8(), "QELCom");
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&libAttr), S_OK);
  EXPECT_TRUE(libAttr->guid == kLibid);
  EXPECT_EQ(libAttr->wMajorVerNum, 1);
  EXPECT_EQ(libAttr->wMinorVerNum, 0);
  EXPECT_EQ(libAttr->lcid, 0u);
  library->ReleaseTLibAttr(libAttr);
  EXPECT_EQ(library->GetTypeInfoCount(), 20u);
  ComPtr<ITypeLib> registered;
  ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, registered.put()), S_OK);
  ASSERT_EQ(registered->GetTypeInfoCount(), library->GetTypeInfoCount());
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    comrt::Bstr mine, theirs;
    library->GetDocumentation(static_cast<INT>(i), mine.put(), nullptr, nullptr, nullptr);
    registered->GetDocumentation(static_cast<INT>(i), theirs.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(mine.utf8(), theirs.utf8()) << i;
  }

  // From the class to its default and its event interface.
  const struct {
    CLSID clsid;
    const char* defaultInterface;
    const char* events;
    const char* firstEvent;
  } classes[] = {{kSMBusProtocall, "_SMBusProtocall", "__SMBusProtocall", "SMBusProtocallError"},
                 {kEEPROM, "_EEPROM", "__EEPROM", "EEPROMError"}};
  for (const auto& c : classes) {
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(c.clsid, coclass.put()), S_OK);
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->cImplTypes, 2);
    coclass->ReleaseTypeAttr(attr);
    const char* expected[] = {c.defaultInterface, c.events};
    const INT flags[] = {IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE};
    for (UINT k = 0; k < 2; ++k) {
      HREFTYPE ref = 0;
      ASSERT_EQ(coclass->GetRefTypeOfImplType(k, &ref), S_OK);
      INT implFlags = 0;
      ASSERT_EQ(coclass->GetImplTypeFlags(k, &implFlags), S_OK);
      EXPECT_EQ(implFlags, flags[k]);
      ComPtr<ITypeInfo> implemented;
      ASSERT_EQ(coclass->GetRefTypeInfo(ref, implemented.put()), S_OK);
      EXPECT_EQ(NameOf(implemented.get()), expected[k]);
      if (k == 1) {
        EXPECT_EQ(NameOf(implemented.get(), 1), c.firstEvent);
      }
    }
  }

  // ShortRead(BYTE DeviceAddress, BYTE* retval): a dispatch method returning a
  // byte, and in the vtable view the entry after ShortWrite returning an HRESULT.
  const MEMBERID shortRead = 0x60030015;
  FUNCDESC* f = nullptr;
  UINT position = 0;
  for (; position < 60; ++position) {
    ASSERT_EQ(info->GetFuncDesc(position, &f), S_OK);
    const bool found = f->memid == shortRead;
    if (found) break;
    info->ReleaseFuncDesc(f);
  }
  EXPECT_EQ(f->funckind, FUNC_DISPATCH);
  EXPECT_EQ(f->cParams, 1);
  EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_UI1);
  info->ReleaseFuncDesc(f);
  HREFTYPE vtableRef = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef), S_OK);
  ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(info->GetRefTypeInfo(vtableRef, vtable.put()), S_OK);
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  vtable->ReleaseTypeAttr(attr);
  ASSERT_EQ(vtable->GetFuncDesc(position, &f), S_OK);
  EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
  EXPECT_EQ(f->cParams, 2);
  EXPECT_EQ(f->oVft, (7 + 11) * 8);
  EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
  EXPECT_EQ(f->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
  vtable->ReleaseFuncDesc(f);

  // The library's own type information calls the live object.
  QelBoard_SetSwitchByte(0x3C);
  Variant address(SHORT{0x90});
  DISPPARAMS params{&address, nullptr, 1, 0};
  Variant read;
  ASSERT_EQ(info->Invoke(bus_.get(), shortRead, DISPATCH_METHOD, &params, &read, nullptr, nullptr), S_OK);
  EXPECT_EQ(read.vt, VT_UI1);
  EXPECT_EQ(read.bVal, 0x3C);
}

// VARIANTs whose type is none a client may pass: each member refuses them with
// DISP_E_BADVARTYPE before following any pointer in them, and so do the
// runtime's VARIANT functions.
TEST_F(LateBoundTest, BadVariantsAreRefusedBeforeAnyPointerIsFollowed) {
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = 0xFFFF;
  // A pointer that must never be followed: the sanitizer build stops at once if it is.
  void* const poison = reinterpret_cast<void*>(0x10);
  struct Bad {
    const char* what;
    VARTYPE vt;
    void* pointer;
  } bad[] = {
      {"vt 0xFFFF", 0xFFFF, poison},
      {"VT_VARIANT by value", VT_VARIANT, poison},
      {"VT_DECIMAL", VT_DECIMAL, poison},
      {"VT_RECORD", VT_RECORD, poison},
      {"VT_VECTOR | VT_I2", VT_VECTOR | VT_I2, poison},
      {"reserved bit", 0x8000 | VT_I2, poison},
      {"VT_EMPTY by reference", VT_BYREF | VT_EMPTY, poison},
      {"unknown type by reference", VT_BYREF | 0x0FFF, poison},
      {"array of VT_NULL", VT_ARRAY | VT_NULL, poison},
      {"reference to a VARIANT of type 0xFFFF", VT_BYREF | VT_VARIANT, &inner},
  };
  const std::vector<DISPID> shortWrite = Ids(bus_.get(), {u"ShortWrite"});
  const DISPID blockWrite = Ids(bus_.get(), {u"BlockWrite"})[0];
  const DISPID usePEC = Ids(bus_.get(), {u"UsePEC"})[0];
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = b.vt;
    arg.byref = b.pointer;
    VARIANT good;
    VariantInit(&good);
    good.vt = VT_I2;
    good.iVal = 0x90;
    QelBoard_SetSwitchByte(0xEE);
    struct Call {
      DISPID member;
      WORD flags;
      VARIANT args[2];
      UINT count;
      UINT badAt;
    } calls[] = {
        {shortWrite[0], DISPATCH_METHOD, {arg, good}, 2, 0},  // Data
        {shortWrite[0], DISPATCH_METHOD, {good, arg}, 2, 1},  // DeviceAddress
        {blockWrite, DISPATCH_METHOD, {arg, good}, 2, 0},     // Data, a VARIANT parameter
        {usePEC, DISPATCH_PROPERTYPUT, {arg}, 1, 0},
    };
    for (Call& call : calls) {
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS params{call.args, call.flags == DISPATCH_PROPERTYPUT ? &put : nullptr, call.count,
                        call.flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
      UINT argErr = 99;
      EXCEPINFO info{};
      EXPECT_EQ(bus_->Invoke(call.member, IID_NULL, 0, call.flags, &params, nullptr, &info, &argErr),
                DISP_E_BADVARTYPE)
          << call.member;
      EXPECT_EQ(argErr, call.badAt) << call.member;
    }
    EXPECT_EQ(QelBoard_GetSwitchByte(), 0xEE) << "nothing went out";

    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantCopyInd(&out, &arg), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&out, &arg, 0, VT_I2), DISP_E_BADVARTYPE);
    EXPECT_EQ(out.vt, VT_EMPTY) << "the destination is left alone";
    if (b.pointer != &inner) {
      // A reference is copied and cleared as a reference, without looking behind it.
      EXPECT_EQ(VariantCopy(&out, &arg), DISP_E_BADVARTYPE);
      EXPECT_EQ(VariantClear(&arg), DISP_E_BADVARTYPE);
      EXPECT_EQ(out.vt, VT_EMPTY);
    }
  }
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I2;
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(VariantChangeType(&out, &number, 0, 0xFFFF), DISP_E_BADVARTYPE) << "no such target type";
  EXPECT_EQ(VariantChangeType(&out, &number, 0, VT_BYREF | VT_I2), DISP_E_BADVARTYPE);

  // An array descriptor a client filled in itself, without data.
  SAFEARRAY empty{};
  empty.cDims = 1;
  empty.cbElements = 2;
  empty.rgsabound[0].cElements = 4;
  SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(SafeArrayCopy(&empty, &copy), E_INVALIDARG);
  EXPECT_EQ(copy, nullptr);
  Variant data;
  data.vt = VT_ARRAY | VT_I2;
  data.parray = &empty;
  VARIANT args[] = {data, {}};
  args[1].vt = VT_UI1;
  args[1].bVal = 1;
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_TRUE(FAILED(bus_->Invoke(blockWrite, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr)));
  data.vt = VT_EMPTY;  // the descriptor is this test's own
}

// BlockWrite converts each data element to a 32-bit float, whatever numeric type
// the array holds: with 0x55 as element 3 the PEC of 0x90, 0xA0, 0x01, 0x55 is 0xA7.
TEST_F(LateBoundTest, BlockWriteTakesCurrencyDateAndTextArrays) {
  const std::vector<DISPID> ids = Ids(bus_.get(), {u"BlockWrite", u"ByteCount", u"Data"});
  const DISPID put = DISPID_PROPERTYPUT;
  ASSERT_EQ(Invoke(bus_.get(), Ids(bus_.get(), {u"DeviceAddress"})[0], DISPATCH_PROPERTYPUT, {Variant(u"&H90")},
                   {put}),
            S_OK);
  ASSERT_EQ(Invoke(bus_.get(), Ids(bus_.get(), {u"UsePEC"})[0], DISPATCH_PROPERTYPUT, {Variant(true)}, {put}), S_OK);
  const DISPID finalPEC = Ids(bus_.get(), {u"FinalPEC"})[0];

  struct Case {
    const char* what;
    VARTYPE vt;
    VARIANT element;  // element 3, in the array's own type (a VARIANT for VT_VARIANT)
  };
  auto of = [](VARTYPE vt, auto set) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    set(v);
    return v;
  };
  const Case cases[] = {
      {"Currency 85", VT_CY, of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 850000; })},
      {"Currency 85.4", VT_CY, of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 854000; })},
      {"Date 85.0", VT_DATE, of(VT_DATE, [](VARIANT& v) { v.date = 85.0; })},
      {"Variant holding Currency 85", VT_VARIANT, of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 850000; })},
      {"Variant holding \" &H55 \"", VT_VARIANT, of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u" &H55 "); })},
      {"Variant holding \"8.5E1\"", VT_VARIANT, of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"8.5E1"); })},
  };
  for (const Case& c : cases) {
    SAFEARRAY* array = SafeArrayCreateVector(c.vt, 0, 4);
    ASSERT_NE(array, nullptr);
    LONG three = 3;
    VARIANT element = c.element;
    void* value = c.vt == VT_VARIANT ? static_cast<void*>(&element) : static_cast<void*>(&element.llVal);
    ASSERT_EQ(SafeArrayPutElement(array, &three, value), S_OK);
    VariantClear(&element);
    Variant data;
    data.vt = VT_ARRAY | c.vt;
    data.parray = array;
    ASSERT_EQ(Invoke(bus_.get(), ids[0], DISPATCH_METHOD, {data, Variant(BYTE{1})}, {ids[2], ids[1]}), S_OK)
        << c.what;
    Variant pec;
    ASSERT_EQ(Invoke(bus_.get(), finalPEC, DISPATCH_PROPERTYGET, {}, {}, &pec), S_OK);
    EXPECT_EQ(pec.iVal, 0xA7) << c.what;
  }
}

}  // namespace
