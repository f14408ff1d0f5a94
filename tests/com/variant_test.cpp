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
    case VT_CY: return static_cast<double>(v.cyVal.int64) / 10000;
    case VT_DATE: return v.date;
    default: return std::nan("");
  }
}

// A Currency of `scaled` ten-thousandths; a Date of `days`.
Variant Cy(int64_t scaled) {
  Variant v;
  v.vt = VT_CY;
  v.cyVal.int64 = scaled;
  return v;
}
Variant Date(double days) {
  Variant v;
  v.vt = VT_DATE;
  v.date = days;
  return v;
}

void ExpectConversions(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    Variant out;
    EXPECT_EQ(VariantChangeType(&out, &c->in, 0, c->to), c->hr) << c->name;
    if (c->hr == S_OK) {
      EXPECT_EQ(out.vt, c->to) << c->name;
      EXPECT_EQ(NumberIn(out), c->out) << c->name;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY) << c->name << ": a failed conversion leaves the destination alone";
    }
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
  ExpectConversions(std::begin(cases), std::end(cases));
}

TEST(VariantChangeType, CurrencyDateAndTheTextFormsOfNumbers) {
  const Case cases[] = {
      {"Currency 1.5 to I2", Cy(15000), VT_I2, S_OK, 2},
      {"Currency 2.5 to I2", Cy(25000), VT_I2, S_OK, 2},
      {"Currency -2.5 to I4", Cy(-25000), VT_I4, S_OK, -2},
      {"Currency 255.5 to UI1", Cy(2555000), VT_UI1, DISP_E_OVERFLOW, 0},
      {"Currency 1.2345 to R8", Cy(12345), VT_R8, S_OK, 1.2345},
      {"Currency 85.4 to R4", Cy(854000), VT_R4, S_OK, 85.4f},
      {"Currency to BOOL", Cy(1), VT_BOOL, S_OK, -1},
      {"1.23456 to Currency", Variant(1.23456), VT_CY, S_OK, 1.2346},
      {"0.00025 to Currency, a tie", Variant(0.00025), VT_CY, S_OK, 0.0002},
      {"I4 to Currency", Variant(LONG{-7}), VT_CY, S_OK, -7},
      {"True to Currency", Variant(true), VT_CY, S_OK, -1},
      {"\"12.5\" to Currency", Variant("12.5"), VT_CY, S_OK, 12.5},
      {"1e15 to Currency", Variant(1e15), VT_CY, DISP_E_OVERFLOW, 0},
      {"NaN to Currency", Variant(std::nan("")), VT_CY, DISP_E_OVERFLOW, 0},
      {"Date 2.5 to I2", Date(2.5), VT_I2, S_OK, 2},
      {"Date 45000.75 to R8", Date(45000.75), VT_R8, S_OK, 45000.75},
      {"Date 300 to UI1", Date(300), VT_UI1, DISP_E_OVERFLOW, 0},
      {"I2 to Date", Variant(SHORT{85}), VT_DATE, S_OK, 85},
      {"R8 to Date", Variant(-1.25), VT_DATE, S_OK, -1.25},
      {"the last day to Date", Variant(2958465.5), VT_DATE, S_OK, 2958465.5},
      {"after 9999 to Date", Variant(2958466.0), VT_DATE, DISP_E_OVERFLOW, 0},
      {"before 100 to Date", Variant(-657435.0), VT_DATE, DISP_E_OVERFLOW, 0},
      {"Currency to Date", Cy(850000), VT_DATE, S_OK, 85},
      {"text to Date", Variant("1"), VT_DATE, DISP_E_TYPEMISMATCH, 0},
      {"\"&H90\" to UI1", Variant("&H90"), VT_UI1, S_OK, 144},
      {"\"&h9f\" to I2", Variant("&h9f"), VT_I2, S_OK, 159},
      {"\"&O220\" to UI1", Variant("&O220"), VT_UI1, S_OK, 144},
      {"\"  &H90  \" to I2", Variant("  &H90  "), VT_I2, S_OK, 144},
      {"\"&HFFFF\" to I2: 16 bits", Variant("&HFFFF"), VT_I2, S_OK, -1},
      {"\"&H10000\" to I4", Variant("&H10000"), VT_I4, S_OK, 65536},
      {"\"&HFFFFFFFF\" to I4: 32 bits", Variant("&HFFFFFFFF"), VT_I4, S_OK, -1},
      {"\"&O177777\" to I2", Variant("&O177777"), VT_I2, S_OK, -1},
      {"\"&H100000000\" to R8", Variant("&H100000000"), VT_R8, DISP_E_OVERFLOW, 0},
      {"\"&HFFFF\" to UI1", Variant("&HFFFF"), VT_UI1, DISP_E_OVERFLOW, 0},
      {"\"&H\" to I2", Variant("&H"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"&HG\" to I2", Variant("&HG"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"&O8\" to I2", Variant("&O8"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"&H 90\" to I2", Variant("&H 90"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"-&H10\" to I2", Variant("-&H10"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\"&90\" to I2", Variant("&90"), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"\" +1.5E1 \" to I2", Variant(" +1.5E1 "), VT_I2, S_OK, 15},
      {"\"-.5\" to R8", Variant("-.5"), VT_R8, S_OK, -0.5},
      {"\"5.\" to R8", Variant("5."), VT_R8, S_OK, 5},
      {"\"2.5e-1\" to R8", Variant("2.5e-1"), VT_R8, S_OK, 0.25},
      {"\"1e\" to R8", Variant("1e"), VT_R8, DISP_E_TYPEMISMATCH, 0},
      {"\"- 5\" to R8", Variant("- 5"), VT_R8, DISP_E_TYPEMISMATCH, 0},
      {"\".\" to R8", Variant("."), VT_R8, DISP_E_TYPEMISMATCH, 0},
  };
  ExpectConversions(std::begin(cases), std::end(cases));

  const struct {
    Variant in;
    HRESULT hr;
    const char16_t* text;
  } texts[] = {
      {Cy(15000), S_OK, u"1.5"},   {Cy(-5000), S_OK, u"-0.5"}, {Cy(1), S_OK, u"0.0001"},
      {Cy(INT64_MIN), S_OK, u"-922337203685477.5808"}, {Cy(0), S_OK, u"0"},
      {Date(1.5), DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const auto& t : texts) {
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &t.in, 0, VT_BSTR), t.hr);
    if (t.text) {
      EXPECT_EQ(comrt::Bstr::Adopt(std::exchange(out.bstrVal, nullptr)).view(), std::u16string_view(t.text));
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
