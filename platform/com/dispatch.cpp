#include "com/dispatch.h"

#include <cstring>
#include <new>

#include "com/variant.h"

namespace comrt {

HRESULT DispatchGetIDsOfNames(const TypeData& type, LPOLESTR* names, UINT count, DISPID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  const MemberInfo* member = names[0] ? type.FindByName(names[0]) : nullptr;
  ids[0] = member ? member->dispid : DISPID_UNKNOWN;
  if (!member) hr = DISP_E_UNKNOWNNAME;
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (member && names[i]) {
      for (size_t k = 0; k < member->params.size(); ++k)
        if (!member->params[k].name.empty() && NamesEqual(names[i], member->params[k].name))
          ids[i] = static_cast<DISPID>(k);
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

void FillExcepInfo(EXCEPINFO* excepInfo, HRESULT hr) {
  std::memset(excepInfo, 0, sizeof *excepInfo);
  excepInfo->scode = hr;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK) {
    info->GetSource(&excepInfo->bstrSource);
    info->GetDescription(&excepInfo->bstrDescription);
    info->GetHelpFile(&excepInfo->bstrHelpFile);
    info->GetHelpContext(&excepInfo->dwHelpContext);
  }
}

namespace {

bool IsInterface(const ParamInfo& p) {
  return p.vt == VT_USERDEFINED || p.vt == VT_DISPATCH || p.vt == VT_UNKNOWN;
}

// Interface pointers obtained for arguments, released after the call.
struct HeldInterfaces {
  std::vector<IUnknown*> pointers;
  ~HeldInterfaces() {
    for (IUnknown* p : pointers)
      if (p) p->Release();
  }
};

HRESULT Coerce(const ParamInfo& p, const VARIANT& arg, Variant& prepared, Variant& local, IUnknown*& held) {
  if (IsInterface(p)) {
    if (p.indirection < 1 || p.indirection > 2) return DISP_E_TYPEMISMATCH;
    Variant object;
    HRESULT hr = VariantCopyInd(&object, &arg);
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
    if (object.vt != VT_DISPATCH && object.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (object.punkVal != nullptr) {
      const IID& iid = p.ref ? p.ref().guid : p.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
      if (FAILED(object.punkVal->QueryInterface(iid, reinterpret_cast<void**>(&held)))) return DISP_E_TYPEMISMATCH;
    }
    prepared.vt = VT_BYREF;
    prepared.byref = p.indirection == 2 ? static_cast<void*>(&held) : static_cast<void*>(held);
    return S_OK;
  }
  if (p.indirection > 1) return DISP_E_TYPEMISMATCH;
  if (p.indirection == 0) {
    const HRESULT hr = p.vt == VT_VARIANT ? VariantCopyInd(&prepared, &arg) : VariantChangeType(&prepared, &arg, 0, p.vt);
    return FAILED(hr) && hr != E_OUTOFMEMORY && hr != DISP_E_OVERFLOW ? DISP_E_TYPEMISMATCH : hr;
  }
  // In/out by reference: the caller's own storage when it passed a reference of
  // the declared type, otherwise a coerced copy whose changes go nowhere.
  prepared.vt = VT_BYREF;
  if (arg.vt == (VT_BYREF | p.vt) && arg.byref != nullptr) {
    prepared.byref = arg.byref;
    return S_OK;
  }
  const HRESULT hr = p.vt == VT_VARIANT ? VariantCopyInd(&local, &arg) : VariantChangeType(&local, &arg, 0, p.vt);
  if (FAILED(hr)) return hr != E_OUTOFMEMORY && hr != DISP_E_OVERFLOW ? DISP_E_TYPEMISMATCH : hr;
  prepared.byref = p.vt == VT_VARIANT ? static_cast<void*>(&local) : static_cast<void*>(&local.llVal);
  return S_OK;
}

VARTYPE ResultType(const ParamInfo& p) {
  if (p.vt == VT_USERDEFINED) return VT_DISPATCH;
  return p.vt;
}

}  // namespace

HRESULT DispatchInvoke(IDispatch* self, const TypeData& type, DISPID dispid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  try {
    const MemberInfo* member = type.Find(dispid, flags);
    if (member == nullptr || member->call == nullptr) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) params = &none;
    if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
    const bool setter = member->kind == MemberKind::PropPut || member->kind == MemberKind::PropPutRef;
    if (params->cNamedArgs > 0) {
      if (!setter) return DISP_E_NONAMEDARGS;
      if (params->cNamedArgs != 1 || params->rgdispidNamedArgs == nullptr ||
          params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;
    }
    const size_t inCount = member->InCount();
    if (params->cArgs != inCount) return DISP_E_BADPARAMCOUNT;

    const size_t n = member->params.size();
    std::vector<Variant> prepared(n);
    std::vector<Variant> locals(n);
    HeldInterfaces held;
    held.pointers.assign(n, nullptr);
    for (size_t j = 0; j < inCount; ++j) {
      const UINT position = static_cast<UINT>(params->cArgs - 1 - j);
      const HRESULT hr = Coerce(member->params[j], params->rgvarg[position], prepared[j], locals[j], held.pointers[j]);
      if (FAILED(hr)) {
        if (argErr) *argErr = position;
        return hr;
      }
    }
    Variant out;
    const ParamInfo* retval = member->Retval();
    if (retval) {
      prepared[n - 1].vt = VT_BYREF;
      prepared[n - 1].byref = retval->vt == VT_VARIANT ? static_cast<void*>(&out) : static_cast<void*>(&out.llVal);
    }
    const HRESULT hr = member->call(self, prepared.data());
    if (FAILED(hr)) {
      if (excepInfo == nullptr) return hr;
      FillExcepInfo(excepInfo, hr);
      return DISP_E_EXCEPTION;
    }
    if (retval && retval->vt != VT_VARIANT) out.vt = ResultType(*retval);
    if (result) {
      VariantClear(result);
      out.Detach(result);
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace comrt
