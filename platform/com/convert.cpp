#include "com/convert.h"

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
double RoundInRange(double value, double low, double high) {
  if (std::isnan(value)) ThrowOverflow();
  const double rounded = RoundHalfEven(value);
  if (rounded < low || rounded > high) ThrowOverflow();
  return rounded;
}

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
double ParseRadix(std::u16string_view digits, int base) {
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
}  // namespace

int32_t ToInt32(double value) { return static_cast<int32_t>(RoundInRange(value, -2147483648.0, 2147483647.0)); }
int16_t ToInt16(double value) { return static_cast<int16_t>(RoundInRange(value, -32768.0, 32767.0)); }
uint8_t ToUInt8(double value) { return static_cast<uint8_t>(RoundInRange(value, 0.0, 255.0)); }

int64_t ToCurrency(double value) {
  // 2^63 / 10000: the largest magnitude a currency holds, to the ten-thousandth.
  const double scaled = RoundHalfEven(value * 10000.0);
  if (std::isnan(scaled) || scaled < -9223372036854775808.0 || scaled >= 9223372036854775808.0) ThrowOverflow();
  return static_cast<int64_t>(scaled);
}

double FromCurrency(int64_t scaled) { return static_cast<double>(scaled) / 10000.0; }

double ToDate(double value) {
  if (std::isnan(value) || value < kFirstDate || value >= kLastDate + 1.0) ThrowOverflow();
  return value;
}

std::string FormatCurrency(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string text = std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    std::string digits = std::to_string(10000 + fraction).substr(1);
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
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (end - begin >= 2 && text[begin] == u'&') {
    const char16_t radix = text[begin + 1];
    if (radix == u'H' || radix == u'h') return ParseRadix(text.substr(begin + 2, end - begin - 2), 16);
    if (radix == u'O' || radix == u'o') return ParseRadix(text.substr(begin + 2, end - begin - 2), 8);
  }
  // Check the form here, so that from_chars sees only the plain decimal forms
  // (it would also take "inf", "nan" and hexadecimal).
  std::string ascii;
  size_t i = begin;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) ascii.push_back(static_cast<char>(text[i++]));
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
  const char* first = ascii.data();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  double value = 0;
  const auto [ptr, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
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
