#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "com/variant.h"

namespace {

using comrt::Variant;

struct Case {
  const char* name;
  Variant in;
  VARTYPE to;
  HRESULT hr;
  double out;  // compared when hr is S_OK
};

double NumberIn(const VARIANT& v) {
  switch (v.vt) {
    case VT_UI1: return v.bVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_R4: return v.fltVal;
    case VT_R8: return v.dblVal;
    case VT_BOOL: return v.boolVal;
    default: return std::nan("");
  }
}

TEST(VariantChangeType, NumbersTextBooleansAndEmpty) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"2.5 to I2", Variant(2.5), VT_I2, S_OK, 2},
      {"3.5 to I2", Variant(3.5), VT_I2, S_OK, 4},
      {"-0.5 to I2", Variant(-0.5), VT_I2, S_OK, 0},
      {"-0.5 to UI1", Variant(-0.5), VT_UI1, S_OK, 0},
      {"-0.6 to UI1", Variant(-0.6), VT_UI1, DISP_E_OVERFLOW, 0},
      {"255.5 to UI1", Variant(255.5), VT_UI1, DISP_E_OVERFLOW, 0},
      {"254.5f to UI1", Variant(254.5f), VT_UI1, S_OK, 254},
      {"32767.5 to I2", Variant(32767.5), VT_I2, DISP_E_OVERFLOW, 0},
      {"-32768.5 to I2", Variant(-32768.5), VT_I2, S_OK, -32768},
      {"2147483647.5 to I4", Variant(2147483647.5), VT_I4, DISP_E_OVERFLOW, 0},
      {"NaN to I4", Variant(nan), VT_I4, DISP_E_OVERFLOW, 0},
      {"NaN to UI1", Variant(nan), VT_UI1, DISP_E_OVERFLOW, 0},
      {"1e39 to R4", Variant(1e39), VT_R4, DISP_E_OVERFLOW, 0},
      {"I4 70000 to I2", Variant(LONG{70000}), VT_I2, DISP_E_OVERFLOW, 0},
      {"I2 -1 to UI1", Variant(SHORT{-1}), VT_UI1, DISP_E_OVERFLOW, 0},
      {"\"12\" to UI1", Variant("12"), VT_UI1, S_OK, 12},
      {"\" -2.5 \" to I2", Variant(" -2.5 "), VT_I2, S_OK, -2},
      {"\"1E3\" to I4", Variant("1E3"), VT_I4, S_OK, 1000},
      {"\"300\" to UI1", Variant("300"), VT_UI1, DISP_E_OVERFLOW, 0},
      {"\"x\" to I2", Variant("x"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"\" to I2", Variant(""), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"12x\" to I4", Variant("12x"), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {"\"inf\" to R8", Variant("inf"), VT_R8, DISP_E_TYPEMISMATCH, 0},
      {"\"0x10\" to I4", Variant("0x10"), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {"\"1e400\" to R8", Variant("1e400"), VT_R8, DISP_E_OVERFLOW, 0},
      {"True to I2", Variant(true), VT_I2, S_OK, -1},
      {"True to UI1", Variant(true), VT_UI1, DISP_E_OVERFLOW, 0},
      {"False to UI1", Variant(false), VT_UI1, S_OK, 0},
      {"5 to BOOL", Variant(LONG{5}), VT_BOOL, S_OK, -1},
      {"0.0 to BOOL", Variant(0.0), VT_BOOL, S_OK, 0},
      {"\"true\" to BOOL", Variant("true"), VT_BOOL, S_OK, -1},
      {"\"FALSE\" to BOOL", Variant("FALSE"), VT_BOOL, S_OK, 0},
      {"\"2\" to BOOL", Variant("2"), VT_BOOL, S_OK, -1},
      {"\"yes\" to BOOL", Variant("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
      {"empty to I2", Variant(), VT_I2, S_OK, 0},
      {"empty to BOOL", Variant(), VT_BOOL, S_OK, 0},
      {"I2 to a type it does not convert to", Variant(SHORT{1}), VT_I8, DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : cases) {
    Variant out;
    EXPECT_EQ(VariantChangeType(&out, &c.in, 0, c.to), c.hr) << c.name;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt, c.to) << c.name;
      EXPECT_EQ(NumberIn(out), c.out) << c.name;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY) << c.name << ": a failed conversion leaves the destination alone";
    }
  }
}

TEST(VariantChangeType, ToText) {
  struct TextCase {
    Variant in;
    const char16_t* out;
  } cases[] = {
      {Variant(SHORT{-12}), u"-12"}, {Variant(2.5), u"2.5"},        {Variant(0.1f), u"0.1"},
      {Variant(1e20), u"1E+20"},     {Variant(true), u"True"},      {Variant(false), u"False"},
      {Variant(), u""},              {Variant(BYTE{255}), u"255"},
  };
  for (const auto& c : cases) {
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &c.in, 0, VT_BSTR), S_OK);
    EXPECT_EQ(comrt::Bstr::Adopt(std::exchange(out.bstrVal, nullptr)).view(), std::u16string_view(c.out));
  }
}

TEST(VariantChangeType, FollowsReferencesAndKeepsArraysToTheirOwnType) {
  float f = 2.5f;
  Variant ref;
  ref.vt = VT_BYREF | VT_R4;
  ref.pfltVal = &f;
  Variant out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal, 2);

  Variant inner(SHORT{7});
  Variant refVariant;
  refVariant.vt = VT_BYREF | VT_VARIANT;
  refVariant.pvarVal = &inner;
  ASSERT_EQ(VariantChangeType(&out, &refVariant, 0, VT_BSTR), S_OK);
  EXPECT_EQ(comrt::ToText(out), u"7");

  Variant array;
  array.vt = VT_ARRAY | VT_I2;
  array.parray = SafeArrayCreateVector(VT_I2, 0, 3);
  EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_I2), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_ARRAY | VT_UI1), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(VariantChangeType(&out, &array, 0, VT_ARRAY | VT_I2), S_OK);
  EXPECT_NE(out.parray, array.parray) << "the array is copied, not shared";
  ASSERT_EQ(VariantChangeType(&out, &array, 0, VT_VARIANT), S_OK);
  EXPECT_EQ(out.vt, VT_ARRAY | VT_I2);
}

TEST(VariantChangeType, InPlace) {
  Variant v("42");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 42);
}

TEST(Bstr, LengthPrefixEmbeddedZerosAndNull) {
  const OLECHAR text[] = {u'a', 0, u'b'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - 4), 6u) << "documented length prefix";
  EXPECT_EQ(s[3], 0) << "terminated";
  EXPECT_EQ(s[2], u'b');
  SysFreeString(s);

  BSTR hello = SysAllocString(u"héllo");
  EXPECT_EQ(SysStringLen(hello), 5u);
  EXPECT_EQ(comrt::Utf16ToUtf8(std::u16string_view(hello, 5)), "héllo");
  SysFreeString(hello);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR blank = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(SysStringLen(blank), 2u);
  SysFreeString(blank);

  EXPECT_EQ(comrt::ToText(comrt::Variant(static_cast<BSTR>(nullptr))), u"") << "a null BSTR is the empty string";
}

TEST(Variant, CopyIsDeepAndClearEmpties) {
  Variant text("abc");
  Variant copy;
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(comrt::ToText(copy), u"abc");
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(copy.vt, VT_EMPTY);

  Variant array;
  array.vt = VT_ARRAY | VT_BSTR;
  array.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG i = 0;
  SafeArrayPutElement(array.parray, &i, comrt::Bstr("x").get());
  Variant arrayCopy(array);
  BSTR element = nullptr;
  ASSERT_EQ(SafeArrayGetElement(arrayCopy.parray, &i, &element), S_OK);
  EXPECT_EQ(comrt::Bstr::Adopt(element).utf8(), "x");

  SafeArrayLock(array.parray);
  EXPECT_EQ(VariantClear(&array), DISP_E_ARRAYISLOCKED);
  SafeArrayUnlock(array.parray);
}

}  // namespace
