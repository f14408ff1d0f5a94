#include "Registration.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "QELComClasses.h"
#include "com/boundary.h"
#include "com/oleauto.h"
#include "com/registry.h"
#include "quorlink/interfaces.h"

namespace quorlink {

namespace {

constexpr const char* kSource = "QELCom registration";
constexpr WORD kMajor = 1;
constexpr WORD kMinor = 0;

struct ClassEntry {
  const char* name;
  const CLSID& clsid;
};

constexpr ClassEntry kClasses[] = {
#define QELCOM_CLASS_ENTRY(name, ...) {#name, CLSID_##name},
    QELCOM_CLASSES(QELCOM_CLASS_ENTRY)
#undef QELCOM_CLASS_ENTRY
};

// The server file's full path, found from the address of code inside it; empty
// when it cannot be told.
std::string ServerPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ServerPath), &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == 0) {
    return {};
  }
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::string() : path.lexically_normal().string();
}

std::string ProgId(const ClassEntry& c) { return std::string("QELCom.") + c.name; }
std::string ClassKey(const ClassEntry& c) { return "CLSID\\" + comrt::ToString(c.clsid); }

HRESULT RegistryFailure(LSTATUS status, const std::string& what) {
  const std::string why = comrt::RegistryLastError();
  comrt::SetErrorInfoFor(kSource, "Cannot " + what + ": " + (why.empty() ? "registry error " + std::to_string(status) : why));
  return MakeHresult(0x80070000u | static_cast<uint32_t>(status));
}

// Runs the steps as one change of the registry file: all of them, or on a failure none.
template <typename Steps>
HRESULT AsOneChange(const char* what, Steps steps) {
  comrt::RegistryTransaction transaction;
  if (transaction.status() != ERROR_SUCCESS) return RegistryFailure(transaction.status(), what);
  const HRESULT hr = steps();
  if (FAILED(hr)) return hr;
  if (const LSTATUS status = transaction.Commit(); status != ERROR_SUCCESS) return RegistryFailure(status, what);
  return hr;
}

HRESULT Write(const std::string& key, const char* value, const std::string& text) {
  const LSTATUS status = comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key, value, text);
  return status == ERROR_SUCCESS ? S_OK : RegistryFailure(status, "write HKEY_CLASSES_ROOT\\" + key);
}

// Removes the key with everything under it; a key that is not there is no failure.
HRESULT Remove(const std::string& key) {
  const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
  return RegistryFailure(status, "remove HKEY_CLASSES_ROOT\\" + key);
}

HRESULT RegisterTypeLibrary(const std::string& path) {
  const std::u16string file = comrt::Utf8ToUtf16(path);
  comrt::ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLib(file.c_str(), library.put());
  if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.get(), file.c_str(), nullptr);
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    const std::string why = comrt::TakeErrorDescription().value_or(code);
    comrt::SetErrorInfoFor(kSource, "Cannot register the type library of " + path + ": " + why);
  }
  return hr;
}

HRESULT RegisterClass(const ClassEntry& c, const std::string& path) {
  struct Value {
    std::string key;
    const char* name;  // null: the key's default value
    std::string text;
  };
  const std::string key = ClassKey(c);
  const Value values[] = {
      {key, nullptr, c.name},
      {key + "\\InprocServer32", nullptr, path},
      {key + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {key + "\\ProgID", nullptr, ProgId(c)},
      {key + "\\TypeLib", nullptr, comrt::ToString(LIBID_QELCom)},
      {ProgId(c), nullptr, c.name},
      {ProgId(c) + "\\CLSID", nullptr, comrt::ToString(c.clsid)},
  };
  for (const Value& v : values) {
    if (HRESULT hr = Write(v.key, v.name, v.text); FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT Register() {
  const std::string path = ServerPath();
  if (path.empty()) {
    comrt::SetErrorInfoFor(kSource, "Cannot find the path of the server file");
    return E_UNEXPECTED;
  }
  if (HRESULT hr = RegisterTypeLibrary(path); FAILED(hr)) return hr;
  for (const ClassEntry& c : kClasses) {
    if (HRESULT hr = RegisterClass(c, path); FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT Unregister() {
  for (const ClassEntry& c : kClasses) {
    if (HRESULT hr = Remove(ClassKey(c)); FAILED(hr)) return hr;
    if (HRESULT hr = Remove(ProgId(c)); FAILED(hr)) return hr;
  }
  const HRESULT hr = UnRegisterTypeLib(LIBID_QELCom, kMajor, kMinor, LOCALE_NEUTRAL, SYS_WIN32);
  return hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}

}  // namespace

HRESULT RegisterServer() {
  return comrt::Boundary(kSource, GUID_NULL, [] { return AsOneChange("register the server", Register); });
}

HRESULT UnregisterServer() {
  return comrt::Boundary(kSource, GUID_NULL, [] { return AsOneChange("unregister the server", Unregister); });
}

}  // namespace quorlink
