// CoGetClassObject, CoCreateInstance and CoFreeUnusedLibraries over the servers
// this process has loaded.
#include "com/activation.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>

#include "com/boundary.h"
#include "com/registry.h"

namespace {

constexpr const char* kSource = "COM activation";

// The loaded servers, one handle per path. The lock is recursive because a
// server may create objects of another server from inside its own calls.
struct Servers {
  std::recursive_mutex mutex;
  std::map<std::string, void*> loaded;
};

Servers& LoadedServers() {
  static Servers servers;
  return servers;
}

HRESULT Fail(HRESULT hr, const std::string& description) {
  comrt::SetErrorInfoFor(kSource, description);
  return hr;
}

// The path registered for the class, or the failure to report.
HRESULT ServerPath(REFCLSID rclsid, std::string& path) {
  const std::string clsid = comrt::ToString(rclsid);
  const LSTATUS status = comrt::ReadRegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", nullptr, path);
  if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && path.empty())) {
    return Fail(REGDB_E_CLASSNOTREG, "Class " + clsid + " is not registered");
  }
  if (status != ERROR_SUCCESS) {
    const std::string why = comrt::RegistryLastError();
    return Fail(REGDB_E_READREGDB, "Cannot read the registration of class " + clsid + (why.empty() ? "" : ": " + why));
  }
  return S_OK;
}

// The server's handle, loading it on first use; called with the lock held.
HRESULT Load(const std::string& path, void*& handle) {
  Servers& servers = LoadedServers();
  if (const auto it = servers.loaded.find(path); it != servers.loaded.end()) {
    handle = it->second;
    return S_OK;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Fail(CO_E_DLLNOTFOUND, "File not found: " + path);
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    return Fail(CO_E_ERRORINDLL, "Cannot load " + path + (why ? std::string(": ") + why : std::string()));
  }
  servers.loaded.emplace(path, handle);
  return S_OK;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) {
    return Fail(REGDB_E_CLASSNOTREG, "Only in-process servers can be activated");
  }
  std::string path;
  if (const HRESULT hr = ServerPath(rclsid, path); FAILED(hr)) return hr;
  std::lock_guard lock(LoadedServers().mutex);
  void* handle = nullptr;
  if (const HRESULT hr = Load(path, handle); FAILED(hr)) return hr;
  const auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
  if (get == nullptr) return Fail(CO_E_ERRORINDLL, "Can't find DLL entry point DllGetClassObject in " + path);
  const HRESULT hr = get(rclsid, riid, ppv);
  if (SUCCEEDED(hr) && *ppv == nullptr) return Fail(E_UNEXPECTED, path + " handed out no class object");
  return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibraries() {
  Servers& servers = LoadedServers();
  std::lock_guard lock(servers.mutex);
  for (auto it = servers.loaded.begin(); it != servers.loaded.end();) {
    // A server without DllCanUnloadNow stays loaded.
    const auto can_unload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(it->second, "DllCanUnloadNow"));
    if (can_unload != nullptr && can_unload() == S_OK) {
      dlclose(it->second);
      it = servers.loaded.erase(it);
    } else {
      ++it;
    }
  }
}
