#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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
      {"I2 to a type it does not convert to", Variant(SHORT{1}), VT_ERROR, DISP_E_TYPEMISMATCH, 0},
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
  EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_VARIANT), DISP_E_BADVARTYPE) << "no variant has that type";
  EXPECT_EQ(out.vt, VT_ARRAY | VT_I2);
}

// A Variant of an integer type, its bits given as a 64-bit value.
Variant Signed(VARTYPE vt, int64_t value) {
  Variant v;
  v.vt = vt;
  v.llVal = value;
  return v;
}
Variant Unsigned(VARTYPE vt, uint64_t value) {
  Variant v;
  v.vt = vt;
  v.ullVal = value;
  return v;
}
Variant RefTo(VARTYPE vt, void* target) {
  Variant v;
  v.vt = VT_BYREF | vt;
  v.byref = target;
  return v;
}

// The value `v` holds, written out here rather than by the conversions under test;
// a currency as its count of ten-thousandths.
std::string Written(const VARIANT& v) {
  char single[32];
  switch (v.vt) {
    case VT_I1: return std::to_string(static_cast<int8_t>(v.bVal));
    case VT_UI1: return std::to_string(v.bVal);
    case VT_I2: return std::to_string(v.iVal);
    case VT_UI2: return std::to_string(v.uiVal);
    case VT_I4:
    case VT_INT: return std::to_string(v.lVal);
    case VT_UI4:
    case VT_UINT: return std::to_string(v.ulVal);
    case VT_I8:
    case VT_CY: return std::to_string(v.llVal);
    case VT_UI8: return std::to_string(v.ullVal);
    case VT_R4: std::snprintf(single, sizeof single, "%.9g", v.fltVal); return single;
    case VT_BSTR: return comrt::Utf16ToUtf8(std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal)));
    default: return "type " + std::to_string(v.vt);
  }
}

TEST(VariantChangeType, EveryIntegerTypeBothWaysExactly) {
  // A reference to a variant that holds a reference (to a 64-bit integer, to a
  // text, and once more to a variant).
  LONGLONG big = 9007199254740993;  // 2^53 + 1, the first integer a double cannot hold
  Variant bigRef = RefTo(VT_I8, &big);
  comrt::Bstr twelve("12");
  BSTR twelveText = twelve.get();
  Variant textRef = RefTo(VT_BSTR, &twelveText);
  Variant innermost(SHORT{1});
  Variant middle = RefTo(VT_VARIANT, &innermost);
  Variant tooDeep = RefTo(VT_VARIANT, &middle);

  const struct {
    const char* name;
    Variant in;
    VARTYPE to;
    HRESULT hr;
    const char* out;  // compared when hr is S_OK
  } cases[] = {
      {"I8 to text", Signed(VT_I8, 123456789012345678), VT_BSTR, S_OK, "123456789012345678"},
      {"I8 2^53+1 to text", Signed(VT_I8, 9007199254740993), VT_BSTR, S_OK, "9007199254740993"},
      {"I8 minimum to text", Signed(VT_I8, INT64_MIN), VT_BSTR, S_OK, "-9223372036854775808"},
      {"UI8 maximum to text", Unsigned(VT_UI8, UINT64_MAX), VT_BSTR, S_OK, "18446744073709551615"},
      {"UI4 maximum to text", Unsigned(VT_UI4, 4294967295u), VT_BSTR, S_OK, "4294967295"},
      {"UINT to text", Unsigned(VT_UINT, 3000000000u), VT_BSTR, S_OK, "3000000000"},
      {"I1 to text", Signed(VT_I1, -128), VT_BSTR, S_OK, "-128"},
      {"I8 2^53+1 to UI8", Signed(VT_I8, 9007199254740993), VT_UI8, S_OK, "9007199254740993"},
      {"UI8 2^63-1 to I8", Unsigned(VT_UI8, INT64_MAX), VT_I8, S_OK, "9223372036854775807"},
      {"UI8 2^63 to I8", Unsigned(VT_UI8, 1ull << 63), VT_I8, DISP_E_OVERFLOW, nullptr},
      {"I8 -1 to UI8", Signed(VT_I8, -1), VT_UI8, DISP_E_OVERFLOW, nullptr},
      {"I8 2^31 to I4", Signed(VT_I8, 2147483648), VT_I4, DISP_E_OVERFLOW, nullptr},
      {"I8 to R4, rounded once", Signed(VT_I8, (1ll << 62) + (1ll << 38) + 1), VT_R4, S_OK, "4.61168657e+18"},
      {"\"9007199254740993\" to I8", Variant("9007199254740993"), VT_I8, S_OK, "9007199254740993"},
      {"\" -9223372036854775808 \" to I8", Variant(" -9223372036854775808 "), VT_I8, S_OK, "-9223372036854775808"},
      {"\"9223372036854775808\" to I8", Variant("9223372036854775808"), VT_I8, DISP_E_OVERFLOW, nullptr},
      {"\"18446744073709551615\" to UI8", Variant("18446744073709551615"), VT_UI8, S_OK, "18446744073709551615"},
      {"\"18446744073709551616\" to UI8", Variant("18446744073709551616"), VT_UI8, DISP_E_OVERFLOW, nullptr},
      {"\"9007199254740993.5\" to I8, a tie", Variant("9007199254740993.5"), VT_I8, S_OK, "9007199254740994"},
      {"\"9007199254740992.5\" to I8, a tie", Variant("9007199254740992.5"), VT_I8, S_OK, "9007199254740992"},
      {"\"9007199254740992.50001\" to I8", Variant("9007199254740992.50001"), VT_I8, S_OK, "9007199254740993"},
      {"\"12345678901234567e1\" to I8", Variant("12345678901234567e1"), VT_I8, S_OK, "123456789012345670"},
      {"\"1.8446744073709551615E19\" to UI8", Variant("1.8446744073709551615E19"), VT_UI8, S_OK,
       "18446744073709551615"},
      {"\"0.5e1000000000000\" to I8", Variant("0.5e1000000000000"), VT_I8, DISP_E_OVERFLOW, nullptr},
      {"\"5e-1000000000000\" to I8", Variant("5e-1000000000000"), VT_I8, S_OK, "0"},
      {"\"&HFFFFFFFF\" to I8", Variant("&HFFFFFFFF"), VT_I8, S_OK, "-1"},
      {"\"-0.4\" to UI8", Variant("-0.4"), VT_UI8, S_OK, "0"},
      {"\"12x\" to UI8", Variant("12x"), VT_UI8, DISP_E_TYPEMISMATCH, nullptr},
      {"Currency maximum to I8", Cy(INT64_MAX), VT_I8, S_OK, "922337203685478"},
      {"Currency -3.5 to I8", Cy(-35000), VT_I8, S_OK, "-4"},
      {"I8 to Currency", Signed(VT_I8, 900000000000001), VT_CY, S_OK, "9000000000000010000"},
      {"I8 beyond Currency", Signed(VT_I8, 922337203685478), VT_CY, DISP_E_OVERFLOW, nullptr},
      {"\"922337203685477.5807\" to Currency", Variant("922337203685477.5807"), VT_CY, S_OK, "9223372036854775807"},
      {"\"0.00025\" to Currency, a tie", Variant("0.00025"), VT_CY, S_OK, "2"},
      {"True to UINT", Variant(true), VT_UINT, DISP_E_OVERFLOW, nullptr},
      {"False to UINT", Variant(false), VT_UINT, S_OK, "0"},
      {"True to I1", Variant(true), VT_I1, S_OK, "-1"},
      {"-128.5 to I1", Variant(-128.5), VT_I1, S_OK, "-128"},
      {"127.5 to I1", Variant(127.5), VT_I1, DISP_E_OVERFLOW, nullptr},
      {"UI1 255 to I1", Variant(BYTE{255}), VT_I1, DISP_E_OVERFLOW, nullptr},
      {"-0.5 to UI2", Variant(-0.5), VT_UI2, S_OK, "0"},
      {"65535.5 to UI2", Variant(65535.5), VT_UI2, DISP_E_OVERFLOW, nullptr},
      {"\"65535\" to UI2", Variant("65535"), VT_UI2, S_OK, "65535"},
      {"Currency 2.5 to UI2", Cy(25000), VT_UI2, S_OK, "2"},
      {"I2 -1 to UI4", Variant(SHORT{-1}), VT_UI4, DISP_E_OVERFLOW, nullptr},
      {"4294967295.4 to UI4", Variant(4294967295.4), VT_UI4, S_OK, "4294967295"},
      {"2.5 to INT", Variant(2.5), VT_INT, S_OK, "2"},
      {"2147483647.5 to INT", Variant(2147483647.5), VT_INT, DISP_E_OVERFLOW, nullptr},
      {"3.5 to UINT", Variant(3.5), VT_UINT, S_OK, "4"},
      {"INT to UI1", Signed(VT_INT, 200), VT_UI1, S_OK, "200"},
      {"-2^63 to I8", Variant(-9223372036854775808.0), VT_I8, S_OK, "-9223372036854775808"},
      {"2^63 to I8", Variant(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW, nullptr},
      {"the largest double below 2^64 to UI8", Variant(18446744073709549568.0), VT_UI8, S_OK, "18446744073709549568"},
      {"2^64 to UI8", Variant(18446744073709551616.0), VT_UI8, DISP_E_OVERFLOW, nullptr},
      {"NaN to I8", Variant(std::nan("")), VT_I8, DISP_E_OVERFLOW, nullptr},
      {"empty to UI8", Variant(), VT_UI8, S_OK, "0"},
      {"\"x\" to I1", Variant("x"), VT_I1, DISP_E_TYPEMISMATCH, nullptr},
      {"I2 to VARIANT", Variant(SHORT{1}), VT_VARIANT, DISP_E_BADVARTYPE, nullptr},
      {"text to VARIANT", Variant("1"), VT_VARIANT, DISP_E_BADVARTYPE, nullptr},
      {"a variant referring to a reference to I8, to text", RefTo(VT_VARIANT, &bigRef), VT_BSTR, S_OK,
       "9007199254740993"},
      {"a variant referring to a reference to text, to UI1", RefTo(VT_VARIANT, &textRef), VT_UI1, S_OK, "12"},
      {"three variant references in a row", RefTo(VT_VARIANT, &tooDeep), VT_I2, DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const auto& c : cases) {
    Variant out;
    EXPECT_EQ(VariantChangeType(&out, &c.in, 0, c.to), c.hr) << c.name;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt, c.to) << c.name;
      EXPECT_EQ(Written(out), c.out) << c.name;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY) << c.name << ": a failed conversion leaves the destination alone";
    }
  }
}

TEST(VariantCopyInd, FollowsTheReferenceAReferredVariantHolds) {
  LONGLONG big = 9007199254740993;
  Variant bigRef = RefTo(VT_I8, &big);
  Variant ref = RefTo(VT_VARIANT, &bigRef);
  Variant out;
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_I8);
  EXPECT_EQ(out.llVal, big);
  ASSERT_EQ(VariantCopyInd(&ref, &ref), S_OK) << "in place";
  EXPECT_EQ(ref.vt, VT_I8);
  EXPECT_EQ(ref.llVal, big);

  Variant broken = RefTo(VT_I8, nullptr);
  Variant refToBroken = RefTo(VT_VARIANT, &broken);
  EXPECT_EQ(VariantCopyInd(&out, &refToBroken), E_INVALIDARG);
  Variant refToItself;
  refToItself.vt = VT_BYREF | VT_VARIANT;
  refToItself.pvarVal = &refToItself;
  Variant outer = RefTo(VT_VARIANT, &refToItself);
  EXPECT_EQ(VariantCopyInd(&out, &outer), E_INVALIDARG) << "a reference that leads back to itself";
  EXPECT_EQ(out.vt, VT_I8) << "left as it was";
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
