// Owning wrappers for BSTR and VARIANT, and the one implementation of the type
// conversions (comrt::ChangeType) behind VariantChangeType.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "com/oleauto.h"

namespace comrt {

// Whether `vt` is a type a VARIANT may hold that this runtime knows: a scalar
// type, alone, by reference or as an array; VT_VARIANT only by reference or as an
// array; VT_EMPTY and VT_NULL only alone. Everything else is DISP_E_BADVARTYPE,
// refused before any pointer of the VARIANT is followed.
constexpr bool IsValidVartype(VARTYPE vt) {
  constexpr uint32_t kScalars = 1u << VT_I2 | 1u << VT_I4 | 1u << VT_R4 | 1u << VT_R8 | 1u << VT_CY | 1u << VT_DATE |
                                1u << VT_BSTR | 1u << VT_DISPATCH | 1u << VT_ERROR | 1u << VT_BOOL | 1u << VT_UNKNOWN |
                                1u << VT_I1 | 1u << VT_UI1 | 1u << VT_UI2 | 1u << VT_UI4 | 1u << VT_I8 | 1u << VT_UI8 |
                                1u << VT_INT | 1u << VT_UINT;
  const unsigned base = vt & VT_TYPEMASK;
  const unsigned forms = vt & ~VT_TYPEMASK;
  if (forms & ~(VT_BYREF | VT_ARRAY)) return false;
  if (base < 32 && (kScalars >> base & 1u)) return true;
  if (base == VT_EMPTY || base == VT_NULL) return forms == 0;
  return base == VT_VARIANT && forms != 0;
}
inline bool IsValidVariant(const VARIANT& v) { return IsValidVartype(v.vt); }

// Whether a VARIANT of this (valid) type owns something VariantClear frees: a
// string, an interface or an array held by value.
constexpr bool HoldsResources(VARTYPE vt) {
  if (vt & VT_BYREF) return false;
  return (vt & VT_ARRAY) || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// The storage size of one element of an array of `vt`; 0 for types an array
// cannot hold.
ULONG SafeArrayElementSize(VARTYPE vt);

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8);
  explicit Bstr(std::u16string_view text);
  Bstr(const Bstr& other) : Bstr(other.view()) {}
  Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  Bstr& operator=(Bstr other) noexcept {
    std::swap(s_, other.s_);
    return *this;
  }
  ~Bstr() { SysFreeString(s_); }

  static Bstr Adopt(BSTR s) {
    Bstr b;
    b.s_ = s;
    return b;
  }
  BSTR get() const { return s_; }
  BSTR detach() { return std::exchange(s_, nullptr); }
  BSTR* put() {
    SysFreeString(std::exchange(s_, nullptr));
    return &s_;
  }
  std::u16string_view view() const { return {s_ ? s_ : u"", SysStringLen(s_)}; }
  std::string utf8() const { return Utf16ToUtf8(view()); }

 private:
  BSTR s_ = nullptr;
};

// A new BSTR for an out parameter (the caller frees it). Throws std::bad_alloc.
BSTR AllocBstr(std::string_view utf8);
BSTR AllocBstr(std::u16string_view text);

// Owns the contents of one VARIANT; the layout is VARIANT's, so &v is a VARIANT*.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  explicit Variant(BYTE v) : Variant() { vt = VT_UI1, bVal = v; }
  explicit Variant(SHORT v) : Variant() { vt = VT_I2, iVal = v; }
  explicit Variant(LONG v) : Variant() { vt = VT_I4, lVal = v; }
  explicit Variant(float v) : Variant() { vt = VT_R4, fltVal = v; }
  explicit Variant(double v) : Variant() { vt = VT_R8, dblVal = v; }
  explicit Variant(bool v) : Variant() { vt = VT_BOOL, boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; }
  explicit Variant(std::string_view utf8) : Variant() { vt = VT_BSTR, bstrVal = AllocBstr(utf8); }
  explicit Variant(std::u16string_view text) : Variant() { vt = VT_BSTR, bstrVal = AllocBstr(text); }
  // Zero-terminated text; null is the empty string, as a null BSTR is.
  explicit Variant(const char* utf8) : Variant(std::string_view(utf8 ? utf8 : "")) {}
  explicit Variant(const char16_t* text) : Variant(std::u16string_view(text ? text : u"")) {}
  // Adds a reference.
  explicit Variant(IDispatch* p);
  // Deep copies (VariantCopy); a reference stays a reference.
  explicit Variant(const VARIANT& other);
  Variant(const Variant& other) : Variant(static_cast<const VARIANT&>(other)) {}
  Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() {
    if (HoldsResources(vt)) VariantClear(this);
  }

  // Takes over what `v` holds and leaves it empty.
  static Variant Adopt(VARIANT& v);
  // Hands the contents to an out parameter and leaves this empty.
  void Detach(VARIANT* out);
};

// Converts `source` (by reference forms followed) to `vt`, into `dest`, which is
// cleared first; VT_VARIANT takes the value as it is (VariantChangeType refuses
// that type). Errors: comrt::Error 6 (overflow), 13 (type mismatch; also for any
// pair of types it does not know) and 458 (a type that is none, either side).
// `dest` may be `source`.
void ChangeType(VARIANT& dest, const VARIANT& source, VARTYPE vt);

// Shorthands over ChangeType for code that needs one C++ value out of a VARIANT.
double ToDouble(const VARIANT& v);
float ToSingle(const VARIANT& v);
int32_t ToInt32(const VARIANT& v);
int16_t ToInt16(const VARIANT& v);
uint8_t ToUInt8(const VARIANT& v);
VARIANT_BOOL ToBool(const VARIANT& v);
std::u16string ToText(const VARIANT& v);

// Reading one element of the one-dimensional array that a VARIANT holds by value,
// with the errors a script's subscript gives. The array, once element `index` is
// known to be there: no array is a type mismatch; a null array, one of more than
// one dimension or an index outside its bounds is out of range.
SAFEARRAY* SafeArrayWithElement(const VARIANT& v, LONG index);
// Element `index` as a VARIANT of the array's element type; an array whose
// elements are not of its type's size (SafeArrayElementSize) is a type mismatch.
Variant SafeArrayElement(const VARIANT& v, LONG index);

}  // namespace comrt
