// A server file for the test class, carrying its type library as a resource.
#include "widget.h"

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  return comrt::GetClassObject<Widget>(clsid, iid, ppv);
}

extern "C" HRESULT DllCanUnloadNow() { return comrt::CanUnloadNow(); }
