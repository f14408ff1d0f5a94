// Numeric conversions shared by the library, the program and VariantChangeType:
// a floating-point value goes to the nearest integer, ties to the even one; a value
// outside the target range, or not a number, is an overflow error (comrt::Error 6);
// a text that is not a number is a type-mismatch error (comrt::Error 13).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

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
