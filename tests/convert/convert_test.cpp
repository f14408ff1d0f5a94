#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "com/convert.h"
#include "com/error.h"

namespace {

int ErrorOf(double value, int (*convert)(double)) {
  try {
    convert(value);
  } catch (const comrt::Error& e) {
    return e.number();
  }
  return 0;
}

TEST(NumericConversion, RoundsToNearestWithTiesToEven) {
  struct Case { double in; int32_t out; } cases[] = {
      {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {0.49, 0}, {300.0, 300}, {-2147483648.0, INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(comrt::ToInt32(c.in), c.out) << c.in;
  EXPECT_EQ(comrt::ToInt16(32766.5), 32766);
  EXPECT_EQ(comrt::ToUInt8(255.4), 255);
  EXPECT_EQ(comrt::ToUInt8(-0.5), 0);
}

TEST(NumericConversion, OutOfRangeAndNotANumberOverflow) {
  auto i32 = [](double v) { return static_cast<int>(comrt::ToInt32(v)); };
  auto i16 = [](double v) { return static_cast<int>(comrt::ToInt16(v)); };
  auto u8 = [](double v) { return static_cast<int>(comrt::ToUInt8(v)); };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ErrorOf(1e10, i32), 6);
  EXPECT_EQ(ErrorOf(nan, i32), 6);
  EXPECT_EQ(ErrorOf(-inf, i32), 6);
  EXPECT_EQ(ErrorOf(2147483647.5, i32), 6);
  EXPECT_EQ(ErrorOf(32767.5, i16), 6);
  EXPECT_EQ(ErrorOf(-32768.5, i16), 0);
  EXPECT_EQ(ErrorOf(255.5, u8), 6);
  EXPECT_EQ(ErrorOf(-0.6, u8), 6);
}

}  // namespace
