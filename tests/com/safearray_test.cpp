#include <gtest/gtest.h>

#include <cstring>

#include "com/variant.h"

namespace {

TEST(SafeArray, VectorBoundsElementsAndSubscriptOutOfRange) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 3, 4);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 2u);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, 3);
  EXPECT_EQ(upper, 6);
  EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lower), DISP_E_BADINDEX);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_I2);

  for (LONG i = 3; i <= 6; ++i) {
    SHORT value = static_cast<SHORT>(i * 10);
    ASSERT_EQ(SafeArrayPutElement(psa, &i, &value), S_OK);
  }
  for (LONG i : {2, 7, -1}) {
    SHORT value = 0;
    EXPECT_EQ(SafeArrayGetElement(psa, &i, &value), DISP_E_BADINDEX) << i;
    EXPECT_EQ(SafeArrayPutElement(psa, &i, &value), DISP_E_BADINDEX) << i;
  }
  SHORT* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
  EXPECT_EQ(data[0], 30);
  EXPECT_EQ(data[3], 60);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, TwoDimensionsBoundsInOrder) {
  SAFEARRAYBOUND bounds[] = {{2, 0}, {3, 10}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(psa, 2, &lower);
  SafeArrayGetUBound(psa, 2, &upper);
  EXPECT_EQ(lower, 10);
  EXPECT_EQ(upper, 12);
  LONG at[] = {1, 12};
  LONG value = 99;
  ASSERT_EQ(SafeArrayPutElement(psa, at, &value), S_OK);
  LONG* data = nullptr;
  SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
  EXPECT_EQ(data[5], 99) << "dimension 1 varies fastest";
  SafeArrayUnaccessData(psa);
  LONG outside[] = {2, 10};
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  SafeArrayDestroy(psa);
}

TEST(SafeArray, CopyOwnsItsStringsAndVariants) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  LONG i = 1;
  comrt::Variant text("kept");
  ASSERT_EQ(SafeArrayPutElement(psa, &i, &text), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  ASSERT_EQ(SafeArrayDestroy(psa), S_OK);
  comrt::Variant element;
  ASSERT_EQ(SafeArrayGetElement(copy, &i, &element), S_OK);
  EXPECT_EQ(comrt::ToText(element), u"kept");
  i = 0;
  ASSERT_EQ(SafeArrayGetElement(copy, &i, &element), S_OK);
  EXPECT_EQ(element.vt, VT_EMPTY);
  SafeArrayDestroy(copy);
}

TEST(SafeArray, EveryBaseTypeButEmptyAndNull) {
  const struct {
    VARTYPE vt;
    UINT size;  // 0: refused
  } types[] = {
      {VT_EMPTY, 0}, {VT_NULL, 0},  {VT_I1, 1},      {VT_UI1, 1},     {VT_I2, 2},      {VT_UI2, 2},   {VT_BOOL, 2},
      {VT_I4, 4},    {VT_UI4, 4},   {VT_INT, 4},     {VT_UINT, 4},    {VT_R4, 4},      {VT_ERROR, 4}, {VT_I8, 8},
      {VT_UI8, 8},   {VT_R8, 8},    {VT_CY, 8},      {VT_DATE, 8},    {VT_BSTR, 8},    {VT_DISPATCH, 8},
      {VT_UNKNOWN, 8}, {VT_DECIMAL, 16}, {VT_VARIANT, sizeof(VARIANT)},
  };
  for (const auto& t : types) {
    SAFEARRAY* psa = SafeArrayCreateVector(t.vt, 0, 2);
    if (t.size == 0) {
      EXPECT_EQ(psa, nullptr) << t.vt;
      continue;
    }
    ASSERT_NE(psa, nullptr) << t.vt;
    EXPECT_EQ(SafeArrayGetElemsize(psa), t.size) << t.vt;
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, t.vt);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  }
}

TEST(SafeArray, DecimalElementsKeepAllSixteenBytes) {
  SAFEARRAYBOUND bounds[] = {{2, 0}, {3, 1}};
  SAFEARRAY* psa = SafeArrayCreate(VT_DECIMAL, 2, bounds);
  ASSERT_NE(psa, nullptr);
  DECIMAL value{};
  value.scale = 2;
  value.sign = 0x80;
  value.Hi32 = 0x01234567;
  value.Lo64 = 0x89ABCDEF01234567;
  LONG last[] = {1, 3};
  ASSERT_EQ(SafeArrayPutElement(psa, last, &value), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  ASSERT_EQ(SafeArrayDestroy(psa), S_OK);
  DECIMAL back{};
  ASSERT_EQ(SafeArrayGetElement(copy, last, &back), S_OK);
  EXPECT_EQ(std::memcmp(&back, &value, sizeof value), 0) << "all 16 bytes";
  LONG first[] = {0, 1};
  ASSERT_EQ(SafeArrayGetElement(copy, first, &back), S_OK);
  EXPECT_EQ(back.Lo64 | back.Hi32 | back.sign | back.scale, 0u) << "its neighbour untouched";
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, ADecimalElementReadIntoAVariantLiesWhereAVariantHoldsOne) {
  // A VARIANT of Decimal values is none the runtime clears, so the array is
  // destroyed here.
  VARIANT holder;
  VariantInit(&holder);
  holder.vt = VT_ARRAY | VT_DECIMAL;
  holder.parray = SafeArrayCreateVector(VT_DECIMAL, 0, 1);
  ASSERT_NE(holder.parray, nullptr);
  DECIMAL value{};
  value.scale = 3;
  value.sign = 0x80;
  value.Hi32 = 0x01234567;
  value.Lo64 = 0x89ABCDEF01234567;
  LONG index = 0;
  ASSERT_EQ(SafeArrayPutElement(holder.parray, &index, &value), S_OK);
  const comrt::Variant element = comrt::SafeArrayElement(holder, 0);
  EXPECT_EQ(element.vt, VT_DECIMAL);
  DECIMAL back{};
  std::memcpy(&back, static_cast<const VARIANT*>(&element), sizeof back);
  EXPECT_EQ(back.scale, value.scale);
  EXPECT_EQ(back.sign, value.sign);
  EXPECT_EQ(back.Hi32, value.Hi32);
  EXPECT_EQ(back.Lo64, value.Lo64);
  EXPECT_EQ(SafeArrayDestroy(holder.parray), S_OK);
}

TEST(SafeArray, PutsAnElementOfAnySizeADescriptorGives) {
  // A descriptor a client filled in itself, of records larger than any VARIANT.
  struct Record {
    unsigned char bytes[40];
  } data[2] = {}, record;
  std::memset(record.bytes, 0xA5, sizeof record.bytes);
  SAFEARRAY psa{};
  psa.cDims = 1;
  psa.fFeatures = FADF_STATIC;
  psa.cbElements = sizeof(Record);
  psa.pvData = data;
  psa.rgsabound[0] = {2, 0};
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(&psa, &i, &record), S_OK);
  EXPECT_EQ(std::memcmp(&data[1], &record, sizeof record), 0);
  EXPECT_EQ(data[0].bytes[0], 0);
}

TEST(SafeArray, RefusesBadArguments) {
  EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I2, 0, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0x7FFFFFFF), nullptr) << "size beyond the limit";
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  LONG i = 0;
  EXPECT_EQ(SafeArrayGetElement(nullptr, &i, &i), E_INVALIDARG);
  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  LONG upper = 0;
  SafeArrayGetUBound(empty, 1, &upper);
  EXPECT_EQ(upper, -1);
  BYTE b = 0;
  EXPECT_EQ(SafeArrayGetElement(empty, &i, &b), DISP_E_BADINDEX);
  SafeArrayDestroy(empty);
}

}  // namespace
