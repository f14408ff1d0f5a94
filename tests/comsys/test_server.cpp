// A small in-process server for the activation tests: one class with one
// interface, a class whose creation fails, and self-registration of its type
// library and classes through the registry functions.
#include <dlfcn.h>

#include <atomic>

#include "com/boundary.h"
#include "com/implements.h"
#include "com/oleauto.h"
#include "com/registry.h"
#include "test_library.h"

namespace {

std::atomic<long> g_alive{0};  // objects and server locks
LONG g_total = 0;

class Counter : public comrt::Implements<ICounter> {
 public:
  Counter() { ++g_alive; }
  ~Counter() override { --g_alive; }

  HRESULT Add(LONG amount, LONG* total) override {
    return comrt::Boundary("Counter", comrt::IidOf<ICounter>(), [&] {
      LONG* out = comrt::Out(total);
      if (amount < 0) comrt::ThrowOverflow();
      g_total += amount;
      *out = g_total;
    });
  }
};

class Factory : public comrt::Implements<IClassFactory> {
 public:
  explicit Factory(bool failing) : failing_(failing) { ++g_alive; }
  ~Factory() override { --g_alive; }

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    return comrt::Boundary("Counter", GUID_NULL, [&]() -> HRESULT {
      void** out = comrt::Out(ppv);
      *out = nullptr;
      if (outer != nullptr) return CLASS_E_NOAGGREGATION;
      if (failing_) comrt::ThrowFileNotFound("libmissing.so");
      auto object = comrt::ComPtr<Counter>::Adopt(new Counter);
      return object->QueryInterface(riid, out);
    });
  }
  HRESULT LockServer(BOOL lock) override {
    lock ? ++g_alive : --g_alive;
    return S_OK;
  }

 private:
  bool failing_;
};

std::string OwnPath() {
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&OwnPath), &info);
  return info.dli_fname ? info.dli_fname : "";
}

HRESULT FromStatus(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : MakeHresult(0x80070000 | status); }

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_Counter && rclsid != CLSID_Failing) return CLASS_E_CLASSNOTAVAILABLE;
  auto factory = comrt::ComPtr<Factory>::Adopt(new Factory(rclsid == CLSID_Failing));
  return factory->QueryInterface(riid, ppv);
}

extern "C" HRESULT DllCanUnloadNow() { return g_alive == 0 ? S_OK : S_FALSE; }

// Registers the type library from the file's own TYPELIB resource.
HRESULT RegisterOwnTypeLib(const std::string& path) {
  const std::u16string file = comrt::Utf8ToUtf16(path);
  comrt::ComPtr<ITypeLib> lib;
  if (const HRESULT hr = LoadTypeLib(file.c_str(), lib.put()); FAILED(hr)) return hr;
  return RegisterTypeLib(lib.get(), file.c_str(), nullptr);
}

}  // namespace

extern "C" HRESULT DllRegisterServer() {
  const std::string path = OwnPath();
  if (const HRESULT hr = RegisterOwnTypeLib(path); FAILED(hr)) return hr;
  for (const CLSID& clsid : {CLSID_Counter, CLSID_Failing}) {
    const std::string key = "CLSID\\" + comrt::ToString(clsid);
    if (LSTATUS s = comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key + "\\InprocServer32", nullptr, path)) {
      return FromStatus(s);
    }
    if (LSTATUS s = comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel", "Apartment")) {
      return FromStatus(s);
    }
  }
  const std::string counter = "CLSID\\" + comrt::ToString(CLSID_Counter);
  if (LSTATUS s = comrt::WriteRegistryText(HKEY_CLASSES_ROOT, counter + "\\ProgID", nullptr, kCounterProgId)) {
    return FromStatus(s);
  }
  return FromStatus(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, std::string(kCounterProgId) + "\\CLSID", nullptr,
                                             comrt::ToString(CLSID_Counter)));
}

extern "C" HRESULT DllUnregisterServer() {
  const std::string keys[] = {"CLSID\\" + comrt::ToString(CLSID_Counter), "CLSID\\" + comrt::ToString(CLSID_Failing),
                              kCounterProgId};
  for (const std::string& key : keys) {
    const LSTATUS s = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND) return FromStatus(s);
  }
  return UnRegisterTypeLib(LIBID_CounterLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
}
