// Programmatic identifiers, through HKEY_CLASSES_ROOT.
#include <cstring>

#include "com/activation.h"
#include "com/registry.h"

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  const std::string progid = comrt::Utf16ToUtf8(lpszProgID);
  std::string text;
  if (progid.empty() || comrt::ReadRegistryText(HKEY_CLASSES_ROOT, progid + "\\CLSID", nullptr, text) != ERROR_SUCCESS) {
    return CO_E_CLASSSTRING;
  }
  CLSID clsid{};
  if (!comrt::TryParseGuid(text, clsid)) return CO_E_CLASSSTRING;
  *lpclsid = clsid;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::string text;
  const LSTATUS status = comrt::ReadRegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + comrt::ToString(clsid) + "\\ProgID", nullptr, text);
  if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && text.empty())) return REGDB_E_CLASSNOTREG;
  if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
  const std::u16string progid = comrt::Utf8ToUtf16(text);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((progid.size() + 1) * sizeof(OLECHAR)));
  if (copy == nullptr) return E_OUTOFMEMORY;
  std::memcpy(copy, progid.c_str(), (progid.size() + 1) * sizeof(OLECHAR));
  *lplpszProgID = copy;
  return S_OK;
}
