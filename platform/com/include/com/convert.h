// Numeric conversions shared by the library, the program and VariantChangeType:
// a floating-point value goes to the nearest integer, ties to the even one; a value
// outside the target range, or not a number, is an overflow error (comrt::Error 6).
#pragma once
#include <cstdint>

namespace comrt {

int32_t ToInt32(double value);
int16_t ToInt16(double value);
uint8_t ToUInt8(double value);

// Nearest whole number, ties to the even one, without a range check.
double RoundHalfEven(double value);

}  // namespace comrt
