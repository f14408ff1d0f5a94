#include <vector>

#include "com/registry.h"

namespace comrt {

LSTATUS ReadRegistryText(HKEY root, const std::string& subkey, const char* value, std::string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = 0, size = 0;
  std::vector<BYTE> data;
  // Another process may change the value between the size and the read: ask again.
  for (;;) {
    status = RegQueryValueExA(key, value, nullptr, &type, data.empty() ? nullptr : data.data(), &size);
    if (status != ERROR_MORE_DATA && (status != ERROR_SUCCESS || size <= data.size())) break;
    data.resize(size);
  }
  RegCloseKey(key);
  // A key that another process removed after the open is as absent as one never made.
  if (status == ERROR_KEY_DELETED) return ERROR_FILE_NOT_FOUND;
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_FILE_NOT_FOUND;
  text.assign(data.begin(), data.begin() + size);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return ERROR_SUCCESS;
}

LSTATUS WriteRegistryText(HKEY root, const std::string& subkey, const char* value, const std::string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status;
}

}  // namespace comrt
