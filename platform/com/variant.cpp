#include <cstring>
#include <new>
#include <optional>

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
  const VARIANTARG* source = pvargSrc;
  if (source->vt == (VT_BYREF | VT_VARIANT)) {
    // The variant referred to, and when that holds a reference, the value it
    // refers to. A variant that refers to yet another variant is refused: such a
    // chain may lead back to where it started.
    if (source->pvarVal == nullptr) return E_INVALIDARG;
    source = source->pvarVal;
    if (!comrt::IsValidVartype(source->vt)) return DISP_E_BADVARTYPE;
    if (source->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
  }
  if (!(source->vt & VT_BYREF)) return VariantCopy(pvarDest, source);
  if (source->byref == nullptr) return E_INVALIDARG;
  const VARTYPE vt = source->vt & ~VT_BYREF;
  VARIANT value;
  VariantInit(&value);
  if (vt & VT_ARRAY) {
    value.vt = vt;
    value.parray = *source->pparray;
  } else {
    // Every scalar, text and interface value sits at the start of the union, in the
    // size an array element of its type has.
    const ULONG size = comrt::SafeArrayElementSize(vt);
    if (size == 0) return DISP_E_BADVARTYPE;
    value.vt = vt;
    std::memcpy(&value.llVal, source->byref, size);
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
  // On success the destination has the type asked for, and no variant has
  // VT_VARIANT alone.
  if (vt == VT_VARIANT) return DISP_E_BADVARTYPE;
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

std::u16string_view TextIn(const VARIANT& v) { return {v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal)}; }

// The value of an integer, a Boolean or empty, exactly; nothing for other types.
std::optional<Whole> ExactWhole(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return Whole{};
    case VT_I1:
      return SignedWhole(static_cast<int8_t>(v.bVal));
    case VT_UI1:
      return UnsignedWhole(v.bVal);
    case VT_I2:
    case VT_BOOL:
      return SignedWhole(v.iVal);
    case VT_UI2:
      return UnsignedWhole(v.uiVal);
    case VT_I4:
    case VT_INT:
      return SignedWhole(v.lVal);
    case VT_UI4:
    case VT_UINT:
      return UnsignedWhole(v.ulVal);
    case VT_I8:
      return SignedWhole(v.llVal);
    case VT_UI8:
      return UnsignedWhole(v.ullVal);
    default:
      return std::nullopt;
  }
}

double NumberOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_R4:
      return v.fltVal;
    case VT_R8:
    case VT_DATE:
      return v.dblVal;
    case VT_CY:
      return FromCurrency(v.cyVal.int64);
    case VT_BSTR:
      return ParseNumber(TextIn(v));
    default: {
      const std::optional<Whole> whole = ExactWhole(v);
      if (!whole) ThrowTypeMismatch();
      const double magnitude = static_cast<double>(whole->magnitude);
      return whole->negative ? -magnitude : magnitude;
    }
  }
}

// The value as a whole number: exactly from an integer, a currency or the digits
// of a text, otherwise rounded from its number.
Whole WholeIn(const VARIANT& v) {
  if (const std::optional<Whole> whole = ExactWhole(v)) return *whole;
  if (v.vt == VT_CY) return WholeOfCurrency(v.cyVal.int64);
  if (v.vt == VT_BSTR) return ParseWhole(TextIn(v));
  return WholeOf(NumberOf(v));
}

float SingleOf(const VARIANT& v) {
  // Straight from 64 bits: through a double the value would be rounded twice.
  if (v.vt == VT_I8) return static_cast<float>(v.llVal);
  if (v.vt == VT_UI8) return static_cast<float>(v.ullVal);
  return ToSingle(NumberOf(v));
}

int64_t CurrencyOf(const VARIANT& v) {
  if (const std::optional<Whole> whole = ExactWhole(v)) return ToCurrency(*whole);
  if (v.vt == VT_BSTR) return ParseCurrency(TextIn(v));
  return ToCurrency(NumberOf(v));
}

bool BooleanOf(const VARIANT& v) {
  if (v.vt == VT_BSTR) return ParseBoolean(TextIn(v));
  return NumberOf(v) != 0.0;
}

std::u16string TextOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return u"";
    case VT_BSTR:
      return std::u16string(TextIn(v));
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
    default: {
      const std::optional<Whole> whole = ExactWhole(v);
      if (!whole) ThrowTypeMismatch();
      return Utf8ToUtf16(FormatWhole(*whole));
    }
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
      case VT_I1:
        out.bVal = static_cast<BYTE>(Narrow<int8_t>(WholeIn(value)));
        break;
      case VT_UI1:
        out.bVal = Narrow<uint8_t>(WholeIn(value));
        break;
      case VT_I2:
        out.iVal = Narrow<int16_t>(WholeIn(value));
        break;
      case VT_UI2:
        out.uiVal = Narrow<uint16_t>(WholeIn(value));
        break;
      case VT_I4:
      case VT_INT:
        out.lVal = Narrow<int32_t>(WholeIn(value));
        break;
      case VT_UI4:
      case VT_UINT:
        out.ulVal = Narrow<uint32_t>(WholeIn(value));
        break;
      case VT_I8:
        out.llVal = Narrow<int64_t>(WholeIn(value));
        break;
      case VT_UI8:
        out.ullVal = Narrow<uint64_t>(WholeIn(value));
        break;
      case VT_R4:
        out.fltVal = SingleOf(value);
        break;
      case VT_R8:
        out.dblVal = NumberOf(value);
        break;
      case VT_CY:
        out.cyVal.int64 = CurrencyOf(value);
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
