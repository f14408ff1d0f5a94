#include "com/dispatch.h"

#include <cstring>
#include <new>

#include "com/boundary.h"
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

// Up to kMaxInvokeParams VARIANTs on the stack, so that a call with scalar
// arguments allocates nothing; the first `count` are initialised and cleared.
class Slots {
 public:
  explicit Slots(size_t count) : count_(count) {
    for (size_t i = 0; i < count_; ++i) v_[i] = VARIANT{};
  }
  ~Slots() {
    for (size_t i = 0; i < count_; ++i)
      if (HoldsResources(v_[i].vt)) VariantClear(&v_[i]);
  }
  Slots(const Slots&) = delete;
  Slots& operator=(const Slots&) = delete;
  VARIANT& operator[](size_t i) { return v_[i]; }
  VARIANT* data() { return v_; }

 private:
  VARIANT v_[kMaxInvokeParams];
  size_t count_;
};

// Interface pointers obtained for arguments, released after the call.
struct HeldInterfaces {
  IUnknown* pointers[kMaxInvokeParams] = {};
  ~HeldInterfaces() {
    for (IUnknown* p : pointers)
      if (p) p->Release();
  }
};

// A coercion's failure as Invoke reports it: what the argument's type or value
// makes impossible is a type mismatch, except a type that is no type at all.
HRESULT CoercionFailure(HRESULT hr) {
  return hr == E_OUTOFMEMORY || hr == DISP_E_OVERFLOW || hr == DISP_E_BADVARTYPE ? hr : DISP_E_TYPEMISMATCH;
}

HRESULT Coerce(const ParamInfo& p, const VARIANT& arg, VARIANT& prepared, VARIANT& local, IUnknown*& held) {
  if (!IsValidVariant(arg)) return DISP_E_BADVARTYPE;
  // The argument a caller leaves out; every parameter here is required.
  if (arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND) return DISP_E_PARAMNOTOPTIONAL;
  if (IsInterface(p)) {
    if (p.indirection < 1 || p.indirection > 2) return DISP_E_TYPEMISMATCH;
    Variant object;
    HRESULT hr = VariantCopyInd(&object, &arg);
    if (FAILED(hr)) return CoercionFailure(hr);
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
  if (p.indirection == 0 && arg.vt == p.vt && !HoldsResources(arg.vt)) {
    prepared = arg;  // already the declared type, and owning nothing
    return S_OK;
  }
  if (p.indirection == 0) {
    const HRESULT hr = p.vt == VT_VARIANT ? VariantCopyInd(&prepared, &arg) : VariantChangeType(&prepared, &arg, 0, p.vt);
    return FAILED(hr) ? CoercionFailure(hr) : hr;
  }
  // In/out by reference: the caller's own storage when it passed a reference of
  // the declared type, otherwise a coerced copy whose changes go nowhere.
  prepared.vt = VT_BYREF;
  if (arg.vt == (VT_BYREF | p.vt) && arg.byref != nullptr) {
    prepared.byref = arg.byref;
    return S_OK;
  }
  const HRESULT hr = p.vt == VT_VARIANT ? VariantCopyInd(&local, &arg) : VariantChangeType(&local, &arg, 0, p.vt);
  if (FAILED(hr)) return CoercionFailure(hr);
  prepared.byref = p.vt == VT_VARIANT ? static_cast<void*>(&local) : static_cast<void*>(&local.llVal);
  return S_OK;
}

VARTYPE ResultType(const ParamInfo& p) {
  if (p.vt == VT_USERDEFINED) return VT_DISPATCH;
  return p.vt;
}

// Where each in-parameter's argument is in rgvarg. Positional arguments come
// last-first at the end of rgvarg; the first cNamedArgs entries are named by
// rgdispidNamedArgs: a parameter's position, or DISPID_PROPERTYPUT for the value
// of a property setter. A name that is no parameter, or one already given, is
// DISP_E_PARAMNOTFOUND with *argErr at it; any parameter left without an
// argument (or an argument too many) is DISP_E_BADPARAMCOUNT.
HRESULT PlaceArguments(const MemberInfo& member, const DISPPARAMS& params, UINT* source, UINT* argErr) {
  const size_t inCount = member.InCount();
  const bool setter = member.kind == MemberKind::PropPut || member.kind == MemberKind::PropPutRef;
  const UINT named = params.cNamedArgs;
  const UINT positional = params.cArgs - named;
  bool given[kMaxInvokeParams] = {};
  for (UINT i = 0; i < named; ++i) {
    const DISPID id = params.rgdispidNamedArgs[i];
    size_t j = inCount;
    if (id == DISPID_PROPERTYPUT) {
      if (setter) j = inCount - 1;
    } else if (id >= 0 && static_cast<size_t>(id) < inCount - (setter ? 1 : 0)) {
      j = static_cast<size_t>(id);
    }
    if (j >= inCount || j < positional || given[j]) {
      if (argErr) *argErr = i;
      return DISP_E_PARAMNOTFOUND;
    }
    given[j] = true;
    source[j] = i;
  }
  if (params.cArgs != inCount) return DISP_E_BADPARAMCOUNT;
  for (UINT j = 0; j < positional; ++j) source[j] = params.cArgs - 1 - j;
  return S_OK;
}

// What Invoke refuses a call for, with error information for a caller that asks
// for it: the HRESULT says the kind, the text names the member.
HRESULT Refuse(const TypeData& type, const MemberInfo* member, HRESULT hr) {
  const char* what = hr == DISP_E_MEMBERNOTFOUND     ? "Member not found"
                     : hr == DISP_E_BADPARAMCOUNT    ? "Wrong number of arguments"
                     : hr == DISP_E_PARAMNOTFOUND    ? "Named argument not found"
                     : hr == DISP_E_PARAMNOTOPTIONAL ? "Argument not optional"
                     : hr == DISP_E_TYPEMISMATCH     ? "Type mismatch"
                     : hr == DISP_E_OVERFLOW         ? "Overflow"
                     : hr == DISP_E_BADVARTYPE       ? "Variable uses an Automation type not supported"
                     : hr == E_OUTOFMEMORY           ? "Out of memory"
                                                     : "Invalid argument";
  SetErrorInfoFor(type.name, member ? std::string(what) + " in a call of " + member->name : std::string(what));
  return hr;
}

}  // namespace

HRESULT DispatchInvoke(IDispatch* self, const TypeData& type, DISPID dispid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  try {
    const MemberInfo* member = type.Find(dispid, flags);
    if (member == nullptr || member->call == nullptr) return Refuse(type, nullptr, DISP_E_MEMBERNOTFOUND);
    const size_t n = member->params.size();
    if (n > kMaxInvokeParams) return Refuse(type, member, DISP_E_BADPARAMCOUNT);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) params = &none;
    if ((params->cArgs > 0 && params->rgvarg == nullptr) || params->cNamedArgs > params->cArgs ||
        (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr))
      return Refuse(type, member, E_INVALIDARG);
    UINT source[kMaxInvokeParams];
    if (const HRESULT hr = PlaceArguments(*member, *params, source, argErr); FAILED(hr))
      return Refuse(type, member, hr);

    const size_t inCount = member->InCount();
    Slots prepared(n);
    Slots locals(inCount);
    HeldInterfaces held;
    for (size_t j = 0; j < inCount; ++j) {
      const UINT position = source[j];
      const HRESULT hr = Coerce(member->params[j], params->rgvarg[position], prepared[j], locals[j], held.pointers[j]);
      if (FAILED(hr)) {
        if (argErr) *argErr = position;
        return Refuse(type, member, hr);
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
