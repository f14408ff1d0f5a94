#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "com/typelib.h"
#include "widget_library.h"

namespace {

using comrt::ComPtr;

std::string NameOf(ITypeLib* lib, INT index) {
  comrt::Bstr name;
  lib->GetDocumentation(index, name.put(), nullptr, nullptr, nullptr);
  return name.utf8();
}

TEST(TypeLibrary, RoundTripListsTypesMembersAndFlags) {
  const std::vector<uint8_t> bytes = comrt::SerializeTypeLib(WidgetLibrary());
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(comrt::LoadTypeLibFromBytes(bytes.data(), bytes.size(), lib.put()), S_OK);

  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(attr->guid == WidgetLibrary().libid);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0u);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  EXPECT_EQ(attr->wLibFlags, 0);
  lib->ReleaseTLibAttr(attr);
  EXPECT_EQ(NameOf(lib.get(), -1), "WidgetLib");

  ASSERT_EQ(lib->GetTypeInfoCount(), 3u);
  const struct {
    const char* name;
    TYPEKIND kind;
    WORD flags;
    WORD funcs;
  } expected[] = {
      {"_Widget", TKIND_DISPATCH,
       TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
       13},
      {"Widget", TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0},
      {"__Widget", TKIND_DISPATCH, TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE, 2},
  };
  for (UINT i = 0; i < 3; ++i) {
    EXPECT_EQ(NameOf(lib.get(), static_cast<INT>(i)), expected[i].name);
    TYPEKIND kind{};
    lib->GetTypeInfoType(i, &kind);
    EXPECT_EQ(kind, expected[i].kind) << expected[i].name;
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfo(i, info.put()), S_OK);
    TYPEATTR* t = nullptr;
    info->GetTypeAttr(&t);
    EXPECT_EQ(t->wTypeFlags, expected[i].flags) << expected[i].name;
    EXPECT_EQ(t->cFuncs, expected[i].funcs) << expected[i].name;
    EXPECT_EQ(t->wMajorVerNum, 1);
    info->ReleaseTypeAttr(t);
  }

  // Members, names and dispids survive; the event is a dispatch method.
  ComPtr<ITypeInfo> widget;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(IID__Widget, widget.put()), S_OK);
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"scale"), const_cast<LPOLESTR>(u"count")};
  MEMBERID ids[2];
  ASSERT_EQ(widget->GetIDsOfNames(names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 0x60030001);
  EXPECT_EQ(ids[1], 1);
  FUNCDESC* f = nullptr;
  ASSERT_EQ(widget->GetFuncDesc(5, &f), S_OK);
  EXPECT_EQ(f->invkind, INVOKE_PROPERTYPUTREF);
  EXPECT_EQ(f->funckind, FUNC_DISPATCH);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.lptdesc->lptdesc->vt, VT_USERDEFINED);
  ComPtr<ITypeInfo> referenced;
  ASSERT_EQ(widget->GetRefTypeInfo(f->lprgelemdescParam[0].tdesc.lptdesc->lptdesc->hreftype, referenced.put()), S_OK);
  UINT index = 9;
  ComPtr<ITypeLib> container;
  referenced->GetContainingTypeLib(container.put(), &index);
  EXPECT_EQ(index, 0u) << "resolved to _Widget in the loaded library";
  widget->ReleaseFuncDesc(f);

  ComPtr<ITypeInfo> events;
  lib->GetTypeInfo(2, events.put());
  ASSERT_EQ(events->GetFuncDesc(0, &f), S_OK);
  EXPECT_EQ(f->memid, 1);
  EXPECT_EQ(f->funckind, FUNC_DISPATCH);
  EXPECT_EQ(f->cParams, 2);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_I2);
  EXPECT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_BSTR);
  events->ReleaseFuncDesc(f);

  // The class: default interface, and the events as default source.
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Widget, coclass.put()), S_OK);
  TYPEATTR* t = nullptr;
  coclass->GetTypeAttr(&t);
  EXPECT_EQ(t->cImplTypes, 2);
  coclass->ReleaseTypeAttr(t);
  const struct {
    UINT index;
    INT flags;
    const char* name;
  } impl[] = {{0, IMPLTYPEFLAG_FDEFAULT, "_Widget"}, {1, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, "__Widget"}};
  for (const auto& e : impl) {
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(e.index, &flags), S_OK);
    EXPECT_EQ(flags, e.flags);
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(e.index, &ref), S_OK);
    ComPtr<ITypeInfo> target;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, target.put()), S_OK);
    comrt::Bstr name;
    target->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(name.utf8(), e.name);
  }
  HREFTYPE ref = 0;
  EXPECT_EQ(coclass->GetRefTypeOfImplType(2, &ref), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, widget.put()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(lib->GetTypeInfo(3, widget.put()), TYPE_E_ELEMENTNOTFOUND);
}

TEST(TypeLibrary, DamagedBytesAreRefusedWithoutReadingOutside) {
  const std::vector<uint8_t> bytes = comrt::SerializeTypeLib(WidgetLibrary());
  ComPtr<ITypeLib> lib;
  // Every truncation, read from a buffer of exactly that size (the sanitizer
  // build catches a read past it).
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    const HRESULT hr = comrt::LoadTypeLibFromBytes(cut.data(), cut.size(), lib.put());
    EXPECT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT) << n;
    EXPECT_FALSE(lib);
  }
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_EQ(comrt::LoadTypeLibFromBytes(longer.data(), longer.size(), lib.put()), TYPE_E_INVDATAREAD);
  std::vector<uint8_t> hugeCount = bytes;
  // The type count follows the library header: magic, version, name, guid, versions, lcid, syskind, flags.
  const size_t countAt = 4 + 2 + 4 + std::string("WidgetLib").size() + 16 + 2 + 2 + 4 + 4 + 2;
  hugeCount[countAt + 3] = 0x7F;
  EXPECT_EQ(comrt::LoadTypeLibFromBytes(hugeCount.data(), hugeCount.size(), lib.put()), TYPE_E_INVDATAREAD);
  // A parameter type that would need a target the format cannot carry (a pointer
  // or an array written as the base type), or that is no type at all.
  for (const VARTYPE vt : std::initializer_list<VARTYPE>{VT_PTR, VT_SAFEARRAY, VT_CARRAY, 0xFFFF, VT_EMPTY}) {
    comrt::LibraryData crafted = WidgetLibrary();
    crafted.types[0].members[0].params[0].vt = vt;
    const std::vector<uint8_t> damaged = comrt::SerializeTypeLib(crafted);
    EXPECT_EQ(comrt::LoadTypeLibFromBytes(damaged.data(), damaged.size(), lib.put()), TYPE_E_INVDATAREAD) << vt;
  }
  const uint8_t other[] = {'M', 'S', 'F', 'T', 2, 0, 1, 0};
  EXPECT_EQ(comrt::LoadTypeLibFromBytes(other, sizeof other, lib.put()), TYPE_E_UNSUPFORMAT);
  EXPECT_EQ(comrt::LoadTypeLibFromBytes(bytes.data(), bytes.size(), nullptr), E_POINTER);
}

TEST(TypeLibrary, LoadTypeLibReadsTheServerFilesResource) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(comrt::Utf8ToUtf16(WIDGET_SERVER).c_str(), lib.put()), S_OK);
  ASSERT_EQ(lib->GetTypeInfoCount(), 3u);
  EXPECT_EQ(NameOf(lib.get(), 1), "Widget");
}

TEST(TypeLibrary, LoadTypeLibReadsAFile) {
  const std::string path = ::testing::TempDir() + "widget.tlb";
  const std::vector<uint8_t> bytes = comrt::SerializeTypeLib(WidgetLibrary());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(comrt::Utf8ToUtf16(path).c_str(), lib.put()), S_OK);
  EXPECT_EQ(lib->GetTypeInfoCount(), 3u);
  std::remove(path.c_str());
  EXPECT_EQ(LoadTypeLib(comrt::Utf8ToUtf16(path).c_str(), lib.put()), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(nullptr, lib.put()), E_INVALIDARG);
}

}  // namespace

// An object whose IDispatch hands every call to the type information, as dual
// objects are often written. A library read from bytes has no calls of its own,
// so the type information hands the call back to the object: the second pass is
// refused instead of recursing until the stack runs out.
struct ForwardingDispatch : IDispatch {
  ITypeInfo* info = nullptr;
  int calls = 0;
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                 UINT* argErr) override {
    ++calls;
    return info->Invoke(this, member, flags, params, result, exception, argErr);
  }
};

TEST(TypeLibrary, InvokeHandedBackByTheObjectIsRefused) {
  const std::vector<uint8_t> bytes = comrt::SerializeTypeLib(WidgetLibrary());
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(comrt::LoadTypeLibFromBytes(bytes.data(), bytes.size(), lib.put()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfo(0, info.put()), S_OK);
  ForwardingDispatch object;
  object.info = info.get();
  comrt::Variant value(SHORT{44});
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &put, 1, 1};
  EXPECT_EQ(object.Invoke(0x68030000, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object.calls, 2);
}
