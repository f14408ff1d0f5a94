#include "com/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "com/error.h"

namespace comrt {

double RoundHalfEven(double value) {
  // nearbyint rounds in the current mode; the library never changes it from to-nearest-even.
  return std::nearbyint(value);
}

namespace {

// Currency counts ten-thousandths.
constexpr int kCurrencyDigits = 4;
constexpr uint64_t kCurrencyUnit = 10000;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

// "&H90", "&O220": the digits are the bits of a 16-bit integer when they fit in
// 16 bits, else of a 32-bit one (so "&HFFFF" is -1 and "&H10000" is 65536); more
// than 32 bits overflow.
int32_t ParseRadix(std::u16string_view digits, int base) {
  if (digits.empty()) ThrowTypeMismatch();
  uint64_t value = 0;
  for (char16_t c : digits) {
    const int d = DigitValue(c);
    if (d >= base) ThrowTypeMismatch();
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFu) ThrowOverflow();
  }
  if (value <= 0xFFFF) return static_cast<int16_t>(static_cast<uint16_t>(value));
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// A number's text, checked for form: either the value of a hexadecimal or octal
// integer, or a decimal number spelt as from_chars reads it ("-12.5e3": no plus
// sign on the number, no blanks).
struct NumberText {
  bool radix = false;
  int32_t value = 0;
  std::string decimal;
};

NumberText ReadNumberText(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (end - begin >= 2 && text[begin] == u'&') {
    const char16_t radix = text[begin + 1];
    if (radix == u'H' || radix == u'h') return {true, ParseRadix(text.substr(begin + 2, end - begin - 2), 16), {}};
    if (radix == u'O' || radix == u'o') return {true, ParseRadix(text.substr(begin + 2, end - begin - 2), 8), {}};
  }
  // Check the form here, so that from_chars sees only the plain decimal forms
  // (it would also take "inf", "nan" and hexadecimal).
  std::string ascii;
  size_t i = begin;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') ascii.push_back('-');
    ++i;
  }
  size_t digits = 0;
  while (i < end && IsDigit(text[i])) ascii.push_back(static_cast<char>(text[i++])), ++digits;
  if (i < end && text[i] == u'.') {
    ascii.push_back('.');
    ++i;
    while (i < end && IsDigit(text[i])) ascii.push_back(static_cast<char>(text[i++])), ++digits;
  }
  if (digits == 0) ThrowTypeMismatch();
  if (i < end && (text[i] == u'e' || text[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(static_cast<char>(text[i++]));
    size_t exponentDigits = 0;
    while (i < end && IsDigit(text[i])) ascii.push_back(static_cast<char>(text[i++])), ++exponentDigits;
    if (exponentDigits == 0) ThrowTypeMismatch();
  }
  if (i != end) ThrowTypeMismatch();
  return {false, 0, std::move(ascii)};
}

// `value` with `digit` written after its last digit; beyond 64 bits, overflow.
uint64_t AppendDigit(uint64_t value, unsigned digit) {
  if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) ThrowOverflow();
  return value * 10 + digit;
}

// A decimal number of NumberText's spelling times 10^scale, rounded from its digits
// to the nearest whole number, ties to the even one.
Whole RoundDecimal(std::string_view decimal, int scale) {
  size_t i = 0;
  const bool negative = !decimal.empty() && decimal[0] == '-';
  if (negative) ++i;
  std::string digits;        // those before and after the point together
  int64_t exponent = scale;  // the power of ten of the last of them
  bool fraction = false;
  for (; i < decimal.size() && decimal[i] != 'e'; ++i) {
    if (decimal[i] == '.') {
      fraction = true;
    } else {
      digits.push_back(decimal[i]);
      if (fraction) --exponent;
    }
  }
  if (i < decimal.size()) {
    const bool down = decimal[++i] == '-';
    if (decimal[i] == '-' || decimal[i] == '+') ++i;
    // Past a billion every number with a nonzero digit is 0 or overflows alike.
    int64_t power = 0;
    for (; i < decimal.size(); ++i) power = std::min<int64_t>(power * 10 + (decimal[i] - '0'), 1000000000);
    exponent += down ? -power : power;
  }
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return {};
  const std::string_view significant = std::string_view(digits).substr(first);
  const int64_t count = static_cast<int64_t>(significant.size());
  // How many digits stand before the point; 2^64 has 20.
  const int64_t whole = count + exponent;
  if (whole > 20) ThrowOverflow();
  uint64_t magnitude = 0;
  for (int64_t k = 0; k < whole; ++k) magnitude = AppendDigit(magnitude, k < count ? significant[k] - '0' : 0);
  // The first digit after the point rounds, those after it break a tie; a number
  // below 0.1 (whole < 0) rounds to 0.
  if (whole >= 0 && whole < count) {
    const char next = significant[whole];
    const bool aboveHalf = significant.find_first_not_of('0', whole + 1) != std::string_view::npos;
    if (next > '5' || (next == '5' && (aboveHalf || (magnitude & 1)))) {
      if (magnitude == std::numeric_limits<uint64_t>::max()) ThrowOverflow();
      ++magnitude;
    }
  }
  return {negative && magnitude != 0, magnitude};
}

// `value` times 10^scale; beyond the range of Whole, overflow.
Whole Scaled(Whole value, int scale) {
  for (int k = 0; k < scale; ++k) value.magnitude = AppendDigit(value.magnitude, 0);
  return value;
}

Whole ParseScaled(std::u16string_view text, int scale) {
  const NumberText number = ReadNumberText(text);
  if (number.radix) return Scaled(SignedWhole(number.value), scale);
  return RoundDecimal(number.decimal, scale);
}

}  // namespace

Whole WholeOf(double value) {
  if (std::isnan(value)) ThrowOverflow();
  const double rounded = RoundHalfEven(value);
  // 2^64: the first magnitude beyond Whole's range.
  if (std::fabs(rounded) >= 18446744073709551616.0) ThrowOverflow();
  const uint64_t magnitude = static_cast<uint64_t>(std::fabs(rounded));
  return {rounded < 0 && magnitude != 0, magnitude};
}

Whole WholeOfCurrency(int64_t scaled) {
  const Whole value = SignedWhole(scaled);
  uint64_t magnitude = value.magnitude / kCurrencyUnit;
  const uint64_t rest = value.magnitude % kCurrencyUnit;
  if (rest > kCurrencyUnit / 2 || (rest == kCurrencyUnit / 2 && (magnitude & 1))) ++magnitude;
  return {value.negative && magnitude != 0, magnitude};
}

Whole ParseWhole(std::u16string_view text) { return ParseScaled(text, 0); }

std::string FormatWhole(Whole value) {
  std::string digits = std::to_string(value.magnitude);
  return value.negative ? "-" + digits : digits;
}

int32_t ToInt32(double value) { return Narrow<int32_t>(WholeOf(value)); }
int16_t ToInt16(double value) { return Narrow<int16_t>(WholeOf(value)); }
uint8_t ToUInt8(double value) { return Narrow<uint8_t>(WholeOf(value)); }

int64_t ToCurrency(Whole value) { return Narrow<int64_t>(Scaled(value, kCurrencyDigits)); }
int64_t ParseCurrency(std::u16string_view text) { return Narrow<int64_t>(ParseScaled(text, kCurrencyDigits)); }

int64_t ToCurrency(double value) {
  // 2^63 / 10000: the largest magnitude a currency holds, to the ten-thousandth.
  const double scaled = RoundHalfEven(value * kCurrencyUnit);
  if (std::isnan(scaled) || scaled < -9223372036854775808.0 || scaled >= 9223372036854775808.0) ThrowOverflow();
  return static_cast<int64_t>(scaled);
}

double FromCurrency(int64_t scaled) { return static_cast<double>(scaled) / kCurrencyUnit; }

double ToDate(double value) {
  if (std::isnan(value) || value < kFirstDate || value >= kLastDate + 1.0) ThrowOverflow();
  return value;
}

std::string FormatCurrency(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string text = std::to_string(magnitude / kCurrencyUnit);
  uint64_t fraction = magnitude % kCurrencyUnit;
  if (fraction != 0) {
    std::string digits = std::to_string(kCurrencyUnit + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return negative ? "-" + text : text;
}

float ToSingle(double value) {
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) ThrowOverflow();
  return static_cast<float>(value);
}

double ParseNumber(std::u16string_view text) {
  const NumberText number = ReadNumberText(text);
  if (number.radix) return number.value;
  const std::string& ascii = number.decimal;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too small underflows to zero; too large overflows.
    bool tiny = false;
    const auto e = ascii.find('e');
    if (e != std::string::npos) tiny = ascii[e + 1] == '-';
    if (!tiny) ThrowOverflow();
    return 0.0;
  }
  if (ec != std::errc() || ptr != ascii.data() + ascii.size()) ThrowTypeMismatch();
  return value;
}

double ParseNumber(std::string_view text) {
  std::u16string wide(text.begin(), text.end());
  for (size_t i = 0; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) wide[i] = u'?';
  return ParseNumber(std::u16string_view(wide));
}

std::string FormatNumber(double value, bool single) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[40];
  std::snprintf(text, sizeof text, single ? "%.7G" : "%.15G", value);
  std::string s = text;
  if (s == "-0") s = "0";
  return s;
}

bool ParseBoolean(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  auto equalsFolded = [&](std::u16string_view word) {
    if (end - begin != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      char16_t c = text[begin + i];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      if (c != word[i]) return false;
    }
    return true;
  };
  if (equalsFolded(u"true")) return true;
  if (equalsFolded(u"false")) return false;
  return ParseNumber(text) != 0.0;
}

}  // namespace comrt
