#include <cstring>
#include <new>

#include "com/convert.h"
#include "com/error.h"
#include "com/variant.h"


extern "C" {

void VariantInit(VARIANTARG* pvarg) { std::memset(pvarg, 0, sizeof *pvarg); }

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!comrt::IsValidVartype(vt)) return DISP_E_BADVARTYPE;
  if (vt & VT_BYREF) {
    // Nothing owned: the pointer belongs to the caller.
  } else if (vt & VT_ARRAY) {
    const HRESULT hr = SafeArrayDestroy(pvarg->parray);
    if (FAILED(hr)) return hr;
  } else {
    switch (vt) {
      case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (pvarg->punkVal) pvarg->punkVal->Release();
        break;
      default:
        break;
    }
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (!comrt::IsValidVartype(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  VARIANT copy = *pvargSrc;
  const VARTYPE vt = pvargSrc->vt;
  if (vt & VT_BYREF) {
    // A reference is copied as a reference.
  } else if (vt & VT_ARRAY) {
    const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
    if (FAILED(hr)) return hr;
  } else if (vt == VT_BSTR) {
    if (pvargSrc->bstrVal != nullptr &&
        (copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal))) == nullptr)
      return E_OUTOFMEMORY;
  } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (copy.punkVal) copy.punkVal->AddRef();
  }
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (!comrt::IsValidVartype(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  if (pvargSrc->byref == nullptr) return E_INVALIDARG;
  const VARTYPE vt = pvargSrc->vt & ~VT_BYREF;
  VARIANT value;
  VariantInit(&value);
  if (vt == VT_VARIANT) {
    // A reference to a variant that is itself a reference is not a valid argument.
    if (!comrt::IsValidVartype(pvargSrc->pvarVal->vt)) return DISP_E_BADVARTYPE;
    if (pvargSrc->pvarVal->vt & VT_BYREF) return E_INVALIDARG;
    value = *pvargSrc->pvarVal;
  } else if (vt & VT_ARRAY) {
    value.vt = vt;
    value.parray = *pvargSrc->pparray;
  } else {
    // Every scalar, text and interface value sits at the start of the union, in the
    // size an array element of its type has.
    const ULONG size = comrt::SafeArrayElementSize(vt);
    if (size == 0) return DISP_E_BADVARTYPE;
    value.vt = vt;
    std::memcpy(&value.llVal, pvargSrc->byref, size);
  }
  // `value` borrows; VariantCopy makes the owned copy (and handles pvarDest == pvargSrc
  // only through the temporary).
  VARIANT owned;
  VariantInit(&owned);
  const HRESULT hr = VariantCopy(&owned, &value);
  if (FAILED(hr)) return hr;
  const HRESULT cleared = VariantClear(pvarDest);
  if (FAILED(cleared)) {
    VariantClear(&owned);
    return cleared;
  }
  *pvarDest = owned;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT, VARTYPE vt) {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  try {
    comrt::ChangeType(*pvargDest, *pvarSrc, vt);
    return S_OK;
  } catch (const comrt::Error& e) {
    if (e.number() == comrt::kOverflow) return DISP_E_OVERFLOW;
    if (e.number() == comrt::kTypeMismatch) return DISP_E_TYPEMISMATCH;
    if (e.number() == comrt::kBadVarType) return DISP_E_BADVARTYPE;
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"

namespace comrt {

namespace {

void Check(HRESULT hr) {
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  if (hr == DISP_E_BADVARTYPE) ThrowBadVarType();
  if (FAILED(hr)) ThrowTypeMismatch();
}

double NumberOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return 0;
    case VT_I1:
      return static_cast<int8_t>(v.bVal);
    case VT_UI1:
      return v.bVal;
    case VT_I2:
    case VT_BOOL:
      return v.iVal;
    case VT_UI2:
      return static_cast<uint16_t>(v.iVal);
    case VT_I4:
    case VT_INT:
      return v.lVal;
    case VT_UI4:
    case VT_UINT:
      return static_cast<uint32_t>(v.lVal);
    case VT_I8:
      return static_cast<double>(v.llVal);
    case VT_UI8:
      return static_cast<double>(static_cast<uint64_t>(v.llVal));
    case VT_R4:
      return v.fltVal;
    case VT_R8:
    case VT_DATE:
      return v.dblVal;
    case VT_CY:
      return FromCurrency(v.cyVal.int64);
    case VT_BSTR:
      return ParseNumber(std::u16string_view(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal)));
    default:
      ThrowTypeMismatch();
  }
}

bool BooleanOf(const VARIANT& v) {
  if (v.vt == VT_BSTR) return ParseBoolean(std::u16string_view(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal)));
  return NumberOf(v) != 0.0;
}

std::u16string TextOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return u"";
    case VT_BSTR:
      return std::u16string(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal));
    case VT_BOOL:
      return v.boolVal ? u"True" : u"False";
    case VT_R4:
      return Utf8ToUtf16(FormatNumber(v.fltVal, true));
    case VT_R8:
      return Utf8ToUtf16(FormatNumber(v.dblVal, false));
    case VT_CY:
      return Utf8ToUtf16(FormatCurrency(v.cyVal.int64));
    case VT_DATE:
      // A date's text is a calendar date, which this runtime does not write.
      ThrowTypeMismatch();
    default:
      return Utf8ToUtf16(FormatNumber(NumberOf(v), false));
  }
}

}  // namespace

void ChangeType(VARIANT& dest, const VARIANT& source, VARTYPE vt) {
  if ((vt & VT_BYREF) || (vt != VT_VARIANT && !IsValidVartype(vt))) ThrowBadVarType();
  // A value that owns nothing is read where it is; any other through an owned
  // copy, which also follows a reference.
  const bool inPlace = IsValidVartype(source.vt) && !(source.vt & VT_BYREF) && !HoldsResources(source.vt);
  Variant copy;
  if (!inPlace) Check(VariantCopyInd(&copy, &source));
  const VARIANT& value = inPlace ? source : copy;
  Variant out;
  if (vt == VT_VARIANT || vt == value.vt) {
    if (inPlace) {
      static_cast<VARIANT&>(out) = source;
    } else {
      out = std::move(copy);
    }
  } else if ((vt & VT_ARRAY) || (value.vt & VT_ARRAY)) {
    ThrowTypeMismatch();
  } else {
    switch (vt) {
      case VT_UI1:
        out.bVal = ToUInt8(NumberOf(value));
        break;
      case VT_I2:
        out.iVal = ToInt16(NumberOf(value));
        break;
      case VT_I4:
        out.lVal = ToInt32(NumberOf(value));
        break;
      case VT_R4:
        out.fltVal = ToSingle(NumberOf(value));
        break;
      case VT_R8:
        out.dblVal = NumberOf(value);
        break;
      case VT_CY:
        out.cyVal.int64 = ToCurrency(NumberOf(value));
        break;
      case VT_DATE:
        // Text is read as a number, not as a calendar date.
        if (value.vt == VT_BSTR) ThrowTypeMismatch();
        out.date = ToDate(NumberOf(value));
        break;
      case VT_BOOL:
        out.boolVal = BooleanOf(value) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case VT_BSTR:
        out.bstrVal = AllocBstr(TextOf(value));
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) ThrowTypeMismatch();
        if (value.punkVal == nullptr) {
          out.punkVal = nullptr;
        } else if (vt == VT_UNKNOWN) {
          Check(value.punkVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&out.punkVal)));
        } else {
          Check(value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out.pdispVal)));
        }
        break;
      default:
        ThrowTypeMismatch();
    }
    out.vt = vt;
  }
  Check(VariantClear(&dest));
  out.Detach(&dest);
}

namespace {
// The value of `v` changed to `vt`, read from the union member that type fills.
template <auto Field>
auto Converted(const VARIANT& v, VARTYPE vt) {
  Variant r;
  ChangeType(r, v, vt);
  return r.*Field;
}
}  // namespace

double ToDouble(const VARIANT& v) { return Converted<&VARIANT::dblVal>(v, VT_R8); }
float ToSingle(const VARIANT& v) { return Converted<&VARIANT::fltVal>(v, VT_R4); }
int32_t ToInt32(const VARIANT& v) { return Converted<&VARIANT::lVal>(v, VT_I4); }
int16_t ToInt16(const VARIANT& v) { return Converted<&VARIANT::iVal>(v, VT_I2); }
uint8_t ToUInt8(const VARIANT& v) { return Converted<&VARIANT::bVal>(v, VT_UI1); }
VARIANT_BOOL ToBool(const VARIANT& v) { return Converted<&VARIANT::boolVal>(v, VT_BOOL); }
std::u16string ToText(const VARIANT& v) {
  Variant r;
  ChangeType(r, v, VT_BSTR);
  return std::u16string(Bstr::Adopt(std::exchange(r.bstrVal, nullptr)).view());
}

BSTR AllocBstr(std::u16string_view text) {
  BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (s == nullptr) throw std::bad_alloc();
  return s;
}
BSTR AllocBstr(std::string_view utf8) { return AllocBstr(std::u16string_view(Utf8ToUtf16(utf8))); }

Bstr::Bstr(std::string_view utf8) : s_(AllocBstr(utf8)) {}
Bstr::Bstr(std::u16string_view text) : s_(AllocBstr(text)) {}

Variant::Variant(IDispatch* p) : Variant() {
  vt = VT_DISPATCH;
  pdispVal = p;
  if (p) p->AddRef();
}

Variant::Variant(const VARIANT& other) : Variant() {
  const HRESULT hr = VariantCopy(this, &other);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(this);
    static_cast<VARIANT&>(*this) = other;
    VariantInit(&other);
  }
  return *this;
}

Variant Variant::Adopt(VARIANT& v) {
  Variant result;
  static_cast<VARIANT&>(result) = v;
  VariantInit(&v);
  return result;
}

void Variant::Detach(VARIANT* out) {
  *out = *this;
  VariantInit(this);
}

}  // namespace comrt
