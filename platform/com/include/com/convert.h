// Numeric conversions shared by the library, the program and VariantChangeType:
// a floating-point value goes to the nearest integer, ties to the even one; a value
// outside the target range, or not a number, is an overflow error (comrt::Error 6);
// a text that is not a number is a type-mismatch error (comrt::Error 13).
#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "com/error.h"

namespace comrt {

int32_t ToInt32(double value);
int16_t ToInt16(double value);
uint8_t ToUInt8(double value);
// A finite value beyond the single-precision range overflows; infinities and
// not-a-number stay what they are.
float ToSingle(double value);

// Currency: a 64-bit integer counting ten-thousandths. The value rounded to the
// nearest ten-thousandth (ties to even); outside the currency range, overflow.
int64_t ToCurrency(double value);
double FromCurrency(int64_t scaled);
// Its text: the digits with up to four decimals and no trailing zeros ("-1.5").
std::string FormatCurrency(int64_t scaled);

// Date: days since 30 December 1899, the fraction the time of day. A value
// outside 1 January 100 to 31 December 9999 overflows.
inline constexpr double kFirstDate = -657434.0;
inline constexpr double kLastDate = 2958465.0;
double ToDate(double value);

// Nearest whole number, ties to the even one, without a range check.
double RoundHalfEven(double value);

// A whole number held exactly, over the range of every integer type together
// (-(2^64 - 1) to 2^64 - 1), so that no 64-bit value passes through a double on its
// way from one integer type, or a text, to another.
struct Whole {
  bool negative = false;  // never set for zero
  uint64_t magnitude = 0;
};
constexpr Whole SignedWhole(int64_t value) {
  return {value < 0, value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value)};
}
constexpr Whole UnsignedWhole(uint64_t value) { return {false, value}; }

// The nearest whole number, ties to the even one; not a number, or a value beyond
// the range of Whole, overflows.
Whole WholeOf(double value);
// A currency's nearest whole number, ties to the even one.
Whole WholeOfCurrency(int64_t scaled);
// The text's number as ParseNumber reads it, rounded from its exact digits to the
// nearest whole number, ties to the even one.
Whole ParseWhole(std::u16string_view text);
// A whole number or a text as a currency, exactly (the text rounded from its
// digits to the nearest ten-thousandth, ties to even); outside its range, overflow.
int64_t ToCurrency(Whole value);
int64_t ParseCurrency(std::u16string_view text);
// Its digits, after a minus sign when negative ("-42").
std::string FormatWhole(Whole value);

// `value` as an integer type, or an overflow error outside its range.
template <class T>
T Narrow(Whole value) {
  static_assert(std::is_integral_v<T>);
  if (!value.negative) {
    if (value.magnitude > static_cast<uint64_t>(std::numeric_limits<T>::max())) ThrowOverflow();
    return static_cast<T>(value.magnitude);
  }
  if constexpr (std::is_unsigned_v<T>) {
    ThrowOverflow();
  } else {
    if (value.magnitude - 1 > static_cast<uint64_t>(std::numeric_limits<T>::max())) ThrowOverflow();
    return static_cast<T>(0 - value.magnitude);  // two's complement of the magnitude
  }
}

// A decimal number with optional sign, fraction and exponent, or a hexadecimal
// ("&H90") or octal ("&O220") integer, surrounded by optional blanks ("12",
// " -2.5 ", "1E3", ".5"). Anything else is a type mismatch; a number too large
// for a double overflows. A hexadecimal or octal integer is the bits of a 16-bit
// integer when they fit in 16 bits, otherwise of a 32-bit one ("&HFFFF" is -1);
// more than 32 bits overflow.
double ParseNumber(std::string_view text);
double ParseNumber(std::u16string_view text);

// Text of a number as BASIC shows it: up to 15 significant digits (7 for a
// single-precision value), no trailing zeros, exponent form "1E+20" for large
// and small magnitudes.
std::string FormatNumber(double value, bool single);

// Boolean text: "True" and "False" in any case, otherwise a number (nonzero is True).
bool ParseBoolean(std::u16string_view text);

}  // namespace comrt
