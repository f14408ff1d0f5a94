#include <gtest/gtest.h>

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
