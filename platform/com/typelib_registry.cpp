// Type libraries in the registry, as the documented functions keep them:
//   HKCR\TypeLib\{libid}\<major>.<minor>            default: the library's name
//     ...\<lcid>\win32 (win16, mac, win64)           default: the file's full path
//     ...\FLAGS                                      default: the library flags, decimal
//     ...\HELPDIR                                    default: the help folder
//   HKCR\Interface\{iid}                             default: the interface's name
//     ...\ProxyStubClsid32, ...\ProxyStubClsid       the automation marshaler
//     ...\TypeLib                                    default: {libid}; "Version": <major>.<minor>
// Versions are written in hexadecimal, the locale in hexadecimal as well.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "com/boundary.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"

namespace {

// The marshaler of dual and dispatch interfaces described by a type library.
constexpr const char* kAutomationMarshaler = "{00020424-0000-0000-C000-000000000046}";

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string VersionKey(const GUID& libid, WORD major, WORD minor) {
  return "TypeLib\\" + comrt::ToString(libid) + "\\" + Hex(major) + "." + Hex(minor);
}

const char* SysKindName(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return "win16";
    case SYS_WIN32: return "win32";
    case SYS_MAC: return "mac";
    case SYS_WIN64: return "win64";
  }
  return "win32";
}

std::string Utf8(BSTR text) { return comrt::Utf16ToUtf8(text ? text : u""); }

std::vector<std::string> Subkeys(const std::string& key) {
  std::vector<std::string> names;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(handle);
  return names;
}

// Removes the key and all it holds; a missing key is no failure.
bool RemoveTree(const std::string& key) {
  const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// TYPE_E_REGISTRYACCESS, with the registry's own account of the failure as error info.
HRESULT RegistryAccessFailed() {
  const std::string why = comrt::RegistryLastError();
  comrt::SetErrorInfoFor("Type library registration",
                         "Cannot change the type library's registration" + (why.empty() ? "" : ": " + why));
  return TYPE_E_REGISTRYACCESS;
}

struct Writer {
  bool ok = true;
  void operator()(const std::string& key, const char* value, const std::string& text) {
    if (ok) ok = comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key, value, text) == ERROR_SUCCESS;
  }
};

}  // namespace

extern "C" HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (ptlib == nullptr || szFullPath == nullptr) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  if (HRESULT hr = ptlib->GetLibAttr(&attr); FAILED(hr)) return hr;
  const TLIBATTR lib = *attr;
  ptlib->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  ptlib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  const std::string library_name = Utf8(name);
  SysFreeString(name);

  const std::string path = comrt::Utf16ToUtf8(szFullPath);
  const std::string help = szHelpDir ? comrt::Utf16ToUtf8(szHelpDir) : std::filesystem::path(path).parent_path().string();
  const std::string version = VersionKey(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum);
  comrt::RegistryTransaction transaction;
  if (transaction.status() != ERROR_SUCCESS) return RegistryAccessFailed();
  Writer write;
  write(version, nullptr, library_name);
  write(version + "\\" + Hex(lib.lcid) + "\\" + SysKindName(lib.syskind), nullptr, path);
  write(version + "\\FLAGS", nullptr, std::to_string(lib.wLibFlags));
  write(version + "\\HELPDIR", nullptr, help);

  const std::string libid = comrt::ToString(lib.guid);
  const std::string version_text = Hex(lib.wMajorVerNum) + "." + Hex(lib.wMinorVerNum);
  for (UINT i = 0, n = ptlib->GetTypeInfoCount(); i < n && write.ok; ++i) {
    comrt::ComPtr<ITypeInfo> info;
    if (FAILED(ptlib->GetTypeInfo(i, info.put()))) continue;
    TYPEATTR* type = nullptr;
    if (FAILED(info->GetTypeAttr(&type))) continue;
    const bool marshaled = type->typekind == TKIND_DISPATCH ||
                           (type->typekind == TKIND_INTERFACE &&
                            (type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0);
    const std::string key = "Interface\\" + comrt::ToString(type->guid);
    info->ReleaseTypeAttr(type);
    if (!marshaled) continue;
    BSTR type_name = nullptr;
    ptlib->GetDocumentation(static_cast<INT>(i), &type_name, nullptr, nullptr, nullptr);
    write(key, nullptr, Utf8(type_name));
    SysFreeString(type_name);
    write(key + "\\ProxyStubClsid", nullptr, kAutomationMarshaler);
    write(key + "\\ProxyStubClsid32", nullptr, kAutomationMarshaler);
    write(key + "\\TypeLib", nullptr, libid);
    write(key + "\\TypeLib", "Version", version_text);
  }
  if (!write.ok || transaction.Commit() != ERROR_SUCCESS) return RegistryAccessFailed();
  return S_OK;
}

namespace {

bool Registered(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  std::string path;
  return comrt::ReadRegistryText(HKEY_CLASSES_ROOT,
                                 VersionKey(libID, wVerMajor, wVerMinor) + "\\" + Hex(lcid) + "\\" + SysKindName(syskind),
                                 nullptr, path) == ERROR_SUCCESS;
}

HRESULT RemoveRegistration(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  if (!Registered(libID, wVerMajor, wVerMinor, lcid, syskind)) return TYPE_E_LIBNOTREGISTERED;
  const std::string version = VersionKey(libID, wVerMajor, wVerMinor);
  // Only that locale and system go; the version and its interfaces stay while
  // another registration of the version remains.
  const std::string locale = version + "\\" + Hex(lcid);
  if (!RemoveTree(locale + "\\" + SysKindName(syskind))) return RegistryAccessFailed();
  if (Subkeys(locale).empty() && !RemoveTree(locale)) return RegistryAccessFailed();
  for (const std::string& name : Subkeys(version)) {
    if (!SameName(name, "FLAGS") && !SameName(name, "HELPDIR")) return S_OK;
  }
  // The interfaces this version of the library recorded, found by their TypeLib entries.
  const std::string libid = comrt::ToString(libID);
  const std::string version_text = Hex(wVerMajor) + "." + Hex(wVerMinor);
  for (const std::string& iid : Subkeys("Interface")) {
    const std::string key = "Interface\\" + iid;
    std::string owner, owner_version;
    if (comrt::ReadRegistryText(HKEY_CLASSES_ROOT, key + "\\TypeLib", nullptr, owner) != ERROR_SUCCESS) continue;
    comrt::ReadRegistryText(HKEY_CLASSES_ROOT, key + "\\TypeLib", "Version", owner_version);
    GUID owner_id{};
    if (!comrt::TryParseGuid(owner, owner_id) || !(owner_id == libID) || owner_version != version_text) continue;
    if (!RemoveTree(key)) return RegistryAccessFailed();
  }
  if (!RemoveTree(version)) return RegistryAccessFailed();
  const std::string library = "TypeLib\\" + libid;
  if (Subkeys(library).empty() && !RemoveTree(library)) return RegistryAccessFailed();
  return S_OK;
}

}  // namespace

extern "C" HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  if (!Registered(libID, wVerMajor, wVerMinor, lcid, syskind)) return TYPE_E_LIBNOTREGISTERED;
  comrt::RegistryTransaction transaction;
  if (transaction.status() != ERROR_SUCCESS) return RegistryAccessFailed();
  const HRESULT hr = RemoveRegistration(libID, wVerMajor, wVerMinor, lcid, syskind);
  if (FAILED(hr)) return hr;
  return transaction.Commit() == ERROR_SUCCESS ? S_OK : RegistryAccessFailed();
}

extern "C" HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_POINTER;
  *pptlib = nullptr;
  // The highest registered minor version at or above the one asked for, of the same major.
  const std::string library = "TypeLib\\" + comrt::ToString(rguid);
  std::string chosen;
  unsigned best_minor = 0;
  for (const std::string& name : Subkeys(library)) {
    unsigned major = 0, minor = 0;
    char end = 0;
    if (std::sscanf(name.c_str(), "%x.%x%c", &major, &minor, &end) != 2) continue;
    if (major != wVerMajor || minor < wVerMinor || (!chosen.empty() && minor <= best_minor)) continue;
    chosen = library + "\\" + name;
    best_minor = minor;
    if (minor == wVerMinor) break;  // the exact version wins over higher minor ones
  }
  if (chosen.empty()) return TYPE_E_LIBNOTREGISTERED;
  for (LCID locale : {lcid, static_cast<LCID>(lcid & 0x3FF), LCID{0}}) {
    for (const char* kind : {"win32", "win64", "win16"}) {
      std::string path;
      if (comrt::ReadRegistryText(HKEY_CLASSES_ROOT, chosen + "\\" + Hex(locale) + "\\" + kind, nullptr, path) !=
          ERROR_SUCCESS) {
        continue;
      }
      return LoadTypeLib(comrt::Utf8ToUtf16(path).c_str(), pptlib);
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}
