// What the QELCom type library holds, checked through ITypeLib and ITypeInfo, with
// the identifiers written out here rather than taken from the declarations.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "com/oleauto.h"
#include "com/ptr.h"

inline std::string NameOf(ITypeLib* library, int index) {
  BSTR name = nullptr;
  library->GetDocumentation(index, &name, nullptr, nullptr, nullptr);
  std::string text = comrt::Utf16ToUtf8(name ? name : u"");
  SysFreeString(name);
  return text;
}

inline std::string NameOf(ITypeInfo* info) {
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  std::string text = comrt::Utf16ToUtf8(name ? name : u"");
  SysFreeString(name);
  return text;
}

// The interface a class implements at `index`, with its flags.
inline std::string ImplementedName(ITypeInfo* coclass, UINT index, INT* flags) {
  HREFTYPE ref = 0;
  comrt::ComPtr<ITypeInfo> implemented;
  if (FAILED(coclass->GetRefTypeOfImplType(index, &ref)) ||
      FAILED(coclass->GetRefTypeInfo(ref, implemented.put())) || FAILED(coclass->GetImplTypeFlags(index, flags))) {
    return "<none>";
  }
  return NameOf(implemented.get());
}

inline void ExpectQELComLibrary(ITypeLib* library) {
  ASSERT_NE(library, nullptr);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0u);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  EXPECT_EQ(attr->wLibFlags, 0);
  library->ReleaseTLibAttr(attr);
  EXPECT_EQ(NameOf(library, -1), "QELCom");

  constexpr WORD kDual = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                         TYPEFLAG_FDISPATCHABLE;
  constexpr WORD kEvents = TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
  constexpr WORD kClass = TYPEFLAG_FCANCREATE;
  struct Type {
    const char* name;
    const char* guid;
    TYPEKIND kind;
    WORD flags;
    const char* source;  // classes with events: the source interface
  };
  const Type types[] = {
      {"_QELRurUzoz", "{C822FF04-7C57-42B4-A15E-BABA4B9062DD}", TKIND_DISPATCH, kDual, nullptr},
      {"QELRurUzoz", "{3B76B453-B626-4D76-8EE7-11414A250AD1}", TKIND_COCLASS, kClass, nullptr},
      {"_DataPort", "{7B9343FC-5FF5-4B0B-B125-07D3E91B3B9B}", TKIND_DISPATCH, kDual, nullptr},
      {"DataPort", "{80470359-9076-431E-9F39-2CAC76CB6731}", TKIND_COCLASS, kClass, nullptr},
      {"_StatusPort", "{F87E2DE9-72DF-4DEE-9262-D3432FFBB073}", TKIND_DISPATCH, kDual, nullptr},
      {"StatusPort", "{E5622DC2-5A0E-4E2E-86BE-ABA429D9965B}", TKIND_COCLASS, kClass, nullptr},
      {"_ControlPort", "{2049F2E9-A2F0-4344-893E-A4DD04919A59}", TKIND_DISPATCH, kDual, nullptr},
      {"ControlPort", "{7CDDD38E-135C-4260-A201-A346945ED4A5}", TKIND_COCLASS, kClass, nullptr},
      {"_USB", "{C5D1E117-5449-4CE0-A1C4-F15111F2CC25}", TKIND_DISPATCH, kDual, nullptr},
      {"USB", "{DBDDE185-6653-4EEB-83D7-22CC0B2D6144}", TKIND_COCLASS, kClass, nullptr},
      {"_PrinterPort", "{EB9FE1EA-0341-4296-882C-BBA2390E1F98}", TKIND_DISPATCH, kDual, nullptr},
      {"PrinterPort", "{4499A2CF-1855-4A40-9702-C952A4CA8080}", TKIND_COCLASS, kClass, nullptr},
      {"_SMBusProtocall", "{207D27E5-1F98-4C70-B3DD-BCA276D65AF3}", TKIND_DISPATCH, kDual, nullptr},
      {"SMBusProtocall", "{2213E903-8F39-482F-A02E-281ED19F1745}", TKIND_COCLASS, kClass, "__SMBusProtocall"},
      {"_SMBus", "{9A3990DD-005C-4113-9B5D-722E1841F6F3}", TKIND_DISPATCH, kDual, nullptr},
      {"SMBus", "{EA17C23D-5CC5-45B3-B047-319FF905CF48}", TKIND_COCLASS, kClass, nullptr},
      {"_EEPROM", "{61E20146-C5CD-4551-A9FE-F775863C1843}", TKIND_DISPATCH, kDual, nullptr},
      {"EEPROM", "{A1C26788-C49A-44C1-B6DE-7D5B8CB825BD}", TKIND_COCLASS, kClass, "__EEPROM"},
      {"__SMBusProtocall", "{9B92E27D-77B7-4A96-A3D6-CE694A02EF48}", TKIND_DISPATCH, kEvents, nullptr},
      {"__EEPROM", "{8A90CCB6-0C46-47CF-B219-3D42E8F7816D}", TKIND_DISPATCH, kEvents, nullptr},
  };
  ASSERT_EQ(library->GetTypeInfoCount(), std::size(types));
  for (UINT i = 0; i < std::size(types); ++i) {
    const Type& t = types[i];
    SCOPED_TRACE(t.name);
    EXPECT_EQ(NameOf(library, static_cast<int>(i)), t.name);
    comrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfo(i, info.put()), S_OK);
    TYPEATTR* a = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&a), S_OK);
    EXPECT_EQ(a->guid, comrt::ParseGuid(t.guid));
    EXPECT_EQ(a->typekind, t.kind);
    EXPECT_EQ(a->wTypeFlags, t.flags);
    EXPECT_EQ(a->wMajorVerNum, 1);
    EXPECT_EQ(a->wMinorVerNum, 0);
    const WORD impl_types = a->cImplTypes;
    info->ReleaseTypeAttr(a);
    if (t.kind != TKIND_COCLASS) continue;

    ASSERT_EQ(impl_types, t.source ? 2 : 1);
    INT flags = 0;
    EXPECT_EQ(ImplementedName(info.get(), 0, &flags), std::string("_") + t.name);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    if (t.source) {
      EXPECT_EQ(ImplementedName(info.get(), 1, &flags), t.source);
      EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    }
  }

  // Members written out for the root, the placeholder, the host controller and the
  // two event interfaces: name, dispid and kind; the dual ones in vtable order
  // after IDispatch's seven.
  struct Member {
    UINT type;  // index in the library: 0 _QELRurUzoz, 8 _USB, 14 _SMBus, 18 and 19 the events
    UINT index;
    const char* name;
    MEMBERID dispid;
    INVOKEKIND kind;
  };
  const Member members[] = {
      {0, 0, "PrinterPort", 0x68030003, INVOKE_PROPERTYGET},
      {0, 1, "PrinterPort", 0x68030003, INVOKE_PROPERTYPUTREF},
      {0, 2, "USB", 0x68030002, INVOKE_PROPERTYGET},
      {0, 3, "USB", 0x68030002, INVOKE_PROPERTYPUTREF},
      {0, 4, "SMBus", 0x68030001, INVOKE_PROPERTYGET},
      {0, 5, "SMBus", 0x68030001, INVOKE_PROPERTYPUTREF},
      {0, 6, "PortType", 0x68030000, INVOKE_PROPERTYPUT},
      {0, 7, "PortType", 0x68030000, INVOKE_PROPERTYGET},
      {8, 0, "OpenUSBPort", 0x60030000, INVOKE_FUNC},
      {8, 1, "CloseUSBPort", 0x60030001, INVOKE_FUNC},
      {14, 0, "DeviceID", 0x68030003, INVOKE_PROPERTYPUT},
      {14, 1, "DeviceID", 0x68030003, INVOKE_PROPERTYGET},
      {14, 2, "SMBusBaseAddress", 0x68030002, INVOKE_PROPERTYPUT},
      {14, 3, "SMBusBaseAddress", 0x68030002, INVOKE_PROPERTYGET},
      {14, 4, "DevicePresent", 0x60030007, INVOKE_FUNC},
      {14, 5, "FrameDelay", 0x68030001, INVOKE_PROPERTYPUT},
      {14, 6, "FrameDelay", 0x68030001, INVOKE_PROPERTYGET},
      {14, 7, "PortWrite", 0x60030010, INVOKE_FUNC},
      {14, 8, "PortRead", 0x60030011, INVOKE_FUNC},
      {14, 9, "DeviceAddress", 0x68030000, INVOKE_PROPERTYPUT},
      {14, 10, "DeviceAddress", 0x68030000, INVOKE_PROPERTYGET},
      {18, 0, "SMBusProtocallError", 1, INVOKE_FUNC},
      {18, 1, "TransactionInterrupted", 2, INVOKE_FUNC},
      {19, 0, "EEPROMError", 1, INVOKE_FUNC},
  };
  for (const Member& m : members) {
    SCOPED_TRACE(NameOf(library, static_cast<int>(m.type)) + " member " + std::to_string(m.index));
    comrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfo(m.type, info.put()), S_OK);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(m.index, &f), S_OK);
    EXPECT_EQ(f->memid, m.dispid);
    EXPECT_EQ(f->invkind, m.kind);
    EXPECT_EQ(f->wFuncFlags, 0);
    if (m.type < 18) {
      EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + m.index) * sizeof(void*)));
    }
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(f->memid, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(comrt::Utf16ToUtf8(name ? name : u""), m.name);
    SysFreeString(name);
    info->ReleaseFuncDesc(f);
  }
  for (const auto& [type, count] : {std::pair{0u, 8}, {8u, 2}, {14u, 11}, {18u, 2}, {19u, 1}}) {
    comrt::ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfo(type, info.put()), S_OK);
    TYPEATTR* a = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&a), S_OK);
    EXPECT_EQ(a->cFuncs, count) << NameOf(library, static_cast<int>(type));
    info->ReleaseTypeAttr(a);
  }
}
