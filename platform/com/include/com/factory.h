// Class factories for a server's classes, and DllGetClassObject's body:
//
//   extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
//     return comrt::GetClassObject<QELRurUzoz, DataPort, ...>(clsid, iid, ppv);
//   }
//   extern "C" HRESULT DllCanUnloadNow() { return comrt::CanUnloadNow(); }
//
// Each class names its identifier as `static constexpr const CLSID& kClsid`.
#pragma once
#include "com/object.h"

namespace comrt {

// One factory per class for the life of the module. While a client holds a
// reference to it, it counts as a live object, so the server stays loaded.
template <class T>
class ClassFactory final : public IClassFactory {
 public:
  static ClassFactory* Instance() {
    static ClassFactory factory;
    return &factory;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!(riid == IID_IUnknown) && !(riid == IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override {
    const ULONG refs = ++refs_;
    if (refs == 1) ++ModuleCounts::objects;
    return refs;
  }
  // A client's surplus Release finds no reference to drop and changes nothing.
  ULONG Release() override {
    ULONG refs = refs_.load();
    do {
      if (refs == 0) return 0;
    } while (!refs_.compare_exchange_weak(refs, refs - 1));
    if (refs == 1) --ModuleCounts::objects;
    return refs - 1;
  }

  // No aggregation. A constructor's failure comes back as its HRESULT with the
  // thread's error information set; nothing is handed out.
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return Boundary(Source(), GUID_NULL, [&] { return Make<T>()->QueryInterface(riid, ppvObject); });
  }
  HRESULT LockServer(BOOL fLock) override {
    if (fLock) {
      ++ModuleCounts::locks;
    } else if (ModuleCounts::locks > 0) {
      --ModuleCounts::locks;
    }
    return S_OK;
  }

 private:
  ClassFactory() = default;
  std::atomic<ULONG> refs_{0};

  static std::string_view Source() {
    if constexpr (requires { T::kErrorSource; }) {
      return T::kErrorSource;
    } else {
      return "ClassFactory";
    }
  }
};

template <class... Classes>
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  (void)((clsid == Classes::kClsid ? (factory = ClassFactory<Classes>::Instance(), true) : false) || ...);
  if (factory == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, ppv);
}

}  // namespace comrt
