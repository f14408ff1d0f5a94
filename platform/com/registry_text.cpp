#include "com/registry.h"

namespace comrt {

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
