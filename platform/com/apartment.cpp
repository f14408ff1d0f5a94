// CoInitialize and CoUninitialize: a count per thread and the model it chose.
#include "com/activation.h"

namespace {

thread_local unsigned t_initialised = 0;
thread_local DWORD t_model = 0;

}  // namespace

HRESULT CoInitializeEx(void*, DWORD dwCoInit) {
  const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_initialised > 0 && model != t_model) return RPC_E_CHANGED_MODE;
  t_model = model;
  return t_initialised++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(void* pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (t_initialised > 0) --t_initialised;
}
