#include <vector>

#include "com/registry.h"

namespace comrt {

LSTATUS ReadRegistryText(HKEY root, const std::string& subkey, const char* value, std::string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = 0, size = 0;
  status = RegQueryValueExA(key, value, nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size);
  // The value may change between the two queries; a second look then reports it.
  if (status == ERROR_SUCCESS) status = RegQueryValueExA(key, value, nullptr, &type, data.data(), &size);
  RegCloseKey(key);
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
