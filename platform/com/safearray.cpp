#include <cstdlib>
#include <cstring>
#include <new>

#include "com/error.h"
#include "com/oleauto.h"
#include "com/variant.h"

// An array the runtime makes is one block: 16 bytes of header whose last four hold
// the element type (read by SafeArrayGetVartype), then the descriptor with its
// bounds. The data is a second block. The descriptor keeps the bounds in reverse
// order of dimensions: rgsabound[cDims - 1] is dimension 1.
namespace {

constexpr size_t kHeader = 16;
constexpr USHORT kTypeFlags = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
constexpr USHORT kNotOurs = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
constexpr uint64_t kMaxBytes = 0x7FFFFFFF;

USHORT TypeFlags(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_BSTR;
    case VT_VARIANT:
      return FADF_VARIANT;
    case VT_DISPATCH:
      return FADF_DISPATCH;
    case VT_UNKNOWN:
      return FADF_UNKNOWN;
    default:
      return 0;
  }
}

VARTYPE& StoredVartype(SAFEARRAY* psa) { return *reinterpret_cast<VARTYPE*>(reinterpret_cast<char*>(psa) - 4); }

uint64_t ElementCount(const SAFEARRAY* psa) {
  uint64_t n = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) n *= psa->rgsabound[d].cElements;
  return n;
}

SAFEARRAY* NewArray(VARTYPE vt, ULONG elementSize, USHORT typeFlags, UINT cDims, const SAFEARRAYBOUND* descriptorBounds) {
  if (cDims == 0 || cDims > 0xFFFF || elementSize == 0) return nullptr;
  uint64_t bytes = elementSize;
  for (UINT d = 0; d < cDims; ++d) {
    bytes *= descriptorBounds[d].cElements;
    if (bytes > kMaxBytes) return nullptr;
  }
  const size_t descriptorSize = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<char*>(std::calloc(1, kHeader + descriptorSize));
  if (block == nullptr) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHeader);
  void* data = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (data == nullptr) {
    std::free(block);
    return nullptr;
  }
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | typeFlags);
  psa->cbElements = elementSize;
  psa->pvData = data;
  std::memcpy(psa->rgsabound, descriptorBounds, cDims * sizeof(SAFEARRAYBOUND));
  StoredVartype(psa) = vt;
  return psa;
}

// Byte offset of the element at rgIndices (rgIndices[0] for dimension 1, which
// varies fastest), or -1 when an index lies outside its bounds.
int64_t OffsetOf(const SAFEARRAY* psa, const LONG* rgIndices) {
  int64_t offset = 0;
  int64_t stride = 1;
  for (USHORT k = 0; k < psa->cDims; ++k) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - k];
    const int64_t i = static_cast<int64_t>(rgIndices[k]) - b.lLbound;
    if (i < 0 || i >= static_cast<int64_t>(b.cElements)) return -1;
    offset += i * stride;
    stride *= b.cElements;
  }
  return offset * psa->cbElements;
}

// Copies one element into uninitialised storage with the array's ownership rules.
HRESULT CopyElement(USHORT features, void* to, const void* from, ULONG size) {
  if (features & FADF_BSTR) {
    const BSTR s = *static_cast<const BSTR*>(from);
    BSTR copy = nullptr;
    if (s != nullptr && (copy = SysAllocStringLen(s, SysStringLen(s))) == nullptr) return E_OUTOFMEMORY;
    *static_cast<BSTR*>(to) = copy;
  } else if (features & FADF_VARIANT) {
    VariantInit(static_cast<VARIANT*>(to));
    return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
  } else if (features & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* p = *static_cast<IUnknown* const*>(from);
    if (p) p->AddRef();
    *static_cast<IUnknown**>(to) = p;
  } else {
    std::memcpy(to, from, size);
  }
  return S_OK;
}

void ClearElement(USHORT features, void* at) {
  if (features & FADF_BSTR) {
    SysFreeString(*static_cast<BSTR*>(at));
    *static_cast<BSTR*>(at) = nullptr;
  } else if (features & FADF_VARIANT) {
    VariantClear(static_cast<VARIANT*>(at));
  } else if (features & (FADF_UNKNOWN | FADF_DISPATCH)) {
    if (auto* p = *static_cast<IUnknown**>(at)) p->Release();
    *static_cast<IUnknown**>(at) = nullptr;
  }
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  if (rgsabound == nullptr || cDims == 0 || cDims > 0xFFFF) return nullptr;
  SAFEARRAYBOUND* reversed = static_cast<SAFEARRAYBOUND*>(std::malloc(cDims * sizeof(SAFEARRAYBOUND)));
  if (reversed == nullptr) return nullptr;
  for (UINT d = 0; d < cDims; ++d) reversed[cDims - 1 - d] = rgsabound[d];
  SAFEARRAY* psa = NewArray(vt, comrt::SafeArrayElementSize(vt), TypeFlags(vt), cDims, reversed);
  std::free(reversed);
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  if (psa->fFeatures & kTypeFlags && psa->pvData != nullptr) {
    const uint64_t n = ElementCount(psa);
    for (uint64_t i = 0; i < n; ++i) ClearElement(psa->fFeatures, static_cast<char*>(psa->pvData) + i * psa->cbElements);
  }
  if (psa->fFeatures & kNotOurs) return S_OK;
  std::free(psa->pvData);
  std::free(reinterpret_cast<char*>(psa) - kHeader);
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cDims; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cbElements; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    *pvt = StoredVartype(psa);
  } else if (psa->fFeatures & FADF_BSTR) {
    *pvt = VT_BSTR;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *pvt = VT_VARIANT;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *pvt = VT_UNKNOWN;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (psa == nullptr || rgIndices == nullptr || pv == nullptr || psa->pvData == nullptr) return E_INVALIDARG;
  const int64_t offset = OffsetOf(psa, rgIndices);
  if (offset < 0) return DISP_E_BADINDEX;
  const void* at = static_cast<char*>(psa->pvData) + offset;
  // As VariantCopy does: the caller's variant is cleared first, so it must be initialised.
  if (psa->fFeatures & FADF_VARIANT) return VariantCopy(static_cast<VARIANT*>(pv), static_cast<const VARIANT*>(at));
  return CopyElement(psa->fFeatures, pv, at, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (psa == nullptr || rgIndices == nullptr || psa->pvData == nullptr) return E_INVALIDARG;
  const int64_t offset = OffsetOf(psa, rgIndices);
  if (offset < 0) return DISP_E_BADINDEX;
  void* at = static_cast<char*>(psa->pvData) + offset;
  // A BSTR or an interface is passed as itself, everything else by address.
  const bool pointerValue = psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
  if (pv == nullptr && !pointerValue) return E_INVALIDARG;
  // An element that owns nothing goes straight in, whatever size a descriptor a
  // client filled in itself gives it; one that owns is at most a VARIANT.
  if (!(psa->fFeatures & kTypeFlags)) {
    std::memmove(at, pv, psa->cbElements);
    return S_OK;
  }
  alignas(VARIANT) unsigned char copy[sizeof(VARIANT)];
  if (psa->cbElements > sizeof copy) return E_INVALIDARG;
  const HRESULT hr = CopyElement(psa->fFeatures, copy, pointerValue ? static_cast<const void*>(&pv) : pv, psa->cbElements);
  if (FAILED(hr)) return hr;
  ClearElement(psa->fFeatures, at);
  std::memcpy(at, copy, psa->cbElements);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  // A descriptor a client filled in itself may have no data or no dimensions.
  if (psa->cDims == 0 || (psa->pvData == nullptr && ElementCount(psa) > 0)) return E_INVALIDARG;
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(psa, &vt);
  SAFEARRAY* copy = NewArray(vt, psa->cbElements, psa->fFeatures & kTypeFlags, psa->cDims, psa->rgsabound);
  if (copy == nullptr) return E_OUTOFMEMORY;
  const uint64_t n = ElementCount(psa);
  for (uint64_t i = 0; i < n; ++i) {
    const HRESULT hr = CopyElement(psa->fFeatures, static_cast<char*>(copy->pvData) + i * psa->cbElements,
                                   static_cast<char*>(psa->pvData) + i * psa->cbElements, psa->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

}  // extern "C"

namespace comrt {

ULONG SafeArrayElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return 8;
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

SAFEARRAY* SafeArrayWithElement(const VARIANT& v, LONG index) {
  if (!(v.vt & VT_ARRAY) || (v.vt & VT_BYREF)) ThrowTypeMismatch();
  SAFEARRAY* array = v.parray;
  if (array == nullptr || array->cDims != 1) ThrowSubscriptOutOfRange();
  const SAFEARRAYBOUND& bound = array->rgsabound[0];
  if (index < bound.lLbound || static_cast<int64_t>(index) - bound.lLbound >= bound.cElements) {
    ThrowSubscriptOutOfRange();
  }
  return array;
}

Variant SafeArrayElement(const VARIANT& v, LONG index) {
  SAFEARRAY* array = SafeArrayWithElement(v, index);
  const VARTYPE vt = v.vt & VT_TYPEMASK;
  const ULONG size = SafeArrayElementSize(vt);
  if (size == 0 || array->cbElements != size) ThrowTypeMismatch();
  Variant element;
  // A VARIANT and a DECIMAL fill the whole variant (a DECIMAL's first field lies
  // under vt); every other value starts at the union.
  void* slot = vt == VT_VARIANT || vt == VT_DECIMAL ? static_cast<void*>(&element) : static_cast<void*>(&element.llVal);
  const HRESULT hr = SafeArrayGetElement(array, &index, slot);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  if (FAILED(hr)) ThrowSubscriptOutOfRange();
  if (vt != VT_VARIANT) element.vt = vt;
  return element;
}

}  // namespace comrt
