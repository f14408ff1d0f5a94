// An event sink for the tests: records every call it receives.
#pragma once
#include <functional>
#include <vector>

#include "com/implements.h"
#include "com/variant.h"

class RecordingSink final : public comrt::Implements<IDispatch> {
 public:
  struct Call {
    DISPID dispid;
    WORD flags;
    std::vector<comrt::Variant> args;  // in declared order
  };
  std::vector<Call> calls;
  HRESULT answer = S_OK;
  std::function<void()> during;  // run inside each call

  HRESULT GetTypeInfoCount(UINT* p) override {
    *p = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO* excep,
                 UINT*) override {
    Call call{dispid, flags, {}};
    for (UINT i = params->cArgs; i > 0; --i) call.args.emplace_back(comrt::Variant(params->rgvarg[i - 1]));
    calls.push_back(std::move(call));
    // A careless sink: it clears the arguments it was given.
    for (UINT i = 0; i < params->cArgs; ++i) VariantClear(&params->rgvarg[i]);
    if (during) during();
    if (FAILED(answer) && excep) excep->bstrDescription = SysAllocString(u"sink failed");
    return FAILED(answer) ? DISP_E_EXCEPTION : answer;
  }
};
