#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "com/boundary.h"
#include "com/dispatch.h"
#include "com/implements.h"
#include "com/variant.h"

namespace comrt {

namespace {

// References to types of the built-in library (IUnknown, IDispatch) carry this bit;
// a reference to the vtable view of a dual interface carries the other.
constexpr HREFTYPE kBuiltinRef = 0x10000;
constexpr HREFTYPE kVtableRef = 0x20000;
// GetRefTypeOfImplType's index for the vtable view of a dual interface.
constexpr UINT kVtableImplType = 0xFFFFFFFF;

const LibraryData& BuiltinLibraryData() {
  static const LibraryData data = [] {
    LibraryData lib;
    lib.name = "stdole";
    lib.libid = LIBID_stdole;
    lib.major = 2;
    lib.minor = 0;
    TypeData unknown;
    unknown.name = "IUnknown";
    unknown.guid = IID_IUnknown;
    unknown.kind = TypeKind::Interface;
    unknown.flags = TYPEFLAG_FHIDDEN;
    unknown.major = 0;
    TypeData dispatch = unknown;
    dispatch.name = "IDispatch";
    dispatch.guid = IID_IDispatch;
    dispatch.base = "IUnknown";
    lib.types = {unknown, dispatch};
    return lib;
  }();
  return data;
}

ComPtr<ITypeLib> BuiltinLibrary();

BSTR NewBstr(std::string_view text) {
  BSTR s = AllocBstr(text);
  return s;
}

// A dual interface has two views, as a loaded library describes it: the dispatch
// view (TKIND_DISPATCH, members as IDispatch sees them: the result of a member is
// its retval, not an HRESULT), which the library and objects hand out, and the
// vtable view (TKIND_INTERFACE, the members as C++ declares them), reached from
// the dispatch view through GetRefTypeOfImplType(-1).
class TypeInfo final : public Implements<ITypeInfo> {
 public:
  TypeInfo(ComPtr<ITypeLib> owner, const LibraryData& library, UINT index, bool vtableView = false)
      : owner_(std::move(owner)),
        library_(library),
        index_(index),
        type_(library.types[index]),
        vtableView_(vtableView && type_.kind == TypeKind::Dual) {}

  HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) override {
    if (ppTypeAttr == nullptr) return E_INVALIDARG;
    auto* a = new (std::nothrow) TYPEATTR{};
    if (a == nullptr) return E_OUTOFMEMORY;
    a->guid = type_.guid;
    a->lcid = library_.lcid;
    a->memidConstructor = MEMBERID_NIL;
    a->memidDestructor = MEMBERID_NIL;
    a->cbSizeInstance = sizeof(void*);
    a->cbAlignment = alignof(void*);
    a->wTypeFlags = type_.flags;
    a->wMajorVerNum = type_.major;
    a->wMinorVerNum = type_.minor;
    a->cImplTypes = static_cast<WORD>(ImplCount());
    switch (type_.kind) {
      case TypeKind::Dual:
        a->typekind = vtableView_ ? TKIND_INTERFACE : TKIND_DISPATCH;
        a->cFuncs = static_cast<WORD>(type_.members.size());
        a->cbSizeVft = static_cast<WORD>((7 + (vtableView_ ? type_.members.size() : 0)) * sizeof(void*));
        break;
      case TypeKind::DispInterface:
        a->typekind = TKIND_DISPATCH;
        a->cFuncs = static_cast<WORD>(type_.members.size());
        a->cbSizeVft = 7 * sizeof(void*);
        break;
      case TypeKind::CoClass:
        a->typekind = TKIND_COCLASS;
        break;
      case TypeKind::Interface:
        a->typekind = TKIND_INTERFACE;
        a->cbSizeVft = static_cast<WORD>((type_.name == "IDispatch" ? 7 : 3) * sizeof(void*));
        break;
    }
    *ppTypeAttr = a;
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* p) override { delete p; }

  HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override {
    if (ppFuncDesc == nullptr) return E_INVALIDARG;
    *ppFuncDesc = nullptr;
    if (index >= type_.members.size()) return TYPE_E_ELEMENTNOTFOUND;
    const MemberInfo& m = type_.members[index];
    const ParamInfo* retval = vtableView_ ? nullptr : m.Retval();
    const size_t count = retval ? m.params.size() - 1 : m.params.size();
    auto block = std::make_unique<FuncDescBlock>();
    FUNCDESC& f = block->desc;
    f.memid = m.dispid;
    f.funckind = vtableView_ ? FUNC_PUREVIRTUAL : FUNC_DISPATCH;
    f.invkind = static_cast<INVOKEKIND>(m.kind);
    f.callconv = CC_STDCALL;
    f.cParams = static_cast<SHORT>(count);
    // Both views of a dual interface give the member's vtable entry.
    f.oVft = type_.kind == TypeKind::Dual ? static_cast<SHORT>(m.slot * sizeof(void*)) : 0;
    block->params = new ELEMDESC[count + 1]{};
    block->types = new TYPEDESC[3 * (m.params.size() + 1)]{};
    size_t nextType = 0;
    // The chain VT_PTR -> ... -> base, built in the block's own TYPEDESCs; the
    // result of the dispatch view is what its retval points at.
    auto describe = [&](const ParamInfo& p, int indirection, TYPEDESC* at) {
      for (int k = 0; k < indirection && k < 2; ++k) {
        at->vt = VT_PTR;
        at->lptdesc = &block->types[nextType++];
        at = at->lptdesc;
      }
      at->vt = p.vt;
      if (p.vt == VT_USERDEFINED) at->hreftype = RefOf(p.typeName);
    };
    if (vtableView_) {
      f.elemdescFunc.tdesc.vt = VT_HRESULT;
    } else if (retval) {
      describe(*retval, retval->indirection - 1, &f.elemdescFunc.tdesc);
    } else {
      f.elemdescFunc.tdesc.vt = VT_VOID;
    }
    for (size_t i = 0; i < count; ++i) {
      const ParamInfo& p = m.params[i];
      ELEMDESC& e = block->params[i];
      describe(p, p.indirection, &e.tdesc);
      if (p.retval) {
        e.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
      } else if (p.indirection > 0) {
        e.paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOUT;
      } else {
        e.paramdesc.wParamFlags = PARAMFLAG_FIN;
      }
    }
    f.lprgelemdescParam = block->params;
    *ppFuncDesc = &block.release()->desc;
    return S_OK;
  }
  void ReleaseFuncDesc(FUNCDESC* p) override { delete reinterpret_cast<FuncDescBlock*>(p); }

  HRESULT GetVarDesc(UINT, VARDESC** ppVarDesc) override {
    if (ppVarDesc) *ppVarDesc = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  void ReleaseVarDesc(VARDESC*) override {}

  HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override {
    if (rgBstrNames == nullptr || pcNames == nullptr) return E_INVALIDARG;
    const MemberInfo* m = ByDispid(memid);
    if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    return Boundary("", GUID_NULL, [&] {
      std::vector<const std::string*> names{&m->name};
      for (const ParamInfo& p : m->params)
        if (!p.name.empty() && (vtableView_ || !p.retval)) names.push_back(&p.name);
      UINT n = 0;
      for (; n < names.size() && n < cMaxNames; ++n) rgBstrNames[n] = NewBstr(*names[n]);
      *pcNames = n;
    });
  }

  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override {
    if (pRefType == nullptr) return E_INVALIDARG;
    if (index == kVtableImplType && type_.kind == TypeKind::Dual && !vtableView_) {
      *pRefType = kVtableRef | index_;
      return S_OK;
    }
    if (index >= ImplCount()) return TYPE_E_ELEMENTNOTFOUND;
    if (type_.kind == TypeKind::CoClass) {
      *pRefType = RefOf(index == 0 ? type_.defaultInterface : type_.sourceInterface);
    } else {
      *pRefType = RefOf(type_.base);
    }
    return S_OK;
  }

  HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
    if (pImplTypeFlags == nullptr) return E_INVALIDARG;
    if (index >= ImplCount()) return TYPE_E_ELEMENTNOTFOUND;
    *pImplTypeFlags = type_.kind != TypeKind::CoClass ? 0
                      : index == 0                    ? IMPLTYPEFLAG_FDEFAULT
                                                      : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    return S_OK;
  }

  HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
    return DispatchGetIDsOfNames(type_, rgszNames, cNames, pMemId);
  }

  HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                 EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
    if (pvInstance == nullptr) return E_INVALIDARG;
    if (type_.kind != TypeKind::Dual) return E_NOTIMPL;
    const MemberInfo* member = type_.Find(memid, wFlags);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
    auto* instance = static_cast<IDispatch*>(pvInstance);
    if (member->call != nullptr)
      return DispatchInvoke(instance, type_, memid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    // A library read from a file has no calls of its own: the instance of a dual
    // interface reaches the same member through its IDispatch entry. An instance
    // whose IDispatch hands the call back here has no other way to it, and the
    // second pass on the thread refuses it instead of recursing.
    thread_local const void* forwarding = nullptr;
    if (forwarding == pvInstance) return DISP_E_MEMBERNOTFOUND;
    const void* const outer = std::exchange(forwarding, pvInstance);
    const HRESULT result =
        instance->Invoke(memid, IID_NULL, library_.lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    forwarding = outer;
    return result;
  }

  HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                           BSTR* pBstrHelpFile) override {
    const std::string* name = &type_.name;
    if (memid != MEMBERID_NIL) {
      const MemberInfo* m = ByDispid(memid);
      if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
      name = &m->name;
    }
    return Boundary("", GUID_NULL, [&] {
      if (pBstrName) *pBstrName = NewBstr(*name);
      if (pBstrDocString) *pBstrDocString = nullptr;
      if (pdwHelpContext) *pdwHelpContext = 0;
      if (pBstrHelpFile) *pBstrHelpFile = nullptr;
    });
  }

  HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (hRefType & kBuiltinRef) return BuiltinLibrary()->GetTypeInfo(hRefType & ~kBuiltinRef, ppTInfo);
    if (hRefType & kVtableRef) {
      const UINT index = hRefType & ~kVtableRef;
      if (index >= library_.types.size() || library_.types[index].kind != TypeKind::Dual)
        return TYPE_E_ELEMENTNOTFOUND;
      *ppTInfo = new (std::nothrow) TypeInfo(owner_, library_, index, true);
      return *ppTInfo ? S_OK : E_OUTOFMEMORY;
    }
    return owner_->GetTypeInfo(hRefType, ppTInfo);
  }

  HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override {
    if (ppTLib == nullptr) return E_INVALIDARG;
    *ppTLib = ComPtr<ITypeLib>(owner_).detach();
    if (pIndex) *pIndex = index_;
    return S_OK;
  }

  HRESULT GetTypeComp(ITypeComp** ppTComp) override {
    if (ppTComp) *ppTComp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
  }
  HRESULT CreateInstance(IUnknown*, REFIID, void** ppvObj) override {
    if (ppvObj) *ppvObj = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetMops(MEMBERID, BSTR* pBstrMops) override {
    if (pBstrMops) *pBstrMops = nullptr;
    return E_NOTIMPL;
  }

 private:
  // FUNCDESC comes first so that the pointer handed out is the block's.
  struct FuncDescBlock {
    FUNCDESC desc{};
    ELEMDESC* params = nullptr;
    TYPEDESC* types = nullptr;
    ~FuncDescBlock() {
      delete[] params;
      delete[] types;
    }
  };
  static_assert(offsetof(FuncDescBlock, desc) == 0);

  UINT ImplCount() const {
    if (type_.kind == TypeKind::CoClass) return type_.sourceInterface.empty() ? 1 : 2;
    return type_.base.empty() ? 0 : 1;
  }

  const MemberInfo* ByDispid(MEMBERID memid) const {
    for (const MemberInfo& m : type_.members)
      if (m.dispid == memid) return &m;
    return nullptr;
  }

  HREFTYPE RefOf(const std::string& name) const {
    const int own = library_.IndexOf(name);
    if (own >= 0) return static_cast<HREFTYPE>(own);
    const int builtin = BuiltinLibraryData().IndexOf(name);
    if (builtin >= 0) return kBuiltinRef | static_cast<HREFTYPE>(builtin);
    return 0xFFFFFFFF;  // GetRefTypeInfo answers TYPE_E_ELEMENTNOTFOUND
  }

  ComPtr<ITypeLib> owner_;
  const LibraryData& library_;  // owned by owner_
  UINT index_;
  const TypeData& type_;
  bool vtableView_;
};

class TypeLib final : public Implements<ITypeLib> {
 public:
  TypeLib(std::shared_ptr<const LibraryData> data, ComPtr<IUnknown> module)
      : shared_(std::move(data)), data_(*shared_), module_(std::move(module)) {}

  UINT GetTypeInfoCount() override { return static_cast<UINT>(data_.types.size()); }

  HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (index >= data_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *ppTInfo = new (std::nothrow) TypeInfo(ComPtr<ITypeLib>(this), data_, index);
    return *ppTInfo ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
    if (pTKind == nullptr) return E_INVALIDARG;
    if (index >= data_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
    switch (data_.types[index].kind) {
      case TypeKind::CoClass:
        *pTKind = TKIND_COCLASS;
        break;
      case TypeKind::Interface:
        *pTKind = TKIND_INTERFACE;
        break;
      default:
        *pTKind = TKIND_DISPATCH;
    }
    return S_OK;
  }

  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
    if (ppTinfo == nullptr) return E_INVALIDARG;
    *ppTinfo = nullptr;
    for (UINT i = 0; i < data_.types.size(); ++i)
      if (data_.types[i].guid == guid) return GetTypeInfo(i, ppTinfo);
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) override {
    if (ppTLibAttr == nullptr) return E_INVALIDARG;
    auto* a = new (std::nothrow) TLIBATTR{};
    if (a == nullptr) return E_OUTOFMEMORY;
    a->guid = data_.libid;
    a->lcid = data_.lcid;
    a->syskind = data_.syskind;
    a->wMajorVerNum = data_.major;
    a->wMinorVerNum = data_.minor;
    a->wLibFlags = data_.flags;
    *ppTLibAttr = a;
    return S_OK;
  }
  void ReleaseTLibAttr(TLIBATTR* p) override { delete p; }

  HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                           BSTR* pBstrHelpFile) override {
    if (index != -1 && (index < 0 || static_cast<size_t>(index) >= data_.types.size())) return TYPE_E_ELEMENTNOTFOUND;
    const std::string& name = index == -1 ? data_.name : data_.types[index].name;
    return Boundary("", GUID_NULL, [&] {
      if (pBstrName) *pBstrName = NewBstr(name);
      if (pBstrDocString) *pBstrDocString = nullptr;
      if (pdwHelpContext) *pdwHelpContext = 0;
      if (pBstrHelpFile) *pBstrHelpFile = nullptr;
    });
  }

  HRESULT IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override {
    if (szNameBuf == nullptr || pfName == nullptr) return E_INVALIDARG;
    *pfName = FALSE;
    for (const TypeData& t : data_.types) {
      if (NamesEqual(szNameBuf, t.name) || t.FindByName(szNameBuf)) *pfName = TRUE;
    }
    return S_OK;
  }

  HRESULT FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* pcFound) override {
    if (pcFound) *pcFound = 0;
    return E_NOTIMPL;
  }

  HRESULT GetTypeComp(ITypeComp** ppTComp) override {
    if (ppTComp) *ppTComp = nullptr;
    return E_NOTIMPL;
  }

 private:
  std::shared_ptr<const LibraryData> shared_;
  const LibraryData& data_;
  ComPtr<IUnknown> module_;  // keeps the server that handed this library out loaded
};

ComPtr<ITypeLib> BuiltinLibrary() { return CreateTypeLib(BuiltinLibraryData()); }

}  // namespace

ComPtr<ITypeLib> CreateTypeLib(LibraryData library) {
  return CreateTypeLib(std::make_shared<const LibraryData>(std::move(library)), nullptr);
}

ComPtr<ITypeLib> CreateTypeLib(std::shared_ptr<const LibraryData> library, ComPtr<IUnknown> module) {
  return ComPtr<ITypeLib>::Adopt(new TypeLib(std::move(library), std::move(module)));
}

ComPtr<ITypeInfo> TypeInfoOfDeclaration(const TypeData& root, ComPtr<IUnknown> module) {
  LibraryData library;
  library.name = root.name;
  std::vector<const TypeData*> pending{&root};
  std::set<std::string> seen{root.name};
  while (!pending.empty()) {
    const TypeData* t = pending.back();
    pending.pop_back();
    library.types.push_back(*t);
    for (const MemberInfo& m : t->members)
      for (const ParamInfo& p : m.params)
        if (p.ref && seen.insert(p.typeName).second) pending.push_back(&p.ref());
  }
  ComPtr<ITypeInfo> info;
  CreateTypeLib(std::make_shared<const LibraryData>(std::move(library)), std::move(module))->GetTypeInfo(0, info.put());
  return info;
}

}  // namespace comrt
