#include <cstdlib>
#include <cstring>

#include "com/oleauto.h"

namespace {
// The length prefix sits in the four bytes before the first character; the block
// starts four bytes earlier still so that the characters are 8-byte aligned.
constexpr size_t kHeader = 8;

uint32_t& PrefixOf(BSTR s) { return *reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - 4); }
}  // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  const size_t bytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
  if (bytes > 0x7FFFFFF0u) return nullptr;
  auto* block = static_cast<char*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  auto* s = reinterpret_cast<BSTR>(block + kHeader);
  PrefixOf(s) = static_cast<uint32_t>(bytes);
  if (strIn != nullptr) {
    std::memcpy(s, strIn, bytes);
  } else {
    std::memset(s, 0, bytes);
  }
  s[ui] = 0;
  return s;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  UINT length = 0;
  while (psz[length] != 0) ++length;
  return SysAllocStringLen(psz, length);
}

void SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) std::free(reinterpret_cast<char*>(bstrString) - kHeader);
}

UINT SysStringByteLen(BSTR bstr) { return bstr == nullptr ? 0 : PrefixOf(bstr); }

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

}  // extern "C"
