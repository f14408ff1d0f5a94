// IDispatch served from type data: what every object's GetIDsOfNames and Invoke
// (and ITypeInfo's) do.
#pragma once
#include "com/typedata.h"

namespace comrt {

// The most parameters a member served by DispatchInvoke may declare; its
// arguments are prepared on the stack.
inline constexpr size_t kMaxInvokeParams = 16;

// Names to dispids: the first name is a member, the others its parameters (their
// position). Without regard to case; DISP_E_UNKNOWNNAME (and DISPID_UNKNOWN for
// each unknown name) otherwise.
HRESULT DispatchGetIDsOfNames(const TypeData& type, LPOLESTR* names, UINT count, DISPID* ids);

// Calls the member `dispid` of kind `flags` on `self` (an object of the dual
// interface `type`): positional arguments last-first as IDispatch passes them,
// named ones (parameter positions as GetIDsOfNames gives them, DISPID_PROPERTYPUT
// for the value of a property setter) in any order before them, each coerced to
// its declared type with VariantChangeType's rules; an argument left out (VT_ERROR
// with DISP_E_PARAMNOTFOUND) is DISP_E_PARAMNOTOPTIONAL, every parameter being
// required. A member's failure becomes DISP_E_EXCEPTION with `excepInfo` filled
// from the thread's error information (scode = the member's HRESULT); without
// `excepInfo` the member's HRESULT itself.
HRESULT DispatchInvoke(IDispatch* self, const TypeData& type, DISPID dispid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Fills `excepInfo` from the thread's error information (taking it) for a member
// that failed with `hr`.
void FillExcepInfo(EXCEPINFO* excepInfo, HRESULT hr);

}  // namespace comrt
