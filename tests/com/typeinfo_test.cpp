#include <gtest/gtest.h>

#include "quorlink/interfaces.h"
#include "widget.h"

namespace {

using comrt::ComPtr;

std::vector<std::string> NamesOf(ITypeInfo* info, MEMBERID id) {
  BSTR names[8];
  UINT count = 0;
  EXPECT_EQ(info->GetNames(id, names, 8, &count), S_OK);
  std::vector<std::string> out;
  for (UINT i = 0; i < count; ++i) out.push_back(comrt::Bstr::Adopt(names[i]).utf8());
  return out;
}

TEST(TypeInfo, DescribesTheDeclaredInterface) {
  ComPtr<Widget> widget = comrt::Make<Widget>();
  UINT count = 0;
  widget->GetTypeInfoCount(&count);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(widget->GetTypeInfo(0, 0, info.put()), S_OK);
  EXPECT_EQ(widget->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
  ASSERT_EQ(widget->GetTypeInfo(0, 0, info.put()), S_OK);

  // The dispatch view: members as IDispatch sees them, the retval as the result.
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(attr->guid == IID__Widget);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 13);
  EXPECT_EQ(attr->cbSizeVft, 7 * 8);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                                  TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(attr->cImplTypes, 1);
  info->ReleaseTypeAttr(attr);

  // The vtable view, from the dispatch view's implemented type -1.
  HREFTYPE vtableRef = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef), S_OK);
  ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(info->GetRefTypeInfo(vtableRef, vtable.put()), S_OK);
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(attr->guid == IID__Widget);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cFuncs, 13);
  EXPECT_EQ(attr->cbSizeVft, (7 + 13) * 8);
  EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FDUAL, TYPEFLAG_FDUAL);
  vtable->ReleaseTypeAttr(attr);
  HREFTYPE unused = 0;
  EXPECT_EQ(vtable->GetRefTypeOfImplType(static_cast<UINT>(-1), &unused), TYPE_E_ELEMENTNOTFOUND);

  struct Expected {
    UINT index;
    MEMBERID id;
    INVOKEKIND kind;
    SHORT params;  // in the vtable view; the dispatch view has the retval as its result
    SHORT slot;
    VARTYPE result;  // of the dispatch view
  } expected[] = {
      {0, 0x68030000, INVOKE_PROPERTYGET, 1, 7, VT_I2},
      {1, 0x68030000, INVOKE_PROPERTYPUT, 1, 8, VT_VOID},
      {5, 0x68030002, INVOKE_PROPERTYPUTREF, 1, 12, VT_VOID},
      {7, 0x60030001, INVOKE_FUNC, 3, 14, VT_R4},
  };
  for (const auto& e : expected) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(e.index, &f), S_OK);
    EXPECT_EQ(f->memid, e.id);
    EXPECT_EQ(f->invkind, e.kind);
    EXPECT_EQ(f->cParams, e.params);
    EXPECT_EQ(f->oVft, e.slot * 8);
    EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
    vtable->ReleaseFuncDesc(f);
    ASSERT_EQ(info->GetFuncDesc(e.index, &f), S_OK);
    EXPECT_EQ(f->memid, e.id);
    EXPECT_EQ(f->invkind, e.kind);
    EXPECT_EQ(f->cParams, e.result == VT_VOID ? e.params : e.params - 1);
    EXPECT_EQ(f->funckind, FUNC_DISPATCH);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, e.result);
    info->ReleaseFuncDesc(f);
  }
  FUNCDESC* f = nullptr;
  EXPECT_EQ(info->GetFuncDesc(13, &f), TYPE_E_ELEMENTNOTFOUND);

  // Scale(float Factor, LONG Count, float* retval)
  ASSERT_EQ(vtable->GetFuncDesc(7, &f), S_OK);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_R4);
  EXPECT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_I4);
  EXPECT_EQ(f->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_FIN);
  EXPECT_EQ(f->lprgelemdescParam[2].tdesc.vt, VT_PTR);
  EXPECT_EQ(f->lprgelemdescParam[2].tdesc.lptdesc->vt, VT_R4);
  EXPECT_EQ(f->lprgelemdescParam[2].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
  vtable->ReleaseFuncDesc(f);
  // Child's getter in the dispatch view: the result is the interface pointer.
  ASSERT_EQ(info->GetFuncDesc(4, &f), S_OK);
  EXPECT_EQ(f->cParams, 0);
  ASSERT_EQ(f->elemdescFunc.tdesc.vt, VT_PTR);
  EXPECT_EQ(f->elemdescFunc.tdesc.lptdesc->vt, VT_USERDEFINED);
  info->ReleaseFuncDesc(f);
  // Enabled's setter: VARIANT_BOOL, though the C++ type is short.
  ASSERT_EQ(info->GetFuncDesc(3, &f), S_OK);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BOOL);
  info->ReleaseFuncDesc(f);

  // Child's setter: _Widget** -> VT_PTR, VT_PTR, the interface itself.
  ASSERT_EQ(info->GetFuncDesc(5, &f), S_OK);
  const TYPEDESC* inner = f->lprgelemdescParam[0].tdesc.lptdesc;
  ASSERT_EQ(inner->vt, VT_PTR);
  ASSERT_EQ(inner->lptdesc->vt, VT_USERDEFINED);
  EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
  ComPtr<ITypeInfo> referenced;
  ASSERT_EQ(info->GetRefTypeInfo(inner->lptdesc->hreftype, referenced.put()), S_OK);
  comrt::Bstr name;
  referenced->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
  EXPECT_EQ(name.utf8(), "_Widget");
  info->ReleaseFuncDesc(f);

  EXPECT_EQ(NamesOf(vtable.get(), 0x60030001), (std::vector<std::string>{"Scale", "Factor", "Count", "retval"}));
  EXPECT_EQ(NamesOf(info.get(), 0x60030001), (std::vector<std::string>{"Scale", "Factor", "Count"}));
  EXPECT_EQ(NamesOf(vtable.get(), 0x68030001), (std::vector<std::string>{"Enabled", "retval"}))
      << "a property answers with its getter; the setter's value has no name";
  BSTR noName;
  UINT n = 0;
  EXPECT_EQ(info->GetNames(0x12345, &noName, 1, &n), TYPE_E_ELEMENTNOTFOUND);

  LPOLESTR names[] = {const_cast<LPOLESTR>(u"DESCRIBE"), const_cast<LPOLESTR>(u"value")};
  MEMBERID ids[2];
  ASSERT_EQ(info->GetIDsOfNames(names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 0x60030006);
  EXPECT_EQ(ids[1], 0);

  HREFTYPE base = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(0, &base), S_OK);
  ComPtr<ITypeInfo> dispatch;
  ASSERT_EQ(info->GetRefTypeInfo(base, dispatch.put()), S_OK);
  ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(attr->guid == IID_IDispatch);
  dispatch->ReleaseTypeAttr(attr);

  ComPtr<ITypeLib> library;
  UINT index = 9;
  ASSERT_EQ(info->GetContainingTypeLib(library.put(), &index), S_OK);
  EXPECT_EQ(index, 0u);
}

TEST(TypeInfo, InvokeThroughTheTypeInfo) {
  ComPtr<Widget> widget = comrt::Make<Widget>();
  ComPtr<ITypeInfo> info;
  widget->GetTypeInfo(0, 0, info.put());
  comrt::Variant value(SHORT{44});
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &put, 1, 1};
  ASSERT_EQ(info->Invoke(static_cast<_Widget*>(widget.get()), 0x68030000, DISPATCH_PROPERTYPUT, &params, nullptr,
                         nullptr, nullptr),
            S_OK);
  EXPECT_EQ(widget->level, 44);
}

// The system's own declarations: every interface builds, with its members in order.
TEST(Declarations, TheLibraryInterfacesBuild) {
  struct Expected {
    const comrt::TypeData& type;
    size_t members;
    const char* first;
    const char* last;
  } expected[] = {
      {comrt::InfoOf<_QELRurUzoz>(), 8, "PrinterPort", "PortType"},
      {comrt::InfoOf<_DataPort>(), 2, "Value", "Value"},
      {comrt::InfoOf<_StatusPort>(), 2, "Value", "Value"},
      {comrt::InfoOf<_ControlPort>(), 2, "Value", "Value"},
      {comrt::InfoOf<_USB>(), 2, "OpenUSBPort", "CloseUSBPort"},
      {comrt::InfoOf<_PrinterPort>(), 21, "LockPortOpen", "ControlPort"},
      {comrt::InfoOf<_SMBusProtocall>(), 60, "FinalPEC", "GetPECData"},
      {comrt::InfoOf<_SMBus>(), 11, "DeviceID", "DeviceAddress"},
      {comrt::InfoOf<_EEPROM>(), 13, "FrameDelay", "SetEEPROMAddress"},
      {comrt::InfoOf<__SMBusProtocall>(), 2, "SMBusProtocallError", "TransactionInterrupted"},
      {comrt::InfoOf<__EEPROM>(), 1, "EEPROMError", "EEPROMError"},
  };
  for (const auto& e : expected) {
    ASSERT_EQ(e.type.members.size(), e.members) << e.type.name;
    EXPECT_EQ(e.type.members.front().name, e.first) << e.type.name;
    EXPECT_EQ(e.type.members.back().name, e.last) << e.type.name;
    for (const auto& m : e.type.members)
      for (const auto& p : m.params)
        if (p.vt == VT_USERDEFINED) {
          EXPECT_NE(p.ref, nullptr) << e.type.name << "." << m.name;
        }
  }
  const comrt::TypeData& bus = comrt::InfoOf<_SMBusProtocall>();
  EXPECT_TRUE(bus.guid == IID__SMBusProtocall);
  const comrt::MemberInfo* shortWrite = bus.FindByName(u"shortwrite");
  ASSERT_NE(shortWrite, nullptr);
  EXPECT_EQ(shortWrite->dispid, 0x60030014);
  EXPECT_EQ(shortWrite->slot, 7 + 10);
  const comrt::MemberInfo* writeData = bus.Find(0x60030024, DISPATCH_METHOD);
  ASSERT_NE(writeData, nullptr);
  EXPECT_FALSE(writeData->params[0].retval) << "float* Data is in/out, not the result";
  EXPECT_EQ(bus.Find(0x40030007, DISPATCH_PROPERTYGET)->params[0].vt, VT_I2);
  EXPECT_EQ(bus.Find(0x68030011, DISPATCH_PROPERTYPUT)->params[0].vt, VT_BOOL);
  EXPECT_EQ(comrt::InfoOf<__SMBusProtocall>().members[0].params[1].vt, VT_BSTR);
  EXPECT_EQ(__SMBusProtocall::dispid_SMBusProtocallError, 1);
  EXPECT_TRUE(LIBID_QELCom == comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"));
  EXPECT_EQ(CLSID_EEPROM.Data1, 0xA1C26788u);
}

TEST(Declarations, MistakesAreReported) {
  const comrt::MemberDecl bad[] = {
      {comrt::MemberKind::PropPut, "X", 1, "(short a, short b)", nullptr, nullptr, 0},
      {comrt::MemberKind::PropGet, "X", 1, "(short* value)", nullptr, nullptr, 0},
      {comrt::MemberKind::Method, "X", 1, "(short retval)", nullptr, nullptr, 0},
      {comrt::MemberKind::Method, "X", 1, "short a", nullptr, nullptr, 0},
  };
  for (const auto& d : bad)
    EXPECT_THROW(comrt::BuildType("_Bad", GUID_NULL, comrt::TypeKind::Dual, {d}), std::logic_error) << d.params;
}

}  // namespace
