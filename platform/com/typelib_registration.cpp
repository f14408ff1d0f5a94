#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/boundary.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"
#include "com/regtypelib.h"

namespace {

constexpr const char* kSource = "Type library registration";

// A registry failure, to become TYPE_E_REGISTRYACCESS.
struct RegistryFailure {
  std::string what;
};

// Registry names and identifiers compare without regard to case.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string VersionKey(const GUID& libid, WORD major, WORD minor) {
  return "TypeLib\\" + comrt::ToString(libid) + "\\" + Hex(major) + "." + Hex(minor);
}

const char* SystemName(SYSKIND syskind) {
  switch (syskind) {
    case SYS_WIN16:
      return "win16";
    case SYS_WIN32:
      return "win32";
    case SYS_MAC:
      return "mac";
    default:
      return "win64";
  }
}

void Write(const std::string& key, const char* value, const std::string& text) {
  if (comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key, value, text) != ERROR_SUCCESS) {
    throw RegistryFailure{"cannot write HKEY_CLASSES_ROOT\\" + key};
  }
}

std::string Text(BSTR text) {
  std::string out = text ? comrt::Utf16ToUtf8(text) : "";
  SysFreeString(text);
  return out;
}

std::vector<std::string> Subkeys(const std::string& key) {
  std::vector<std::string> names;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &handle) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(handle);
  return names;
}

void Delete(const std::string& key) {
  const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw RegistryFailure{"cannot delete HKEY_CLASSES_ROOT\\" + key};
  }
}

HRESULT RegistryAccessFailed(const RegistryFailure& failure) {
  const std::string why = comrt::RegistryLastError();
  comrt::SetErrorInfoFor(kSource, failure.what + (why.empty() ? "" : ": " + why));
  return TYPE_E_REGISTRYACCESS;
}

void RegisterInterface(ITypeInfo* info, const std::string& libid, const std::string& version) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  const GUID iid = attr->guid;
  const bool marshalled = attr->typekind == TKIND_DISPATCH ||
                          (attr->typekind == TKIND_INTERFACE &&
                           (attr->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) != 0);
  info->ReleaseTypeAttr(attr);
  if (!marshalled) return;
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  const std::string key = "Interface\\" + comrt::ToString(iid);
  Write(key, nullptr, Text(name));
  Write(key + "\\ProxyStubClsid", nullptr, comrt::ToString(CLSID_PSOAInterface));
  Write(key + "\\ProxyStubClsid32", nullptr, comrt::ToString(CLSID_PSOAInterface));
  Write(key + "\\TypeLib", nullptr, libid);
  Write(key + "\\TypeLib", "Version", version);
}

// The minor version to load for that major one, as hex key names go.
std::optional<std::string> ChooseVersion(const std::string& libid, WORD major, WORD minor) {
  std::optional<std::string> chosen;
  unsigned best = 0;
  for (const std::string& name : Subkeys("TypeLib\\" + libid)) {
    unsigned key_major = 0, key_minor = 0;
    char extra = 0;
    if (std::sscanf(name.c_str(), "%x.%x%c", &key_major, &key_minor, &extra) != 2) continue;
    if (key_major != major || key_minor < minor) continue;
    if (key_minor == minor) return name;
    if (!chosen || key_minor > best) {
      chosen = name;
      best = key_minor;
    }
  }
  return chosen;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (ptlib == nullptr || szFullPath == nullptr) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  if (const HRESULT hr = ptlib->GetLibAttr(&attr); FAILED(hr)) return hr;
  const TLIBATTR lib = *attr;
  ptlib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  const std::string library_name = Text(name), help = Text(doc);
  const std::string libid = comrt::ToString(lib.guid);
  const std::string version = Hex(lib.wMajorVerNum) + "." + Hex(lib.wMinorVerNum);
  const std::string key = VersionKey(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum);
  try {
    Write(key, nullptr, help.empty() ? library_name : help);
    Write(key + "\\" + Hex(lib.lcid) + "\\" + SystemName(lib.syskind), nullptr, comrt::Utf16ToUtf8(szFullPath));
    Write(key + "\\FLAGS", nullptr, std::to_string(lib.wLibFlags));
    Write(key + "\\HELPDIR", nullptr, szHelpDir ? comrt::Utf16ToUtf8(szHelpDir) : "");
    for (UINT i = 0; i < ptlib->GetTypeInfoCount(); ++i) {
      comrt::ComPtr<ITypeInfo> info;
      if (SUCCEEDED(ptlib->GetTypeInfo(i, info.put()))) RegisterInterface(info.get(), libid, version);
    }
  } catch (const RegistryFailure& failure) {
    return RegistryAccessFailed(failure);
  }
  return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  const std::string libid = comrt::ToString(libID);
  const std::string version = Hex(wVerMajor) + "." + Hex(wVerMinor);
  const std::string key = VersionKey(libID, wVerMajor, wVerMinor);
  const std::string locale = key + "\\" + Hex(lcid);
  try {
    std::string path;
    if (comrt::ReadRegistryText(HKEY_CLASSES_ROOT, locale + "\\" + SystemName(syskind), nullptr, path) !=
        ERROR_SUCCESS) {
      throw RegistryFailure{"type library " + libid + " " + version + " is not registered for that locale and system"};
    }
    Delete(locale + "\\" + SystemName(syskind));
    if (Subkeys(locale).empty()) Delete(locale);
    for (const std::string& name : Subkeys(key)) {
      if (SameName(name, "FLAGS") || SameName(name, "HELPDIR")) continue;
      return S_OK;  // another locale of this version stays, and with it the interfaces
    }
    Delete(key);
    if (Subkeys("TypeLib\\" + libid).empty()) Delete("TypeLib\\" + libid);
    for (const std::string& iid : Subkeys("Interface")) {
      std::string owner, owner_version;
      const std::string typelib = "Interface\\" + iid + "\\TypeLib";
      if (comrt::ReadRegistryText(HKEY_CLASSES_ROOT, typelib, nullptr, owner) != ERROR_SUCCESS) continue;
      comrt::ReadRegistryText(HKEY_CLASSES_ROOT, typelib, "Version", owner_version);
      if (SameName(owner, libid) && owner_version == version) Delete("Interface\\" + iid);
    }
  } catch (const RegistryFailure& failure) {
    return RegistryAccessFailed(failure);
  }
  return S_OK;
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  const std::string libid = comrt::ToString(rguid);
  const std::optional<std::string> version = ChooseVersion(libid, wVerMajor, wVerMinor);
  if (!version) return TYPE_E_LIBNOTREGISTERED;
  const LCID primary = lcid & 0x3ff;
  for (const LCID locale : {lcid, primary, LCID{0}}) {
    for (const char* system : {"win64", "win32"}) {
      std::string path;
      const std::string key = "TypeLib\\" + libid + "\\" + *version + "\\" + Hex(locale) + "\\" + system;
      if (comrt::ReadRegistryText(HKEY_CLASSES_ROOT, key, nullptr, path) == ERROR_SUCCESS && !path.empty()) {
        return LoadTypeLib(comrt::Utf8ToUtf16(path).c_str(), pptlib);
      }
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}
